# shellcheck shell=bash
# shellcheck disable=SC2034  # the lists are used by the scripts that source this file
# Sourced by tools/start and tools/test: installs the Debian packages that are
# missing, and only those.

# Running the simulator: a compiler and the build tools; the charts of tools/pcisim-report.
pcisim_run_packages=(g++ cmake ninja-build nlohmann-json3-dev libtomlplusplus-dev libjs-chart.js)
# Building and passing the tests, and what CI's checks use.
pcisim_test_packages=("${pcisim_run_packages[@]}" libgtest-dev libbenchmark-dev
    nlohmann-json3-dev gtkwave sigrok-cli python3-distributed python3-matplotlib
    python3-jsonschema python3-pil chromium clang clang-format clang-tidy valgrind hyperfine)

# pcisim_install PACKAGE...
# Installs the packages dpkg does not list as installed (a removed package
# whose configuration files remain counts as missing). apt-get update runs
# only when something is missing. Not root: says so in one line and goes
# through sudo if there is one, else fails.
pcisim_install() {
    local pkg
    local -a need=() as_root=()
    for pkg in "$@"; do
        dpkg -s "$pkg" 2>/dev/null | grep -q '^Status: install ok installed$' || need+=("$pkg")
    done
    [ ${#need[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            echo "Installing ${need[*]} needs root: going through sudo." >&2
            as_root=(sudo)
        else
            echo "Installing ${need[*]} needs root (and there is no sudo): run this as root." >&2
            return 1
        fi
    fi
    echo "Installing: ${need[*]}"
    # Waits for another apt or dpkg run to release its lock instead of failing.
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 \
        install -y --no-install-recommends "${need[@]}"
}
