#include "report/batch_summary.h"

#include <algorithm>
#include <stdexcept>

#include "report/operating_times.h"
#include "support/text_codec.h"

namespace plm::report {
namespace {

using support::sj;

// "１CH" .. "８CH", as the chart labels its bands.
std::string channelCaption(int channel) {
    static const char* const digits[] = {"１", "２", "３", "４", "５", "６", "７", "８", "９"};
    return sj(std::string(digits[channel]) + "CH");
}

std::vector<std::string> summaryRow(const BatchItem& item, int channelColumns) {
    const model::MeasurementRecord& record = *item.record;
    std::vector<std::string> row = {item.level1,
                                    item.level2,
                                    item.level3,
                                    record.dataNoText(),
                                    record.testDateTimeText(),
                                    record.measureTypeText()};
    const int channels = record.channelCount();
    for (int c = 0; c < channelColumns; ++c)
        row.push_back(c < channels ? operatingRowTexts(record, c)[0] : std::string());
    return row;
}

}  // namespace

BatchSummary batchSummary(const settings::AppSettings& settings,
                          const std::vector<BatchItem>& items,
                          const std::vector<std::string>& verdicts) {
    if (!verdicts.empty() && verdicts.size() != items.size())
        throw std::invalid_argument("batchSummary: one verdict per measurement");
    BatchSummary summary;
    summary.verdictColumn = !verdicts.empty();
    summary.title = sj("測定一覧");
    for (const BatchItem& item : items)
        summary.channelColumns = std::max(summary.channelColumns, item.record->channelCount());
    summary.header = {settings.itemName1, settings.itemName2, settings.itemName3,
                      sj("データ№"),      sj("試験日時"),     sj("測定種別")};
    for (int c = 0; c < summary.channelColumns; ++c)
        summary.header.push_back(channelCaption(c));
    if (summary.verdictColumn)
        summary.header.push_back(sj("判定"));
    summary.rows.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        summary.rows.push_back(summaryRow(items[i], summary.channelColumns));
        if (summary.verdictColumn)
            summary.rows.back().push_back(verdicts[i]);
    }
    return summary;
}

}  // namespace plm::report
