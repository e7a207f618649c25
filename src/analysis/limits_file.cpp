#include "analysis/limits_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

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

class ParseError {
  public:
    ParseError(int line, std::string detail) : line_(line), detail_(std::move(detail)) {}
    CxException toException(const std::string& source) const {
        return CxException(
            support::format(sj("判定基準ファイルが正しくありません\n%s\n%d 行目: %s").c_str(),
                            source.c_str(), line_, detail_.c_str()));
    }

  private:
    int line_;
    std::string detail_;
};

bool sameTarget(const LimitsEntry& e, const std::string& customer, const std::string& circuit,
                const std::string& name) {
    return model::sameName(e.customer, customer) && model::sameName(e.circuit, circuit) &&
           model::sameName(e.name, name);
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

// Control characters (tabs aside) have no place in a name or a value, and
// a CR or LF inside one would break the file apart.
bool hasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t') || u == 0x7F;
    });
}

// A name with blanks at an end is written in double quotes, which reading
// takes off again (one pair).
std::string quotedIfNeeded(const std::string& name) {
    if (name.empty() || (support::trimMb(name) == name && name.front() != '"'))
        return name;
    return '"' + name + '"';
}

std::string unquoted(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

// Builds the entries line by line; each line either opens an entry, names
// its target, or sets one of its values.
class Reader {
  public:
    void line(int number, std::string raw) {
        // The line end first: a broken double-byte character before it must
        // not hide the CR from the trimming.
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        if (hasControl(raw))
            throw ParseError(number, sj("制御文字が含まれています"));
        const std::string text = support::trimMb(raw);
        if (text.empty() || text[0] == ';' || text[0] == '#')
            return;
        if (text == kSection) {
            finish(number);
            entries_.emplace_back();
            return;
        }
        const size_t eq = text.find('=');
        if (eq == std::string::npos || entries_.empty())
            throw ParseError(number, sj("[Limits] の項目として読めません"));
        assign(number, support::trimMb(text.substr(0, eq)), support::trimMb(text.substr(eq + 1)));
    }

    std::vector<LimitsEntry> finish(int number) {
        if (entries_.empty())
            return {};
        const LimitsEntry& last = entries_.back();
        if (last.customer.empty() || last.circuit.empty())
            throw ParseError(number, sj("Customer と Circuit のない [Limits] があります"));
        for (size_t i = 0; i + 1 < entries_.size(); ++i) {
            if (sameTarget(entries_[i], last.customer, last.circuit, last.name))
                throw ParseError(number, sj("同じ対象の [Limits] が2つあります"));
        }
        if (last.reference && last.name.empty())
            throw ParseError(number, sj("Reference は Name のある [Limits] にだけ書けます"));
        if (const std::string problem = inconsistency(last.limits); !problem.empty())
            throw ParseError(number, problem);
        return entries_;
    }

  private:
    void assign(int number, const std::string& key, const std::string& value) {
        LimitsEntry& e = entries_.back();
        if (key == "Customer" || key == "Circuit" || key == "Name") {
            std::string& target = key == "Customer"  ? e.customer
                                  : key == "Circuit" ? e.circuit
                                                     : e.name;
            target = unquoted(value);
        } else if (key == "Reference") {
            e.reference = parseReference(value);
            if (!e.reference)
                throw ParseError(number, sj("Reference の値が正しくありません"));
        } else {
            try {
                setLimit(e.limits, key, value);
            } catch (const CxException& error) {
                throw ParseError(number, error.text());
            }
        }
    }

    std::vector<LimitsEntry> entries_;
};

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

LimitsBook parseFile(const std::string& bytes, const std::string& fsPath) {
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
    return LimitsBook::parse(bytes, support::fromFsPath(fsPath));
}

}  // namespace

LimitsBook LimitsBook::parse(const std::string& bytes, const std::string& source) {
    Reader reader;
    int number = 0;
    size_t start = 0;
    try {
        while (start < bytes.size()) {
            size_t end = bytes.find('\n', start);
            if (end == std::string::npos)
                end = bytes.size();
            reader.line(++number, bytes.substr(start, end - start));
            start = end + 1;
        }
        LimitsBook book;
        book.entries_ = reader.finish(number);
        return book;
    } catch (const ParseError& error) {
        throw error.toException(source);
    }
}

std::string LimitsBook::bytes() const {
    std::string out = sj("; PLMView 判定基準 (CP932)。書式は README を参照してください。") + "\r\n";
    for (const LimitsEntry& e : entries_) {
        out += std::string("\r\n") + kSection + "\r\nCustomer=" + quotedIfNeeded(e.customer) +
               "\r\nCircuit=" + quotedIfNeeded(e.circuit) + "\r\n";
        if (!e.name.empty())
            out += "Name=" + quotedIfNeeded(e.name) + "\r\n";
        for (const std::string& key : limitKeys()) {
            if (const std::string value = limitText(e.limits, key); !value.empty())
                out += key + "=" + value + "\r\n";
        }
        if (e.reference)
            out += support::format("Reference=%s,%d\r\n", e.reference->dateTime.c_str(),
                                   e.reference->dataNo);
    }
    return out;
}

Limits LimitsBook::effective(const std::string& customer, const std::string& circuit,
                             const std::string& name) const {
    Limits result;
    if (const LimitsEntry* own = find(customer, circuit, ""))
        result = own->limits;
    if (name.empty())
        return result;
    if (const LimitsEntry* named = find(customer, circuit, name))
        result = result.overlaidWith(named->limits);
    return result;
}

const LimitsEntry* LimitsBook::find(const std::string& customer, const std::string& circuit,
                                    const std::string& name) const {
    for (const LimitsEntry& e : entries_) {
        if (sameTarget(e, customer, circuit, name))
            return &e;
    }
    return nullptr;
}

LimitsEntry& LimitsBook::entry(const std::string& customer, const std::string& circuit,
                               const std::string& name) {
    for (LimitsEntry& e : entries_) {
        if (sameTarget(e, customer, circuit, name))
            return e;
    }
    for (const std::string* text : {&customer, &circuit, &name}) {
        if (hasControl(*text))
            throw CxException(sj("制御文字を含む名前には判定基準を設定できません"));
    }
    entries_.push_back(LimitsEntry{customer, circuit, name, {}, std::nullopt});
    return entries_.back();
}

LimitsBook LimitsBook::ofCustomer(const std::string& customer) const {
    LimitsBook out;
    for (const LimitsEntry& e : entries_) {
        if (model::sameName(e.customer, customer))
            out.entries_.push_back(e);
    }
    return out;
}

void LimitsBook::merge(const LimitsBook& other) {
    for (const LimitsEntry& e : other.entries_) {
        LimitsEntry& target = entry(e.customer, e.circuit, e.name);
        target.limits = e.limits;
        target.reference = e.reference;
    }
}

std::string limitsFilePath() {
    return support::programFolder() + "/LIMITS.INI";
}

LimitsBook loadLimits(const std::string& fsPath) {
    requireRegularOrMissing(fsPath);
    support::OpenOptions options;
    options.limit = std::chrono::milliseconds(10000);
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
        return parseFile(support::readAll(fd.get()), fsPath);
    } catch (const std::system_error& error) {
        throw fileFailure(fsPath, error.code().value());
    }
}

void updateLimits(const std::string& fsPath, const std::function<void(LimitsBook&)>& change) {
    requireRegularOrMissing(fsPath);
    support::OpenOptions options;
    options.limit = std::chrono::milliseconds(10000);
    const support::UniqueFd fd = support::lockForReplace(fsPath, options);
    if (!fd)
        throw fileFailure(fsPath, errno);
    try {
        LimitsBook book = parseFile(support::readAll(fd.get()), fsPath);
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
