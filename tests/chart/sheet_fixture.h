#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/gui/test_application.h"
#include "model/measurement_record.h"
#include "settings/app_settings.h"
#include "support/ole_date.h"
#include "support/text_codec.h"

// Shared helpers of the chart tests: the GUI application (offscreen when no
// platform is set), settings with the shipped defaults and records with
// given changes.
namespace plm::test {

inline settings::AppSettings defaultSettings() {
    settings::AppSettings s;
    s.itemName1 = support::sj("需要家名称");
    s.itemName2 = support::sj("試験回路名称");
    s.itemName3 = support::sj("測定ﾃﾞｰﾀ名称");
    s.printTitle = support::sj("クロノメイト試験結果");
    return s;
}

// A record of `samples` samples whose channel k (0-based) toggles at each
// position listed in changes[k], starting from startOn[k].
inline model::MeasurementRecord makeRecord(int32_t devType, size_t samples,
                                           const std::vector<std::vector<int64_t>>& changes,
                                           const std::vector<bool>& startOn = {}) {
    model::MeasurementRecord r;
    r.cond.devType = devType;
    r.measTime = 3;    // 1 s
    r.measPeriod = 5;  // 5 ms
    r.dataNo = 12;
    support::CalendarFields f;
    f.year = 2008;
    f.month = 4;
    f.day = 1;
    f.hour = 13;
    f.minute = 5;
    f.second = 12;
    support::fieldsToOle(f, r.testDateTime.value);
    r.testDateTime.status = support::DateStatus::Valid;
    r.contacts.assign(samples, 0);
    for (size_t ch = 0; ch < changes.size(); ++ch) {
        bool on = ch < startOn.size() && startOn[ch];
        size_t next = 0;
        for (size_t i = 0; i < samples; ++i) {
            while (next < changes[ch].size() && changes[ch][next] == static_cast<int64_t>(i)) {
                on = !on;
                ++next;
            }
            if (on)
                r.contacts[i] |= static_cast<uint8_t>(1u << ch);
        }
    }
    return r;
}

}  // namespace plm::test
