#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <functional>
#include <new>
#include <system_error>
#include <utility>

#include "model/archive_io.h"
#include "model/data_file.h"
#include "model/data_file_scan.h"
#include "model/replacing_file.h"
#include "support/cx_exception.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::model {
namespace {

constexpr const char* kModuleName = ".\\DAT_CUSTOMER";
constexpr int kModuleLine = 181;
constexpr std::chrono::milliseconds kOpenLimit{60000};

CxException openFailure(const std::string& path) {
    return CxException(
        support::format(support::sj("ファイルを開くことが出来ません\n%s").c_str(), path.c_str()));
}

// Runs one load, save or scan, turning every failure into its single
// message and the result false.
bool reported(ErrorReporter& reporter, const std::function<bool()>& job) {
    bool ok = false;
    try {
        ok = job();
    } catch (const CxException& e) {
        if (!e.quiet())
            reporter.report(e.text(), MessageIcon::Information);
    } catch (const std::bad_alloc& e) {
        reporter.report(failureText(support::sj("メモリ不足"), e.what()), MessageIcon::Plain);
    } catch (const std::system_error& e) {
        reporter.report(failureText(support::sj("ﾌｧｲﾙｱｸｾｽ異常"), e.what()), MessageIcon::Plain);
    } catch (const ArchiveError& e) {
        reporter.report(failureText(support::sj("ｱｰｶｲﾌﾞ異常"), e.what()), MessageIcon::Plain);
    } catch (const std::exception& e) {
        reporter.report(failureText(support::sj("例外発生"), e.what()), MessageIcon::Plain);
    }
    return ok;
}

// As reported(); a file that failed is then moved aside.
bool guarded(const std::string& path, ErrorReporter& reporter, const std::function<bool()>& job) {
    const bool ok = reported(reporter, job);
    if (!ok)
        moveAside(path);
    return ok;
}

// Data files grow to hundreds of megabytes; reading them 4096 bytes at a
// time would spend more on system calls than on the data.
constexpr size_t kReadBuffer = 256 * 1024;

// The data file opened for reading, and its size.
std::pair<support::UniqueFd, uint64_t> openForReading(const std::string& path,
                                                      const std::string& fsPath, bool exclusive) {
    support::OpenOptions options;
    options.mode = support::OpenMode::Read;
    options.exclusive = exclusive;
    options.limit = kOpenLimit;
    support::UniqueFd fd = support::openWithRetry(fsPath, options);
    if (!fd)
        throw openFailure(path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw std::system_error(errno, std::generic_category(), "fstat");
    return {std::move(fd), static_cast<uint64_t>(st.st_size)};
}

// Messages 131 and 130 for a file that is not read further; true for Ok.
bool reportStatus(ReadStatus status, ErrorReporter& reporter) {
    switch (status) {
        case ReadStatus::Ok:
            return true;
        case ReadStatus::BadSignature:
            reporter.report(support::sj("データファイルが読めません\n壊れている可能性があります\n"
                                        "新規に作成します"),
                            MessageIcon::Stop);
            return false;
        case ReadStatus::BadVersion:
            reporter.report(
                support::sj("このデータファイルのバージョンは読めません\n新規に作成します"),
                MessageIcon::Stop);
            return false;
    }
    return false;
}

bool loadFile(CustomerTree& tree, const std::string& path, const std::string& fsPath,
              ErrorReporter& reporter) {
    auto [fd, size] = openForReading(path, fsPath, true);
    FdReader in(fd.get(), size, kReadBuffer);
    in.onRefill([&reporter, total = size](uint64_t done) { reporter.fileProgress(done, total); });
    const ReadStatus status = readDataFile(in, tree);
    reporter.fileProgress(size, size);
    return reportStatus(status, reporter);
}

bool scanFile(DataFileOutline& outline, const ScanSelection& selection, const std::string& path,
              const std::string& fsPath, ErrorReporter& reporter) {
    auto [fd, size] = openForReading(path, fsPath, false);
    FdReader in(fd.get(), size, kReadBuffer);
    return reportStatus(scanDataFile(in, selection, outline), reporter);
}

bool saveFile(const CustomerTree& tree, const std::string& path, const std::string& fsPath,
              ErrorReporter& reporter) {
    // A folder that cannot be created shows up as the open failure below.
    support::CreateFolderPath(support::folderOf(path));
    support::OpenOptions options;
    options.mode = support::OpenMode::Write;
    options.exclusive = true;
    options.limit = kOpenLimit;
    ReplacingFile file;
    if (!file.open(fsPath, options))
        throw openFailure(path);
    std::string buffer;
    uint64_t written = 0;
    ArchiveWriter writer(&buffer, [&](const char* data, size_t size) {
        file.write(data, size);
        written += size;
        reporter.fileProgress(written, 0);
    });
    writeDataFile(tree, writer);
    writer.finish();
    file.commit();
    return true;
}

}  // namespace

std::string failureText(const std::string& kind, const std::string& description) {
    std::string shortened = description.substr(0, support::mbSafeLength(description, 99));
    return support::format("%s\n%s\n%s(%d)", kind.c_str(), shortened.c_str(), kModuleName,
                           kModuleLine);
}

std::string resolveDataPath(const std::string& path) {
    if (path.empty() || path[0] != '.')
        return path;
    return support::fromFsPath(support::programFolder()) + path.substr(1);
}

void moveAside(const std::string& path) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
    const std::string base = support::format("%s_%s", path.c_str(), stamp);
    // Two failures within one second must not let the second file replace
    // the first one moved aside: link() never replaces an existing name.
    const std::string from = support::toFsPath(path);
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return;  // only files are moved
    std::string target = base;
    int error = EEXIST;
    for (int n = 1; n < 1000 && error == EEXIST; ++n) {
        if (::link(from.c_str(), support::toFsPath(target).c_str()) == 0) {
            ::unlink(from.c_str());
            return;
        }
        error = errno;
        if (error == EEXIST)
            target = support::format("%s_%d", base.c_str(), n);
    }
    // Where links are not possible, a plain rename still moves the file.
    // Failing to move it is not worth a second message.
    if (error != EEXIST)
        std::rename(from.c_str(), support::toFsPath(target).c_str());
}

bool CustomerTree::load(const std::string& path, ErrorReporter& reporter) {
    const std::string resolved = resolveDataPath(path);
    customers.clear();
    const std::string fsPath = support::toFsPath(resolved);
    struct stat st {};
    if (::stat(fsPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return true;
    return guarded(resolved, reporter, [&] { return loadFile(*this, resolved, fsPath, reporter); });
}

bool CustomerTree::save(const std::string& path, ErrorReporter& reporter) const {
    const std::string resolved = resolveDataPath(path);
    const std::string fsPath = support::toFsPath(resolved);
    return guarded(resolved, reporter, [&] { return saveFile(*this, resolved, fsPath, reporter); });
}

bool scanDataFile(const std::string& path, const ScanSelection& selection, DataFileOutline& outline,
                  ErrorReporter& reporter) {
    const std::string resolved = resolveDataPath(path);
    outline.customers.clear();
    const std::string fsPath = support::toFsPath(resolved);
    struct stat st {};
    if (::stat(fsPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return true;
    return reported(reporter,
                    [&] { return scanFile(outline, selection, resolved, fsPath, reporter); });
}

}  // namespace plm::model
