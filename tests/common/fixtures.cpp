#include "common/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/ole_date.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::test {

support::DateTimeValue dateAt(int year, int month, int day, int hour, int minute, int second) {
    support::CalendarFields f;
    f.year = year;
    f.month = month;
    f.day = day;
    f.hour = hour;
    f.minute = minute;
    f.second = second;
    support::DateTimeValue dt;
    support::fieldsToOle(f, dt.value);
    dt.status = support::DateStatus::Valid;
    return dt;
}

model::MeasurementRecord datedRecord(int day, int hour, int dataNo) {
    model::MeasurementRecord r;
    r.dataNo = dataNo;
    r.measTime = 0;
    r.measPeriod = 1;
    r.testDateTime = dateAt(2024, 3, day, hour);
    r.contacts.assign(r.expectedSampleCount(), 0);
    return r;
}

void closeChannelFrom(model::MeasurementRecord& record, int channel, size_t from) {
    for (size_t i = from; i < record.contacts.size(); ++i)
        record.contacts[i] |= uint8_t(1u << (channel - 1));
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void FailingReporter::report(const std::string& text, model::MessageIcon) {
    ADD_FAILURE() << support::toUtf8(text);
}

ProgramFolderGuard::ProgramFolderGuard(const std::string& folder)
    : previous_(support::programFolder()) {
    support::setProgramFolder(folder);
}

ProgramFolderGuard::~ProgramFolderGuard() {
    support::setProgramFolder(previous_);
}

}  // namespace plm::test
