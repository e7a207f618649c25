#include "report/csv_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "report/operating_times.h"
#include "support/cx_exception.h"
#include "support/file_lock.h"
#include "support/log_writer.h"
#include "support/paths.h"
#include "support/staged_file.h"
#include "support/text_codec.h"

namespace plm::report {
namespace {

using support::sj;

constexpr const char* kModule = "D_CsvOut";
constexpr const char* kLineEnd = "\r\n";

// label, ", ", then the value between double quotes, unescaped.
void headerLine(std::string& out, const std::string& label, const std::string& value) {
    out += label;
    out += ", \"";
    out += value;
    out += '"';
    out += kLineEnd;
}

void headerBlock(std::string& out, const CsvLayout& layout, const CsvNames& names,
                 const model::MeasurementRecord& rec) {
    out += sj("モルベーン 試験結果");
    out += kLineEnd;
    headerLine(out, layout.itemName1, names.level1);
    headerLine(out, layout.itemName2, names.level2);
    headerLine(out, layout.itemName3, names.level3);
    headerLine(out, sj("データ№"), rec.dataNoText());
    headerLine(out, sj("試験日時"), rec.testDateTimeText());
    headerLine(out, sj("装置タイプ"), rec.devTypeText());
    headerLine(out, sj("型式"), rec.cond.mcType);
    headerLine(out, sj("製造番号"), rec.cond.mcNum);
    headerLine(out, sj("製造年月日"), rec.cond.mcDate);
    headerLine(out, sj("製造元"), rec.cond.mcMaker);
    headerLine(out, sj("測定周期"), rec.measPeriodText());
    headerLine(out, sj("計測時間"), rec.measTimeText());
    if (layout.chattering != 0)
        headerLine(out, sj("ﾁｬﾀﾘﾝｸﾞ測定"), rec.chatteringText());
    if (rec.noiseMask != 0)
        headerLine(out, sj("ﾉｲｽﾞﾏｽｸ"), rec.noiseMaskText());
    if (layout.measureType != 0)
        headerLine(out, sj("測定種別"), rec.measureTypeText());
    if (layout.measureOpe != 0) {
        headerLine(out, sj("測定動作"), rec.measureOpeText());
        headerLine(out, sj("投入･遮断信号"), rec.signalAcDcText());
    }
    headerLine(out, sj("天候"), rec.cond.weather);
    headerLine(out, sj("温度[℃]"), rec.tempText());
    headerLine(out, sj("湿度[％]"), rec.humText());
    headerLine(out, sj("備考"), rec.cond.comment);
    if (layout.outsideTrigger != 0) {
        headerLine(out, sj("動作信号"), rec.opSignalText());
        headerLine(out, sj("トリガ検出"), rec.triggerDetectText());
        if (rec.vcValueShown())
            headerLine(out, sj("電圧電流"), rec.vcValueText());
    }
}

void operatingTimeRows(std::string& out, const model::MeasurementRecord& rec, int channels) {
    for (int ch = 0; ch < channels; ++ch) {
        out += support::format(sj("動作時間[ms] %dCH, ").c_str(), ch + 1);
        for (int64_t interval : OperatingTimeIntervals(rec, ch)) {
            out += intervalText(rec, interval);
            out += ", ";
        }
        out += kLineEnd;
    }
}

void sampleBlock(std::string& out, const model::MeasurementRecord& rec, int channels) {
    out += sj("測定データ");
    for (int ch = 1; ch <= channels; ++ch)
        out += support::format(", %dCH", ch);
    out += kLineEnd;
    // Every sample byte has one possible row tail: build the 256 of them once
    // and copy them, so a long record costs little more than its bytes.
    std::array<std::string, 256> tails;
    size_t longest = 0;
    for (unsigned bits = 0; bits < 256; ++bits) {
        for (int ch = 0; ch < channels; ++ch)
            tails[bits] += ((bits >> ch) & 1u) ? ", ON" : ", OFF";
        tails[bits] += kLineEnd;
        longest = std::max(longest, tails[bits].size());
    }
    const size_t count = rec.contacts.size();
    const size_t start = out.size();
    out.resize(start + count * (20 + 4 + longest));
    char* p = out.data() + start;
    char* const end = out.data() + out.size();
    // The first field is the sample index itself, whatever the sampling period.
    for (size_t k = 0; k < count; ++k) {
        p = std::to_chars(p, end, k).ptr;
        std::memcpy(p, "[ms]", 4);
        p += 4;
        const std::string& tail = tails[rec.contacts[k]];
        std::memcpy(p, tail.data(), tail.size());
        p += tail.size();
    }
    out.resize(static_cast<size_t>(p - out.data()));
}

// The designed failure text: kind, the failure's own description (at most
// 100 bytes, never ending inside a double-byte character), module and line.
std::string failureText(const char* kindUtf8, const char* description, int line) {
    std::string what = description ? description : "";
    what.resize(support::mbSafeLength(what, 100));
    return support::format("%s\n%s\n%s(%d)", sj(kindUtf8).c_str(), what.c_str(), kModule, line);
}

// One time-stamped line per failure in the application log.
void logFailure(std::string text) {
    for (char& c : text) {
        if (c == '\n')
            c = ' ';
    }
    support::AppLog().writeLine(text);
}

std::string fullFsPath(const std::string& storedPath) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(support::toFsPath(storedPath), ec);
    if (ec)
        return support::toFsPath(storedPath);
    return full.lexically_normal().string();
}

CxException openError(const std::string& fsPath) {
    return CxException(support::format("OpenError\n%s", support::fromFsPath(fsPath).c_str()));
}

// The file a writer of another program holds (its exclusive lock) is waited
// for as long as the designed open waits; a link or nothing at the name
// holds nothing.
support::UniqueFd lockExistingFile(const std::string& fsPath) {
    struct stat st {};
    if (::lstat(fsPath.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        throw openError(fsPath);
    support::OpenOptions options;
    options.exclusive = true;
    options.noFollow = true;
    options.limit = std::chrono::milliseconds(60000);
    support::UniqueFd fd = support::openWithRetry(fsPath, options);
    if (!fd && errno != ENOENT)
        throw openError(fsPath);
    return fd;
}

// The new file takes the name only when it is whole: a link at the name is
// replaced, never written through.
void writeFile(const std::string& fsPath, const std::string& bytes, bool replace) {
    const support::UniqueFd held = lockExistingFile(fsPath);
    std::unique_ptr<support::StagedFile> file;
    try {
        file = std::make_unique<support::StagedFile>(fsPath);
    } catch (const std::system_error&) {
        throw openError(fsPath);
    }
    support::writeAll(file->fd(), bytes.data(), bytes.size());
    try {
        file->commit(replace);
    } catch (const std::system_error& e) {
        if (e.code() == std::errc::file_exists) {
            throw CxException(support::format(sj("指定のファイルは既に存在しています\n%s").c_str(),
                                              support::fromFsPath(fsPath).c_str()));
        }
        throw openError(fsPath);
    }
}

}  // namespace

CsvLayout CsvLayout::fromSettings(const settings::AppSettings& settings) {
    CsvLayout layout;
    layout.itemName1 = settings.itemName1;
    layout.itemName2 = settings.itemName2;
    layout.itemName3 = settings.itemName3;
    layout.chattering = settings.chattering;
    layout.measureType = settings.measureType;
    layout.measureOpe = settings.measureOpe;
    layout.outsideTrigger = settings.outsideTrigger;
    return layout;
}

std::string csvText(const CsvLayout& layout, const CsvNames& names,
                    const model::MeasurementRecord& record) {
    std::string out;
    const int channels = record.channelCount();
    headerBlock(out, layout, names, record);
    operatingTimeRows(out, record, channels);
    out += kLineEnd;
    sampleBlock(out, record, channels);
    return out;
}

bool WriteCsvFile(const std::string& path, const CsvLayout& layout, const CsvNames& names,
                  const model::MeasurementRecord& record, model::ErrorReporter& reporter,
                  bool replace) {
    using model::MessageIcon;
    try {
        const std::string fsPath = fullFsPath(path);
        // The text is built before the file is touched: a record that cannot be
        // written fails without emptying a file that was there before.
        const std::string bytes = csvText(layout, names, record);
        writeFile(fsPath, bytes, replace);
        return true;
    } catch (const CxException& e) {
        logFailure(e.text());
        reporter.report(e.text(), MessageIcon::Information);
    } catch (const std::bad_alloc& e) {
        reporter.report(failureText("メモリ不足", e.what(), __LINE__), MessageIcon::Plain);
    } catch (const std::system_error& e) {
        reporter.report(failureText("ﾌｧｲﾙｱｸｾｽ異常", e.what(), __LINE__), MessageIcon::Plain);
    } catch (const std::exception& e) {
        reporter.report(failureText("例外発生", e.what(), __LINE__), MessageIcon::Plain);
    }
    return false;
}

}  // namespace plm::report
