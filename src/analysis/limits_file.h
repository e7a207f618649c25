#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/limits.h"
#include "model/measurement_record.h"
#include "support/ole_date.h"

// The limits file ("LIMITS.INI" in the program folder): the limits of breaker
// models, test circuits and measurement names and the reference measurement
// of a name.
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
//   interval_months=12       (the periodic test interval; 0: none)
//
//   [Limits]                 (the limits of a breaker model, wherever it stands)
//   Maker=東芝
//   Model=VK-10
//   open_max_ms=35
//
// The limits that hold for a measurement are, key by key, its name's, else
// its test circuit's, else those of the model (型式) and maker (製造元) of its
// test conditions.
//
// A name with blanks at an end, starting with a double quote or empty is
// written in double quotes (Name="" is the measurement name that is empty;
// a bare Customer= or Circuit= is the empty name too). A name holding
// control characters is written as its CP932 bytes in hexadecimal under
// CustomerHex, CircuitHex, NameHex, MakerHex or ModelHex.
//
// A section that does not read is kept as it is: it stops only the lookups
// of its own target (every target where its Customer or Circuit did not
// read), with a message that names the line, and a rewrite of the file
// carries it over unchanged.
namespace plm::analysis {

// The measurement marked as the reference of a name: its test date-time (to
// the second) and data number, which stay with it when records are added.
struct ReferenceMark {
    std::string dateTime;  // "%Y/%m/%d %H:%M:%S"
    int dataNo = 0;
    bool operator==(const ReferenceMark&) const = default;
};

// A breaker model: its maker (製造元, may be empty) and model (型式, never
// empty), CP932; both compare as names do.
struct BreakerModel {
    std::string maker;
    std::string model;
    bool operator==(const BreakerModel&) const = default;
};

// The model of the breaker a measurement was taken of; none when its test
// conditions name no model.
std::optional<BreakerModel> breakerModelOf(const model::TestConditions& conditions);

// Whom an entry is for: a test circuit itself, one measurement name of it
// (the empty name included) or a breaker model. Names are CP932, as in the
// data file.
struct LimitsTarget {
    std::string customer;
    std::string circuit;
    std::optional<std::string> name;    // none: the test circuit's own limits
    std::optional<BreakerModel> model;  // set: a model's, customer and circuit empty

    static LimitsTarget ofCircuit(std::string customer, std::string circuit);
    static LimitsTarget ofName(std::string customer, std::string circuit, std::string name);
    static LimitsTarget ofModel(std::string maker, std::string model);
    bool operator==(const LimitsTarget&) const = default;
};

// "東京電力 / 第1変電所 / 年次点検", "型式 東芝 / VK-10" (CP932).
std::string targetText(const LimitsTarget& target);

// Where a limit that holds came from, weakest first.
enum class LimitsLevel { None, Model, Circuit, Name };

// "型式", "試験回路", "測定データ名称"; "" for None (CP932).
std::string levelText(LimitsLevel level);
// "model", "circuit", "name"; "" for None.
std::string levelKey(LimitsLevel level);

// The limits that hold, and for each key (in limitKeys() order) the level
// that set it.
struct LevelledLimits {
    Limits limits;
    std::vector<LimitsLevel> levels;

    LimitsLevel levelOf(const std::string& key) const;
};

struct LimitsEntry {
    LimitsTarget target;
    Limits limits;
    std::optional<ReferenceMark> reference;
    // Months between periodic tests; a name's own overrides its circuit's,
    // 0 stops a default interval.
    std::optional<int> intervalMonths;
    bool operator==(const LimitsEntry&) const = default;
};

// A section of the file that did not read: its bytes, kept for the next
// rewrite, the message naming its line, and what is known of its target.
struct DamagedSection {
    std::string bytes;
    std::string message;
    size_t before = 0;                    // the number of readable entries ahead of it
    std::optional<std::string> customer;  // none: did not read
    std::optional<std::string> circuit;
    std::optional<std::string> name;  // none (and known): the circuit's own
    bool nameUnknown = false;
    // Which kind of target its readable keys name: a section with both is
    // never an entry, so it stops neither kind's lookups.
    bool circuitKeys = false;          // Customer, Circuit or Name
    bool modelKeys = false;            // Maker or Model
    std::optional<std::string> maker;  // none: did not read
    std::optional<std::string> model;

    bool mayHold(const LimitsTarget& target) const;
    bool mayHoldCustomer(const std::string& customer) const;
    bool mayHoldModels() const;

  private:
    bool mayHoldModel(const BreakerModel& model) const;
};

class LimitsBook {
  public:
    // Reads every section; those that do not read are kept as damaged.
    // `source` is the path shown in the messages.
    static LimitsBook read(const std::string& bytes, const std::string& source);
    // As read, but throws CxException("判定基準ファイルが正しくありません ...")
    // naming the line of the first section that does not read.
    static LimitsBook parse(const std::string& bytes, const std::string& source);

    // The file text. Throws CxException, before anything is written, for an
    // entry that would not read back as it is.
    std::string bytes() const;

    // The limits that hold for a measurement name: the test circuit's,
    // overlaid key by key by the name's own.
    Limits effective(const std::string& customer, const std::string& circuit,
                     const std::string& name) const;
    // The same for one measurement: under them, those of the model of its
    // test conditions.
    Limits effective(const std::string& customer, const std::string& circuit,
                     const std::string& name, const model::TestConditions& conditions) const;

    // The limits that hold for a circuit's or a name's target, or a model's,
    // with the level of each key: a name's over its circuit's over the
    // model's. Throws as find does for any level.
    LevelledLimits levelled(const LimitsTarget& target,
                            const std::optional<BreakerModel>& model) const;

    // The entry of the target, or null. Throws CxException naming the line
    // when a damaged section may be the target's.
    const LimitsEntry* find(const LimitsTarget& target) const;
    // The entry, added when missing; throws as find does.
    LimitsEntry& entry(const LimitsTarget& target);

    // The same with an empty name for the test circuit itself.
    const LimitsEntry* find(const std::string& customer, const std::string& circuit,
                            const std::string& name) const;
    LimitsEntry& entry(const std::string& customer, const std::string& circuit,
                       const std::string& name);

    const std::vector<LimitsEntry>& entries() const { return entries_; }
    const std::vector<DamagedSection>& damaged() const { return damaged_; }

    // The entries of one customer, as a book of their own (to carry them to
    // another installation); throws when a damaged section may be theirs.
    LimitsBook ofCustomer(const std::string& customer) const;
    // The entries of every breaker model, likewise (a model library).
    LimitsBook ofModels() const;
    // Every entry of `other` replaces the entry of the same target here, or
    // is added.
    void merge(const LimitsBook& other);

  private:
    void requireReadable(const LimitsTarget& target) const;

    std::vector<LimitsEntry> entries_;
    std::unordered_map<std::string, size_t> index_;  // target key -> entry
    std::vector<DamagedSection> damaged_;
};

// The key of the test interval, and setting it from its text: a whole
// number of months 0..1200; an empty text clears it. Throws CxException
// with a message for anything else.
inline constexpr const char* kIntervalMonthsKey = "interval_months";
void setIntervalMonths(LimitsEntry& entry, const std::string& value);

// The limits file of the program folder (UTF-8 file-system path).
std::string limitsFilePath();

// What a damaged section of the file stops.
enum class DamagedSections {
    StopAll,          // the reading itself: for callers that judge many targets at once
    StopTheirTarget,  // only the lookups of the section's target
};

// Reads the file; a missing file is an empty book. Throws CxException for a
// file that cannot be read or is not a limits file, and with StopAll for a
// section that does not read.
LimitsBook loadLimits(const std::string& fsPath,
                      DamagedSections damaged = DamagedSections::StopAll);

// Reads, changes and writes the file under one exclusive lock, so two
// programs that change it at once both keep their change. A file that is
// not a limits file throws before `change` runs and stays as it is; damaged
// sections are written back unchanged.
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

// The mark of a measurement chosen as the reference; throws CxException for
// one without a valid test date.
ReferenceMark referenceMarkOf(const support::DateTimeValue& date, int dataNo);

}  // namespace plm::analysis
