#include "analysis/limits_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <unordered_set>

#include "model/backup_folder.h"
#include "model/name_compare.h"
#include "support/cx_exception.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::analysis {
namespace {

using support::sj;

// Far more than any hand-kept file; a larger one is not a limits file.
constexpr size_t kMaxFileBytes = 1 << 20;
constexpr const char* kSection = "[Limits]";
constexpr const char* kHexSuffix = "Hex";

std::string damageText(const std::string& source, int line, const std::string& detail) {
    return support::format(sj("判定基準ファイルが正しくありません\n%s\n%d 行目: %s").c_str(),
                           source.c_str(), line, detail.c_str());
}

// A name as the customer tree compares it: ASCII capitals folded, byte by
// byte, so equal keys are names that count as the same.
void appendFolded(std::string& key, const std::string& name) {
    key += std::to_string(name.size());
    key += ':';
    for (const char c : name)
        key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string targetKey(const LimitsTarget& target) {
    std::string key;
    if (target.model) {
        key += 'M';
        appendFolded(key, target.model->maker);
        appendFolded(key, target.model->model);
        return key;
    }
    appendFolded(key, target.customer);
    appendFolded(key, target.circuit);
    if (target.name) {
        key += 'N';
        appendFolded(key, *target.name);
    }
    return key;
}

std::optional<ReferenceMark> parseReference(const std::string& text) {
    const size_t comma = text.rfind(',');
    if (comma == std::string::npos)
        return std::nullopt;
    const std::string date = support::trimMb(text.substr(0, comma));
    const std::string number = support::trimMb(text.substr(comma + 1));
    const support::DateTimeValue parsed = support::parseDateTime(date);
    if (!parsed.valid() || number.empty() || number.size() > 10)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long dataNo = std::strtoll(number.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || dataNo < INT32_MIN || dataNo > INT32_MAX)
        return std::nullopt;
    return markOf(parsed, static_cast<int>(dataNo));
}

std::string referenceText(const ReferenceMark& mark) {
    return support::format("%s,%d", mark.dateTime.c_str(), mark.dataNo);
}

// Control characters (tabs aside) have no place in a line: a CR or LF
// inside one would break the file apart.
bool hasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t') || u == 0x7F;
    });
}

// A name with blanks at an end, starting with a double quote or empty is
// written in double quotes, which reading takes off again (one pair).
std::string quotedIfNeeded(const std::string& name) {
    if (!name.empty() && support::trimMb(name) == name && name.front() != '"')
        return name;
    return '"' + name + '"';
}

std::string unquoted(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

bool readsBackPlain(const std::string& name) {
    return !hasControl(name) && unquoted(support::trimMb(quotedIfNeeded(name))) == name;
}

std::string hexOf(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += kDigits[u >> 4];
        out += kDigits[u & 0x0F];
    }
    return out;
}

std::optional<std::string> fromHex(const std::string& text) {
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
    }
    return out;
}

std::string nameLine(const std::string& key, const std::string& name) {
    if (readsBackPlain(name))
        return key + "=" + quotedIfNeeded(name) + "\r\n";
    return key + kHexSuffix + "=" + hexOf(name) + "\r\n";
}

std::string sectionText(const LimitsEntry& e) {
    std::string out = std::string("\r\n") + kSection + "\r\n";
    if (e.target.model)
        out += nameLine("Maker", e.target.model->maker) + nameLine("Model", e.target.model->model);
    else
        out += nameLine("Customer", e.target.customer) + nameLine("Circuit", e.target.circuit);
    if (e.target.name)
        out += nameLine("Name", *e.target.name);
    for (const std::string& key : limitKeys()) {
        if (const std::string value = limitText(e.limits, key); !value.empty())
            out += key + "=" + value + "\r\n";
    }
    if (e.reference)
        out += "Reference=" + referenceText(*e.reference) + "\r\n";
    if (e.intervalMonths)
        out += std::string(kIntervalMonthsKey) + "=" + std::to_string(*e.intervalMonths) + "\r\n";
    return out;
}

// One section as it is read: its target, its values, and the first line
// that did not read.
class Section {
  public:
    Section(int firstLine, size_t offset) : firstLine_(firstLine), offset_(offset) {}

    size_t offset() const { return offset_; }
    // The lines ahead of the first section, from the first that is not a
    // comment.
    bool ahead() const { return firstLine_ == 0; }
    bool damaged() const { return damageLine_ != 0; }

    void fail(int line, const std::string& detail) {
        if (damaged())
            return;
        damageLine_ = line;
        damageDetail_ = detail;
    }

    // A line that does not read as a key and value may have been any key.
    void failUnreadable(int line, const std::string& detail) {
        fail(line, detail);
        nameUnknown_ = true;
    }

    void assign(int line, const std::string& key, const std::string& value) {
        const bool hex = key.size() > 3 && key.compare(key.size() - 3, 3, kHexSuffix) == 0;
        const std::string family = hex ? key.substr(0, key.size() - 3) : key;
        const bool circuitKey = family == "Customer" || family == "Circuit" || family == "Name";
        const bool modelKey = family == "Maker" || family == "Model";
        const bool targetKey = circuitKey || modelKey;
        if (hex && !targetKey) {
            fail(line,
                 support::format(sj("判定基準の項目 \"%s\" はありません").c_str(), key.c_str()));
            return;
        }
        if (std::any_of(keyLines_.begin(), keyLines_.end(),
                        [&](const auto& seen) { return seen.first == family; })) {
            fail(line, support::format(sj("項目 \"%s\" が同じ [Limits] に2つあります").c_str(),
                                       family.c_str()));
            if (targetKey)
                unknown(family);
            return;
        }
        keyLines_.emplace_back(family, line);
        circuitKeys_ = circuitKeys_ || circuitKey;
        modelKeys_ = modelKeys_ || modelKey;
        if (targetKey)
            assignTarget(line, family, hex, key, value);
        else if (key == "Reference")
            assignReference(line, value);
        else if (key == kIntervalMonthsKey)
            assignInterval(line, value);
        else
            assignLimit(line, key, value);
    }

    // Closes the section: its entry when it reads, else nullopt after
    // `damage` took what is known of it.
    std::optional<LimitsEntry> finish(std::unordered_set<std::string>& targets) {
        if (!damaged())
            check(targets);
        if (damaged())
            return std::nullopt;
        return entry_;
    }

    DamagedSection damage(const std::string& source, std::string bytes, size_t before) const {
        DamagedSection d;
        d.bytes = std::move(bytes);
        d.message = damageText(source, damageLine_, damageDetail_);
        d.before = before;
        if (customerRead_)
            d.customer = entry_.target.customer;
        if (circuitRead_)
            d.circuit = entry_.target.circuit;
        d.name = entry_.target.name;
        d.nameUnknown = nameUnknown_;
        d.circuitKeys = circuitKeys_;
        d.modelKeys = modelKeys_;
        if (makerRead_)
            d.maker = model().maker;
        if (modelRead_)
            d.model = model().model;
        return d;
    }

  private:
    void unknown(const std::string& family) {
        if (family == "Customer")
            customerRead_ = false;
        else if (family == "Circuit")
            circuitRead_ = false;
        else if (family == "Maker")
            makerRead_ = false;
        else if (family == "Model")
            modelRead_ = false;
        else
            nameUnknown_ = true;
    }

    BreakerModel& model() {
        if (!entry_.target.model)
            entry_.target.model.emplace();
        return *entry_.target.model;
    }
    const BreakerModel& model() const {
        static const BreakerModel none;
        return entry_.target.model ? *entry_.target.model : none;
    }

    void assignTarget(int line, const std::string& family, bool hex, const std::string& key,
                      const std::string& value) {
        const std::optional<std::string> name = hex ? fromHex(value) : unquoted(value);
        if (!name) {
            fail(line, support::format(sj("%s の値 \"%s\" が正しくありません").c_str(), key.c_str(),
                                       value.c_str()));
            unknown(family);
            return;
        }
        if (family == "Customer") {
            entry_.target.customer = *name;
            customerRead_ = true;
        } else if (family == "Circuit") {
            entry_.target.circuit = *name;
            circuitRead_ = true;
        } else if (family == "Maker") {
            model().maker = *name;
            makerRead_ = true;
        } else if (family == "Model") {
            model().model = *name;
            modelRead_ = true;
        } else if (hex || !value.empty()) {
            // A bare "Name=" is the test circuit's own section, as it always was.
            entry_.target.name = *name;
        }
    }

    void assignReference(int line, const std::string& value) {
        entry_.reference = parseReference(value);
        if (!entry_.reference)
            fail(line, sj("Reference の値が正しくありません"));
    }

    void assignInterval(int line, const std::string& value) {
        try {
            setIntervalMonths(entry_, value);
        } catch (const CxException& error) {
            fail(line, error.text());
        }
    }

    void assignLimit(int line, const std::string& key, const std::string& value) {
        try {
            setLimit(entry_.limits, key, value);
        } catch (const CxException& error) {
            fail(line, error.text());
        }
    }

    int lineOf(const std::string& family) const { return lastLineOf({family}); }

    // The line of the last of these keys in the section.
    int lastLineOf(std::initializer_list<std::string> keys) const {
        int last = firstLine_;
        for (const auto& [key, line] : keyLines_) {
            if (std::find(keys.begin(), keys.end(), key) != keys.end())
                last = std::max(last, line);
        }
        return last;
    }

    void check(std::unordered_set<std::string>& targets) {
        if (modelKeys_ && circuitKeys_) {
            fail(firstLine_, sj("Maker と Model の [Limits] には Customer、Circuit、Name "
                                "は書けません"));
        } else if (modelKeys_ && (!makerRead_ || !modelRead_)) {
            fail(firstLine_, sj("Maker と Model の片方しかない [Limits] があります"));
        } else if (modelKeys_ && model().model.empty()) {
            fail(lineOf("Model"), sj("Model が空の [Limits] があります"));
        } else if (!modelKeys_ && (!customerRead_ || !circuitRead_)) {
            fail(firstLine_, sj("Customer と Circuit のない [Limits] があります"));
        } else if (entry_.reference && !entry_.target.name) {
            fail(lineOf("Reference"), sj("Reference は Name のある [Limits] にだけ書けます"));
        } else if (const std::string problem = inconsistency(entry_.limits); !problem.empty()) {
            fail(lastLineOf({"close_min_ms", "close_max_ms", "open_min_ms", "open_max_ms"}),
                 problem);
        } else if (!targets.insert(targetKey(entry_.target)).second) {
            fail(firstLine_, sj("同じ対象の [Limits] が2つあります"));
        }
    }

    int firstLine_;
    size_t offset_;
    LimitsEntry entry_;
    bool customerRead_ = false;
    bool circuitRead_ = false;
    bool makerRead_ = false;
    bool modelRead_ = false;
    bool nameUnknown_ = false;
    bool circuitKeys_ = false;
    bool modelKeys_ = false;
    std::vector<std::pair<std::string, int>> keyLines_;
    int damageLine_ = 0;
    std::string damageDetail_;
};

// Walks the file line by line; each line opens a section, names its target
// or sets one of its values. Lines ahead of the first section may only be
// comments.
class Reader {
  public:
    Reader(const std::string& bytes, const std::string& source) : bytes_(bytes), source_(source) {}

    void read() {
        int number = 0;
        size_t start = 0;
        while (start < bytes_.size()) {
            size_t end = bytes_.find('\n', start);
            if (end == std::string::npos)
                end = bytes_.size();
            line(++number, start, bytes_.substr(start, end - start));
            start = end + 1;
        }
        close(bytes_.size());
    }

    std::vector<LimitsEntry> entries;
    std::vector<DamagedSection> damaged;

  private:
    void line(int number, size_t offset, std::string raw) {
        // The line end first: a broken double-byte character before it must
        // not hide the CR from the trimming.
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        if (hasControl(raw)) {
            unreadable(number, offset, sj("制御文字が含まれています"));
            return;
        }
        const std::string text = support::trimMb(raw);
        if (text.empty() || text[0] == ';' || text[0] == '#')
            return;
        if (text == kSection) {
            close(offset);
            section_.emplace(number, offset);
            return;
        }
        const size_t eq = text.find('=');
        if (eq == std::string::npos || !section_ || section_->ahead()) {
            unreadable(number, offset, sj("[Limits] の項目として読めません"));
            return;
        }
        section_->assign(number, support::trimMb(text.substr(0, eq)),
                         support::trimMb(text.substr(eq + 1)));
    }

    void unreadable(int number, size_t offset, const std::string& detail) {
        // Ahead of every section, whose the line was cannot be told.
        if (!section_)
            section_.emplace(0, offset);
        section_->failUnreadable(number, detail);
    }

    void close(size_t end) {
        if (!section_)
            return;
        if (std::optional<LimitsEntry> entry = section_->finish(targets_)) {
            entries.push_back(std::move(*entry));
        } else {
            const size_t offset = section_->offset();
            damaged.push_back(
                section_->damage(source_, withoutTrailingBlankLines(offset, end), entries.size()));
        }
        section_.reset();
    }

    // The bytes of a section up to the end of its last line with text: the
    // blank line a rewrite puts ahead of a section is not taken along.
    std::string withoutTrailingBlankLines(size_t begin, size_t end) const {
        const size_t last = bytes_.find_last_not_of(" \t\r\n", end == 0 ? 0 : end - 1);
        if (last == std::string::npos || last < begin)
            return {};
        const size_t lineEnd = bytes_.find('\n', last);
        return bytes_.substr(
            begin, (lineEnd == std::string::npos || lineEnd >= end ? end : lineEnd + 1) - begin);
    }

    const std::string& bytes_;
    const std::string source_;  // a copy: callers pass temporaries
    std::optional<Section> section_;
    std::unordered_set<std::string> targets_;
};

// What keeps an entry from being written so that it reads back as it is,
// or "".
std::string unwritable(const LimitsEntry& e) {
    if (e.reference && !e.target.name)
        return sj("基準の測定データは測定データ名称にだけ設定できます");
    if (e.reference && parseReference(referenceText(*e.reference)) != e.reference)
        return sj("試験日時が正しくない測定データは基準にできません");
    if (std::string problem = inconsistency(e.limits); !problem.empty())
        return problem;
    const std::string text = sectionText(e);
    Reader back(text, "");
    back.read();
    if (!back.damaged.empty() || back.entries.size() != 1 || back.entries.front() != e)
        return sj("判定基準ファイルに書くと読み戻せない値があります");
    return {};
}

CxException fileFailure(const std::string& fsPath, int error) {
    return CxException(support::format(sj("判定基準ファイルを読み書きできません\n%s\n%s").c_str(),
                                       support::fromFsPath(fsPath).c_str(),
                                       support::fromUtf8(std::strerror(error)).c_str()));
}

// Only a regular file is read or replaced: opening a FIFO put in its place
// would wait forever.
void requireRegularOrMissing(const std::string& fsPath) {
    struct stat st {};
    if (stat(fsPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw fileFailure(fsPath, EINVAL);
}

LimitsBook parseFile(const std::string& bytes, const std::string& fsPath, DamagedSections damaged) {
    if (bytes.size() > kMaxFileBytes) {
        throw CxException(support::format(
            sj("判定基準ファイルが正しくありません\n%s\nファイルが大きすぎます").c_str(),
            support::fromFsPath(fsPath).c_str()));
    }
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        throw CxException(support::format(sj("判定基準ファイルが正しくありません\n%s\nUTF-8 "
                                             "で保存されています。CP932 (Shift_JIS) "
                                             "で保存してください")
                                              .c_str(),
                                          support::fromFsPath(fsPath).c_str()));
    }
    const std::string source = support::fromFsPath(fsPath);
    return damaged == DamagedSections::StopAll ? LimitsBook::parse(bytes, source)
                                               : LimitsBook::read(bytes, source);
}

}  // namespace

LimitsTarget LimitsTarget::ofCircuit(std::string customer, std::string circuit) {
    return {std::move(customer), std::move(circuit), std::nullopt, std::nullopt};
}

LimitsTarget LimitsTarget::ofName(std::string customer, std::string circuit, std::string name) {
    return {std::move(customer), std::move(circuit), std::move(name), std::nullopt};
}

LimitsTarget LimitsTarget::ofModel(std::string maker, std::string model) {
    return {{}, {}, std::nullopt, BreakerModel{std::move(maker), std::move(model)}};
}

std::optional<BreakerModel> breakerModelOf(const model::TestConditions& conditions) {
    if (conditions.mcType.empty())
        return std::nullopt;
    return BreakerModel{conditions.mcMaker, conditions.mcType};
}

std::string targetText(const LimitsTarget& t) {
    if (t.model)
        return sj("型式 ") + t.model->maker + " / " + t.model->model;
    return t.customer + " / " + t.circuit + (t.name ? " / " + *t.name : "");
}

std::string levelText(LimitsLevel level) {
    switch (level) {
        case LimitsLevel::Model:
            return sj("型式");
        case LimitsLevel::Circuit:
            return sj("試験回路");
        case LimitsLevel::Name:
            return sj("測定データ名称");
        case LimitsLevel::None:
            break;
    }
    return {};
}

std::string levelKey(LimitsLevel level) {
    switch (level) {
        case LimitsLevel::Model:
            return "model";
        case LimitsLevel::Circuit:
            return "circuit";
        case LimitsLevel::Name:
            return "name";
        case LimitsLevel::None:
            break;
    }
    return {};
}

LimitsLevel LevelledLimits::levelOf(const std::string& key) const {
    const std::vector<std::string>& keys = limitKeys();
    const auto found = std::find(keys.begin(), keys.end(), key);
    const auto at = static_cast<size_t>(found - keys.begin());
    return at < levels.size() ? levels[at] : LimitsLevel::None;
}

bool DamagedSection::mayHoldCustomer(const std::string& other) const {
    if (modelKeys)
        return false;
    return !customer || plm::model::sameName(*customer, other);
}

bool DamagedSection::mayHoldModels() const {
    return !circuitKeys;
}

bool DamagedSection::mayHoldModel(const BreakerModel& other) const {
    if (!mayHoldModels())
        return false;
    return (!maker || plm::model::sameName(*maker, other.maker)) &&
           (!model || plm::model::sameName(*model, other.model));
}

bool DamagedSection::mayHold(const LimitsTarget& target) const {
    if (target.model)
        return mayHoldModel(*target.model);
    if (!mayHoldCustomer(target.customer) ||
        (circuit && !plm::model::sameName(*circuit, target.circuit)))
        return false;
    if (nameUnknown)
        return true;
    if (!name || !target.name)
        return !name && !target.name;
    return plm::model::sameName(*name, *target.name);
}

LimitsBook LimitsBook::read(const std::string& bytes, const std::string& source) {
    Reader reader(bytes, source);
    reader.read();
    LimitsBook book;
    book.entries_ = std::move(reader.entries);
    book.damaged_ = std::move(reader.damaged);
    book.index_.reserve(book.entries_.size());
    for (size_t i = 0; i < book.entries_.size(); ++i)
        book.index_.emplace(targetKey(book.entries_[i].target), i);
    return book;
}

LimitsBook LimitsBook::parse(const std::string& bytes, const std::string& source) {
    LimitsBook book = read(bytes, source);
    if (!book.damaged_.empty())
        throw CxException(book.damaged_.front().message);
    return book;
}

std::string LimitsBook::bytes() const {
    std::string out = sj("; PLMView 判定基準 (CP932)。書式は README を参照してください。") + "\r\n";
    size_t next = 0;
    // Damaged sections go back where they were among the readable ones.
    const auto damagedAhead = [&](size_t entry) {
        for (; next < damaged_.size() && damaged_[next].before <= entry; ++next) {
            out += damaged_[next].bytes;
            if (!out.empty() && out.back() != '\n')
                out += "\r\n";
        }
    };
    for (size_t i = 0; i < entries_.size(); ++i) {
        damagedAhead(i);
        if (const std::string problem = unwritable(entries_[i]); !problem.empty())
            throw CxException(targetText(entries_[i].target) + "\n" + problem);
        out += sectionText(entries_[i]);
    }
    damagedAhead(entries_.size());
    if (out.size() > kMaxFileBytes)
        throw CxException(sj("判定基準ファイルが大きくなりすぎるため書き込めません"));
    return out;
}

void LimitsBook::requireReadable(const LimitsTarget& target) const {
    for (const DamagedSection& d : damaged_) {
        if (d.mayHold(target))
            throw CxException(d.message);
    }
}

Limits LimitsBook::effective(const std::string& customer, const std::string& circuit,
                             const std::string& name) const {
    return levelled(LimitsTarget::ofName(customer, circuit, name), std::nullopt).limits;
}

Limits LimitsBook::effective(const std::string& customer, const std::string& circuit,
                             const std::string& name,
                             const model::TestConditions& conditions) const {
    return levelled(LimitsTarget::ofName(customer, circuit, name), breakerModelOf(conditions))
        .limits;
}

LevelledLimits LimitsBook::levelled(const LimitsTarget& target,
                                    const std::optional<BreakerModel>& model) const {
    std::vector<std::pair<LimitsLevel, LimitsTarget>> levels;
    if (target.model) {
        levels.emplace_back(LimitsLevel::Model, target);
    } else {
        if (model)
            levels.emplace_back(LimitsLevel::Model,
                                LimitsTarget::ofModel(model->maker, model->model));
        levels.emplace_back(LimitsLevel::Circuit,
                            LimitsTarget::ofCircuit(target.customer, target.circuit));
        if (target.name)
            levels.emplace_back(LimitsLevel::Name, target);
    }
    const std::vector<std::string>& keys = limitKeys();
    LevelledLimits result;
    result.levels.assign(keys.size(), LimitsLevel::None);
    for (const auto& [level, levelTarget] : levels) {
        const LimitsEntry* entry = find(levelTarget);
        if (!entry)
            continue;
        result.limits = result.limits.overlaidWith(entry->limits);
        for (size_t k = 0; k < keys.size(); ++k) {
            if (!limitText(entry->limits, keys[k]).empty())
                result.levels[k] = level;
        }
    }
    return result;
}

const LimitsEntry* LimitsBook::find(const LimitsTarget& target) const {
    requireReadable(target);
    const auto found = index_.find(targetKey(target));
    return found == index_.end() ? nullptr : &entries_[found->second];
}

LimitsEntry& LimitsBook::entry(const LimitsTarget& target) {
    if (const LimitsEntry* found = find(target))
        return entries_[static_cast<size_t>(found - entries_.data())];
    index_.emplace(targetKey(target), entries_.size());
    LimitsEntry added;
    added.target = target;
    entries_.push_back(std::move(added));
    return entries_.back();
}

const LimitsEntry* LimitsBook::find(const std::string& customer, const std::string& circuit,
                                    const std::string& name) const {
    return find(name.empty() ? LimitsTarget::ofCircuit(customer, circuit)
                             : LimitsTarget::ofName(customer, circuit, name));
}

LimitsEntry& LimitsBook::entry(const std::string& customer, const std::string& circuit,
                               const std::string& name) {
    return entry(name.empty() ? LimitsTarget::ofCircuit(customer, circuit)
                              : LimitsTarget::ofName(customer, circuit, name));
}

LimitsBook LimitsBook::ofCustomer(const std::string& customer) const {
    for (const DamagedSection& d : damaged_) {
        if (d.mayHoldCustomer(customer))
            throw CxException(d.message);
    }
    LimitsBook out;
    for (const LimitsEntry& e : entries_) {
        if (!e.target.model && model::sameName(e.target.customer, customer))
            out.entry(e.target) = e;
    }
    return out;
}

LimitsBook LimitsBook::ofModels() const {
    for (const DamagedSection& d : damaged_) {
        if (d.mayHoldModels())
            throw CxException(d.message);
    }
    LimitsBook out;
    for (const LimitsEntry& e : entries_) {
        if (e.target.model)
            out.entry(e.target) = e;
    }
    return out;
}

void LimitsBook::merge(const LimitsBook& other) {
    for (const LimitsEntry& e : other.entries_) {
        LimitsEntry& target = entry(e.target);
        target.limits = e.limits;
        target.reference = e.reference;
        target.intervalMonths = e.intervalMonths;
    }
}

void setIntervalMonths(LimitsEntry& entry, const std::string& value) {
    const std::string text = support::trimMb(value);
    if (text.empty()) {
        entry.intervalMonths.reset();
        return;
    }
    constexpr int kMaxMonths = 1200;
    const bool digits = text.size() <= 4 && std::all_of(text.begin(), text.end(), [](char c) {
                            return c >= '0' && c <= '9';
                        });
    if (!digits || std::stoi(text) > kMaxMonths)
        throw CxException(support::format(sj("%s の値 \"%s\" が正しくありません").c_str(),
                                          kIntervalMonthsKey, value.c_str()));
    entry.intervalMonths = std::stoi(text);
}

std::string limitsFilePath() {
    return support::programFolder() + "/LIMITS.INI";
}

LimitsBook loadLimits(const std::string& fsPath, DamagedSections damaged) {
    requireRegularOrMissing(fsPath);
    support::OpenOptions options;
    options.limit = std::chrono::milliseconds(10000);
    options.noFollow = true;
    const support::UniqueFd fd = support::openWithRetry(fsPath, options);
    if (!fd) {
        if (errno == ENOENT)
            return {};
        throw fileFailure(fsPath, errno);
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw fileFailure(fsPath, EINVAL);
    try {
        return parseFile(support::readAll(fd.get()), fsPath, damaged);
    } catch (const std::system_error& error) {
        throw fileFailure(fsPath, error.code().value());
    }
}

void updateLimits(const std::string& fsPath, const std::function<void(LimitsBook&)>& change) {
    requireRegularOrMissing(fsPath);
    support::OpenOptions options;
    options.limit = std::chrono::milliseconds(10000);
    options.noFollow = true;
    const support::UniqueFd fd = support::lockForReplace(fsPath, options);
    if (!fd)
        throw fileFailure(fsPath, errno);
    try {
        LimitsBook book =
            parseFile(support::readAll(fd.get()), fsPath, DamagedSections::StopTheirTarget);
        change(book);
        model::keepBackup(model::BackupKind::Limits, fsPath, fd.get(), nullptr);
        support::replaceLockedFile(fsPath, book.bytes(), fd.get());
    } catch (const std::system_error& error) {
        throw fileFailure(fsPath, error.code().value());
    }
}

ReferenceMark markOf(const support::DateTimeValue& date, int dataNo) {
    return {support::formatDateTime(date, "%Y/%m/%d %H:%M:%S"), dataNo};
}

ReferenceMark referenceMarkOf(const support::DateTimeValue& date, int dataNo) {
    if (!date.valid())
        throw CxException(sj("試験日時が正しくない測定データは基準にできません"));
    return markOf(date, dataNo);
}

int referenceIndex(const std::optional<ReferenceMark>& mark,
                   const std::vector<ReferenceCandidate>& candidates) {
    if (!mark)
        return 0;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (markOf(candidates[i].date, candidates[i].dataNo) == *mark)
            return static_cast<int>(i);
    }
    return 0;
}

}  // namespace plm::analysis
