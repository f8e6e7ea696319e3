#include "outputs/data_exporter.h"

#include "bench/testbench.h"
#include "outputs/stats_json.h"

namespace {
// Indentation of the statistics document.
constexpr int json_indent = 2;
}  // namespace

bool wants_data_outputs(const extension_settings& extensions) {
    return !extensions.stats_json.empty() || !extensions.transactions.empty();
}

PCI_data_exporter::PCI_data_exporter(PCI_testbench& bench, std::vector<std::string> arguments,
                                     const extension_settings& extensions,
                                     const PCI_compliance_checker* compliance)
    : bench_(bench),
      arguments_(std::move(arguments)),
      extensions_(extensions),
      compliance_(compliance),
      activity_(bench.pb) {
    std::vector<std::string> names;
    std::vector<const SIM_signal*> frames;
    for (const PCI_random_master* master : bench.masters) {
        names.push_back(master->name.own_name());
        frames.push_back(&master->frame);
    }
    if (!extensions.stats_json.empty())
        stats_file_.emplace(extensions.stats_json);
    if (!extensions.transactions.empty())
        log_.emplace(extensions.transactions, std::move(names));
    PCI_transaction_collector::sink sink;
    if (log_)
        sink = [this](const PCI_transaction_record& record) { log_->write(record); };
    collector_ = std::make_unique<PCI_transaction_collector>(std::move(frames), std::move(sink));
    bench.pmon.add_listener(*collector_);
}

std::string PCI_data_exporter::open() {
    if (stats_file_)
        if (std::string error = stats_file_->open(); !error.empty())
            return error;
    if (log_)
        return log_->open();
    return {};
}

std::string PCI_data_exporter::on_finish() {
    collector_->finish();
    std::string first_error;
    if (stats_file_) {
        const PCI_stats_sources sources{bench_,      arguments_, extensions_,
                                        *collector_, activity_,  compliance_};
        stats_file_->stream() << stats_document(sources).dump(
                                     json_indent, ' ', false,
                                     nlohmann::ordered_json::error_handler_t::replace)
                              << '\n';
        first_error = stats_file_->close();
    }
    if (log_) {
        const std::string error = log_->close();
        if (first_error.empty())
            first_error = error;
    }
    return first_error;
}
