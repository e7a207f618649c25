#include "cli/record_line.h"

#include "support/text_codec.h"

namespace plm::cli {

std::string recordLine(const model::MeasurementRecord& r) {
    return support::format(
        support::sj("データ№=%s, 試験日時=%s, 計測時間=%s, 測定周期=%s, 接点データ数=%zu").c_str(),
        r.dataNoText().c_str(), r.testDateTimeText().c_str(), r.measTimeText().c_str(),
        r.measPeriodText().c_str(), r.contacts.size());
}

std::string wholeMeasurementsNote(size_t count) {
    return support::format(
        support::sj("転送は中断されました。完全に受信した測定データ %d 件を出力します").c_str(),
        static_cast<int>(count));
}

}  // namespace plm::cli
