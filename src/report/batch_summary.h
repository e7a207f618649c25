#pragma once

#include <string>
#include <vector>

#include "report/batch_selection.h"
#include "settings/app_settings.h"

namespace plm::report {

// The list of a batch's measurements that may open its report: one row per
// measurement with its names, data number, date and time, measurement kind
// and the operating time of each channel (the first field of its row on the
// test sheet), and, when judged, its verdict. Texts are CP932.
struct BatchSummary {
    std::string title;                // "測定一覧"
    std::vector<std::string> header;  // one caption per column
    std::vector<std::vector<std::string>> rows;
    int channelColumns = 0;      // one per channel, after the measurement kind
    bool verdictColumn = false;  // "判定", the last column
};

// The channel columns run to the largest channel count in the batch; a
// measurement with fewer channels leaves the rest empty. `verdicts` holds
// the verdict text of each item in batch order, or nothing for a list
// without verdicts; any other count throws std::invalid_argument.
BatchSummary batchSummary(const settings::AppSettings& settings,
                          const std::vector<BatchItem>& items,
                          const std::vector<std::string>& verdicts = {});

}  // namespace plm::report
