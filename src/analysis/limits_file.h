#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/limits.h"
#include "support/ole_date.h"

// The limits file ("LIMITS.INI" in the program folder): the limits of test
// circuits and measurement names and the reference measurement of a name.
// It is a text file in CP932 that a person may read and edit:
//
//   ; comment
//   [Limits]
//   Customer=東京電力
//   Circuit=第1変電所
//   Name=年次点検            (absent or empty: the limits of the test circuit)
//   close_min_ms=40
//   close_max_ms=50.5
//   pole_group=1,2,3
//   Reference=2025/06/01 10:00:00,3   (test date-time and data number; names only)
//
// A file that does not read this way is never rewritten: every reading and
// every change stops with a message that names the line.
namespace plm::analysis {

// The measurement marked as the reference of a name: its test date-time (to
// the second) and data number, which stay with it when records are added.
struct ReferenceMark {
    std::string dateTime;  // "%Y/%m/%d %H:%M:%S"
    int dataNo = 0;
    bool operator==(const ReferenceMark&) const = default;
};

struct LimitsEntry {
    std::string customer;  // CP932, as in the data file
    std::string circuit;
    std::string name;  // empty for the test circuit's own limits
    Limits limits;
    std::optional<ReferenceMark> reference;
    bool operator==(const LimitsEntry&) const = default;
};

class LimitsBook {
  public:
    // Throws CxException("判定基準ファイルが正しくありません ...") naming the
    // line that does not read; `source` is the path shown in the message.
    static LimitsBook parse(const std::string& bytes, const std::string& source);
    std::string bytes() const;

    // The limits that hold for a measurement name: the test circuit's,
    // overlaid key by key by the name's own.
    Limits effective(const std::string& customer, const std::string& circuit,
                     const std::string& name) const;

    // The entry of the circuit (name empty) or name, or null.
    const LimitsEntry* find(const std::string& customer, const std::string& circuit,
                            const std::string& name) const;
    // The entry, added when missing.
    LimitsEntry& entry(const std::string& customer, const std::string& circuit,
                       const std::string& name);

    const std::vector<LimitsEntry>& entries() const { return entries_; }

    // The entries of one customer, as a book of their own (to carry them to
    // another installation).
    LimitsBook ofCustomer(const std::string& customer) const;
    // Every entry of `other` replaces the entry of the same target here, or
    // is added.
    void merge(const LimitsBook& other);

  private:
    std::vector<LimitsEntry> entries_;
};

// The limits file of the program folder (UTF-8 file-system path).
std::string limitsFilePath();

// Reads the file; a missing file is an empty book. Throws CxException for a
// file that cannot be read or does not read as a limits file.
LimitsBook loadLimits(const std::string& fsPath);

// Reads, changes and writes the file under one exclusive lock, so two
// programs that change it at once both keep their change. A damaged file
// throws before `change` runs and stays as it is.
void updateLimits(const std::string& fsPath, const std::function<void(LimitsBook&)>& change);

// Index (in `dates` order) of the marked reference, or 0 (the first
// measurement) when nothing is marked or the marked one is gone.
struct ReferenceCandidate {
    support::DateTimeValue date;
    int dataNo = 0;
};
int referenceIndex(const std::optional<ReferenceMark>& mark,
                   const std::vector<ReferenceCandidate>& candidates);
ReferenceMark markOf(const support::DateTimeValue& date, int dataNo);

}  // namespace plm::analysis
