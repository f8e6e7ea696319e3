#pragma once
// What the tests of whole runs share: reading a file back, and a fixture
// whose test gets a fresh folder of its own for the files it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// The whole content of a file; empty when it cannot be read.
inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A fresh folder per test, named after its suite and test, removed after it.
class PCI_scratch_folder_test : public ::testing::Test {
  protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("pcisim_" + std::string(info->test_suite_name()) + "_" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    // A file in the folder.
    std::string file(const char* name) const { return (dir / name).string(); }

    std::filesystem::path dir;  // where the test's files go
};
