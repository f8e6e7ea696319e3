#include "outputs/data_exporter.h"

#include "monitor/monitor.h"
#include "outputs/stats_json.h"

namespace {
// Indentation of the statistics document.
constexpr int json_indent = 2;
}  // namespace

PCI_data_exporter::PCI_data_exporter(PCI_design_view view, PCI_monitor& monitor,
                                     PCI_data_request request)
    : view_(std::move(view)), request_(std::move(request)), activity_(view_.bus) {
    std::vector<std::string> names;
    std::vector<const SIM_signal*> frames;
    for (size_t i = 0; i < view_.masters.size(); ++i) {
        names.push_back(view_.design.masters[i].name);
        frames.push_back(&view_.masters[i]->frame);
    }
    std::vector<std::string> cards;
    for (const PCI_card_spec& card : all_cards(view_.design)) cards.push_back(card.name);
    if (!request_.stats_json.empty())
        stats_file_.emplace(request_.stats_json);
    if (!request_.transactions.empty())
        log_.emplace(request_.transactions, std::move(names), std::move(cards));
    PCI_transaction_collector::sink sink;
    if (log_)
        sink = [this](const PCI_transaction_record& record) { log_->write(record); };
    collector_ = std::make_unique<PCI_transaction_collector>(std::move(frames), std::move(sink));
    monitor.add_listener(*collector_);
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
        const PCI_stats_sources sources{view_, request_, *collector_, activity_};
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
