#include "common/fixtures.h"

#include <sstream>

#include "support/ole_date.h"
#include "support/paths.h"

namespace plm::test {

model::MeasurementRecord datedRecord(int day, int hour, int dataNo) {
    model::MeasurementRecord r;
    r.dataNo = dataNo;
    r.measTime = 0;
    r.measPeriod = 1;
    support::CalendarFields f;
    f.year = 2024;
    f.month = 3;
    f.day = day;
    f.hour = hour;
    support::fieldsToOle(f, r.testDateTime.value);
    r.testDateTime.status = support::DateStatus::Valid;
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

ProgramFolderGuard::ProgramFolderGuard(const std::string& folder)
    : previous_(support::programFolder()) {
    support::setProgramFolder(folder);
}

ProgramFolderGuard::~ProgramFolderGuard() {
    support::setProgramFolder(previous_);
}

}  // namespace plm::test
