#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <new>
#include <system_error>

#include "model/archive_io.h"
#include "model/data_file.h"
#include "model/data_file_scan.h"
#include "model/name_join.h"
#include "model/replacing_file.h"
#include "support/cx_exception.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::model {
namespace {

constexpr const char* kModuleName = ".\\DAT_CUSTOMER";
constexpr int kModuleLine = 181;

// Data files grow to hundreds of megabytes; reading them 4096 bytes at a
// time would spend more on system calls than on the data.
constexpr size_t kReadBuffer = 256 * 1024;

// The lock of the regular file now at fsPath: a writer that renamed a new
// file over it while this one waited leaves the lock on a file nobody reads.
// Readers that change nothing (a scan) share the lock with each other.
support::UniqueFd lockCurrentFile(const std::string& fsPath, bool exclusive = true) {
    support::OpenOptions options;
    options.mode = support::OpenMode::Read;
    options.exclusive = exclusive;
    options.limit = kDataFileOpenLimit;
    return support::openCurrent(fsPath, options);
}

std::string movedAsideNote(const std::string& movedTo) {
    if (movedTo.empty())
        return {};
    return "\n" + support::format(support::sj("元のファイルは次の名前に変更しました\n%s").c_str(),
                                  movedTo.c_str());
}

// The designed message of a damaged file, and where it went.
void reportDamaged(const std::string& message, MessageIcon icon, const std::string& path,
                   ErrorReporter& reporter, DamagedFile damaged) {
    const std::string movedTo = damaged == DamagedFile::MoveAside ? moveAside(path) : std::string();
    reporter.report(message + movedAsideNote(movedTo), icon);
}

void saveFile(const CustomerTree& tree, const std::string& path, const std::string& fsPath,
              ErrorReporter& reporter) {
    // A folder that cannot be created shows up as the open failure below.
    support::CreateFolderPath(support::folderOf(path));
    support::OpenOptions options;
    options.mode = support::OpenMode::Write;
    options.exclusive = true;
    options.limit = kDataFileOpenLimit;
    ReplacingFile file;
    if (!file.open(fsPath, options))
        throw openFailure(path, errno);
    writeDataFile(tree, file, &reporter);
}

using ContentReader = std::function<ReadStatus(ArchiveReader&, NameJoins&)>;

// Reads the file held open on fd from its start with `read`; the rules of
// loadDataFile for a damaged file.
LoadOutcome readHeldContent(int fd, const std::string& path, ErrorReporter& reporter,
                            DamagedFile damaged,
                            const std::function<ReadStatus(ArchiveReader&)>& read) {
    ReadStatus status = ReadStatus::Ok;
    std::string archiveFailure;
    const bool opened = reportingFailures(reporter, [&] {
        const FileIdentity identity = identityOfFd(fd);
        if (::lseek(fd, 0, SEEK_SET) != 0)
            throw std::system_error(errno, std::generic_category(), "lseek");
        const auto size = static_cast<uint64_t>(identity.size);
        FdReader in(fd, size, kReadBuffer);
        in.onRefill([&reporter, size](uint64_t done) { reporter.fileProgress(done, size); });
        try {
            status = read(in);
        } catch (const ArchiveError& e) {
            archiveFailure = failureText(support::sj("ｱｰｶｲﾌﾞ異常"), e.what());
        }
        reporter.fileProgress(size, size);
    });
    if (!opened)
        return LoadOutcome::Unavailable;
    if (!archiveFailure.empty()) {
        reportDamaged(archiveFailure, MessageIcon::Plain, path, reporter, damaged);
        return LoadOutcome::Damaged;
    }
    switch (status) {
        case ReadStatus::Ok:
            return LoadOutcome::Loaded;
        case ReadStatus::BadSignature:
            reportDamaged(support::sj("データファイルが読めません\n壊れている可能性があります\n"
                                      "新規に作成します"),
                          MessageIcon::Stop, path, reporter, damaged);
            break;
        case ReadStatus::BadVersion:
            reportDamaged(
                support::sj("このデータファイルのバージョンは読めません\n新規に作成します"),
                MessageIcon::Stop, path, reporter, damaged);
            break;
    }
    return LoadOutcome::Damaged;
}

// Reads the file held open on fd from its start with `read`; the rules of
// loadDataFile for a damaged file. Names joined by a read that succeeded are
// told once.
LoadOutcome readHeld(int fd, const std::string& path, ErrorReporter& reporter, DamagedFile damaged,
                     const ContentReader& read) {
    NameJoins joins;
    const LoadOutcome outcome = readHeldContent(fd, path, reporter, damaged,
                                                [&](ArchiveReader& in) { return read(in, joins); });
    if (outcome == LoadOutcome::Loaded && !joins.empty())
        reporter.report(joins.message(), MessageIcon::Plain);
    return outcome;
}

// Opens the file at the resolved stored path under its lock and reads it with
// `read`: a missing file, a folder, a device or a file that cannot be opened
// as loadDataFile describes.
LoadOutcome readDataFileAt(const std::string& path, ErrorReporter& reporter, DamagedFile damaged,
                           bool exclusive, FileIdentity& identity, const ContentReader& read) {
    identity = {};
    const std::string fsPath = support::toFsPath(path);
    struct stat st {};
    struct stat link {};
    if (::lstat(fsPath.c_str(), &link) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return LoadOutcome::Missing;
    // A link that leads nowhere or in a loop is not a missing file: the save
    // that follows must not create a data file where it points.
    if (::stat(fsPath.c_str(), &st) != 0) {
        reporter.report(openFailure(path, errno).text(), MessageIcon::Information);
        return LoadOutcome::Unavailable;
    }
    if (S_ISDIR(st.st_mode))
        return LoadOutcome::Missing;
    // A device or a FIFO would block or never end: it is no data file, and
    // it is left where it is.
    support::UniqueFd fd;
    if (S_ISREG(st.st_mode))
        fd = lockCurrentFile(fsPath, exclusive);
    if (!fd) {
        if (errno == ENOENT && S_ISREG(st.st_mode))
            return LoadOutcome::Missing;
        reporter.report(openFailure(path).text(), MessageIcon::Information);
        return LoadOutcome::Unavailable;
    }
    identity = identityOfFd(fd.get());
    return readHeld(fd.get(), path, reporter, damaged, read);
}

}  // namespace

CxException openFailure(const std::string& path) {
    return CxException(
        support::format(support::sj("ファイルを開くことが出来ません\n%s").c_str(), path.c_str()));
}

std::string openFailureReason(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return support::sj("アクセスが拒否されました");
        case EROFS:
            return support::sj("読み取り専用のファイルシステムです");
        case ENOSPC:
        case EDQUOT:
            return support::sj("ディスクの空き容量が不足しています");
        case ELOOP:
            return support::sj("シンボリックリンクが循環しています");
        case ENOENT:
            return support::sj("ファイルまたはフォルダがありません");
        case ENOTDIR:
            return support::sj("フォルダではないものがパスにあります");
        case EISDIR:
        case EINVAL:
            return support::sj("通常のファイルではありません");
        case EAGAIN:
        case EBUSY:
            return support::sj("他のプログラムが使用中です");
        default:
            return support::fromUtf8(std::strerror(error));
    }
}

CxException openFailure(const std::string& path, int error) {
    return CxException(openFailure(path).text() + "\n" + openFailureReason(error));
}

bool reportingFailures(ErrorReporter& reporter, const std::function<void()>& job) {
    try {
        job();
        return true;
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
    return false;
}

FileIdentity writeDataFile(const CustomerTree& tree, ReplacingFile& file, ErrorReporter* progress) {
    std::string buffer;
    uint64_t written = 0;
    ArchiveWriter writer(&buffer, [&](const char* data, size_t size) {
        file.write(data, size);
        written += size;
        if (progress)
            progress->fileProgress(written, 0);
    });
    writeDataFile(tree, writer);
    writer.finish();
    return file.commit();
}

LoadOutcome readHeldDataFile(int fd, CustomerTree& tree, const std::string& path,
                             ErrorReporter& reporter, DamagedFile damaged) {
    return readHeld(fd, path, reporter, damaged, [&](ArchiveReader& in, NameJoins& joins) {
        return readDataFile(in, tree, joins);
    });
}

LoadOutcome loadDataFile(CustomerTree& tree, const std::string& path, ErrorReporter& reporter,
                         DamagedFile damaged, FileIdentity& identity) {
    tree.customers.clear();
    return readDataFileAt(
        path, reporter, damaged, true, identity,
        [&](ArchiveReader& in, NameJoins& joins) { return readDataFile(in, tree, joins); });
}

bool scanDataFile(const std::string& path, const ScanSelection& selection, DataFileOutline& outline,
                  ErrorReporter& reporter) {
    outline.customers.clear();
    FileIdentity identity;
    const ContentReader scan = [&](ArchiveReader& in, NameJoins& joins) {
        const ReadStatus status = scanDataFile(in, selection, outline);
        joins = outline.joins;
        return status;
    };
    const LoadOutcome outcome =
        readDataFileAt(resolveDataPath(path), reporter, DamagedFile::Leave, false, identity, scan);
    return outcome == LoadOutcome::Loaded || outcome == LoadOutcome::Missing;
}

std::string failureText(const std::string& kind, const std::string& description) {
    std::string shortened = description.substr(0, support::mbSafeLength(description, 99));
    return support::format("%s\n%s\n%s(%d)", kind.c_str(), shortened.c_str(), kModuleName,
                           kModuleLine);
}

std::string resolveDataPath(const std::string& path) {
    const std::string full = path.empty() || path[0] != '.'
                                 ? path
                                 : support::fromFsPath(support::programFolder()) + path.substr(1);
    // Messages show the path the way the file system names it, with one
    // kind of separator.
    return full.empty() ? full : support::fromFsPath(support::toFsPath(full));
}

std::string moveAside(const std::string& path) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
    const std::string base = support::format("%s_%s", path.c_str(), stamp);
    const std::string from = support::toFsPath(path);
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    // Two failures within one second must not let the second file replace
    // the first one moved aside: link() never replaces an existing name.
    std::string target = base;
    int error = EEXIST;
    for (int n = 1; n < 1000 && error == EEXIST; ++n) {
        if (::link(from.c_str(), support::toFsPath(target).c_str()) == 0) {
            ::unlink(from.c_str());
            return target;
        }
        error = errno;
        if (error == EEXIST)
            target = support::format("%s_%d", base.c_str(), n);
    }
    // Where links are not possible, a plain rename still moves the file.
    if (error != EEXIST && std::rename(from.c_str(), support::toFsPath(target).c_str()) == 0)
        return target;
    return {};
}

bool CustomerTree::load(const std::string& path, ErrorReporter& reporter, DamagedFile damaged) {
    FileIdentity identity;
    const LoadOutcome outcome =
        loadDataFile(*this, resolveDataPath(path), reporter, damaged, identity);
    return outcome == LoadOutcome::Loaded || outcome == LoadOutcome::Missing;
}

bool CustomerTree::save(const std::string& path, ErrorReporter& reporter) const {
    const std::string resolved = resolveDataPath(path);
    const std::string fsPath = support::toFsPath(resolved);
    return reportingFailures(reporter, [&] { saveFile(*this, resolved, fsPath, reporter); });
}

}  // namespace plm::model
