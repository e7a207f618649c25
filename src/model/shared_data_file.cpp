#include "model/shared_data_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "model/backup_folder.h"
#include "model/data_file.h"
#include "support/cx_exception.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::model {
namespace {

bool sameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
}

// The data file opened for writing and exclusively locked for one
// read-change-write cycle. A missing file is created empty to carry the lock;
// that placeholder is removed again unless a commit replaced it.
class HeldDataFile {
  public:
    HeldDataFile(const std::string& path, const std::string& fsPath)
        : path_(path), fsPath_(fsPath) {
        // A folder that cannot be created shows up as the open failure below.
        support::CreateFolderPath(support::folderOf(path));
        support::LockWait wait(fsPath, kDataFileOpenLimit);
        while (!tryLock(wait)) {
            if (!wait.pause())
                throw openFailure(path_);
        }
    }
    ~HeldDataFile() {
        if (created_ && !committed_ && sameFile(identityOfFd(fd_.get()), identityAtPath(fsPath_)))
            ::unlink(fsPath_.c_str());
    }
    HeldDataFile(const HeldDataFile&) = delete;
    HeldDataFile& operator=(const HeldDataFile&) = delete;

    int fd() const { return fd_.get(); }
    // Nothing to read: created here, or left empty by a writer that was killed.
    bool empty() const { return created_ || identityOfFd(fd_.get()).size == 0; }
    FileIdentity identity() const { return identityOfFd(fd_.get()); }

    FileIdentity commit(const CustomerTree& tree, ErrorReporter& progress) {
        ReplacingFile file;
        // A second descriptor of the same open file shares its lock, which
        // this object keeps until it ends.
        if (!file.openLocked(fsPath_, support::UniqueFd(::dup(fd_.get()))))
            throw openFailure(path_, errno);
        keepBackup(BackupKind::DataFile, fsPath_, fd_.get(), &progress);
        const FileIdentity written = writeDataFile(tree, file, &progress);
        committed_ = true;
        return written;
    }

  private:
    // True when the lock is held on the file now at the path.
    bool tryLock(support::LockWait& wait) {
        if (!isRegularOrMissing(fsPath_))
            throw openFailure(path_, errno);
        support::OpenOptions options;
        options.mode = support::OpenMode::ReadWrite;
        options.exclusive = true;
        options.wait = &wait;
        fd_ = support::openWithRetry(fsPath_, options);
        created_ = false;
        if (!fd_) {
            if (errno != ENOENT)
                throw openFailure(path_, errno);
            fd_.reset(::open(fsPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (!fd_ && errno != EEXIST)
                throw openFailure(path_, errno);
            // Another writer that opened it first has the lock: wait for it.
            if (!fd_ || flock(fd_.get(), LOCK_EX | LOCK_NB) != 0)
                return false;
            created_ = true;
        }
        return sameFile(identityOfFd(fd_.get()), identityAtPath(fsPath_));
    }

    std::string path_;
    std::string fsPath_;
    support::UniqueFd fd_;
    bool created_ = false;
    bool committed_ = false;
};

// "<path>_conflict_%Y%m%d%H%M%S", with "_<n>" when that name is taken.
std::string conflictPath(const std::string& path) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
    const std::string base = support::format("%s_conflict_%s", path.c_str(), stamp);
    std::string candidate = base;
    for (int n = 1; identityAtPath(support::toFsPath(candidate)).exists; ++n)
        candidate = support::format("%s_%d", base.c_str(), n);
    return candidate;
}

}  // namespace

std::string dataFileUnavailableText(const std::string& path) {
    return support::format(support::sj("データファイルが使用できません\n%s").c_str(), path.c_str());
}

SharedDataFile::SharedDataFile(const std::string& path) : path_(resolveDataPath(path)) {}

bool SharedDataFile::load(CustomerTree& tree, ErrorReporter& reporter) {
    FileIdentity identity;
    switch (loadDataFile(tree, path_, reporter, DamagedFile::MoveAside, identity)) {
        case LoadOutcome::Loaded:
        case LoadOutcome::Missing:
            base_ = tree;
            identity_ = identity;
            available_ = true;
            return true;
        case LoadOutcome::Damaged:
            // The customers read before the damage are written to a new file
            // by the next save, unless the damaged one could not be moved.
            base_ = tree;
            identity_ = identityAtPath(support::toFsPath(path_));
            available_ = !identity_.exists;
            return false;
        case LoadOutcome::Unavailable:
            available_ = false;
            return false;
    }
    return false;
}

bool SharedDataFile::changedOnDisk() const {
    return identityAtPath(support::toFsPath(path_)) != identity_;
}

bool SharedDataFile::differsFromLastRead(const CustomerTree& tree) const {
    return !sameTree(tree, base_);
}

bool SharedDataFile::save(CustomerTree& tree, ErrorReporter& reporter,
                          const ConflictResolver& resolve) {
    if (!available_) {
        reporter.report(dataFileUnavailableText(path_), MessageIcon::Information);
        return false;
    }
    return reportingFailures(reporter, [&] {
        HeldDataFile held(path_, support::toFsPath(path_));
        CustomerTree result = tree;
        if (!held.empty() && held.identity() != identity_) {
            CustomerTree theirs;
            switch (readHeldDataFile(held.fd(), theirs, path_, reporter, DamagedFile::MoveAside)) {
                case LoadOutcome::Loaded:
                    break;
                case LoadOutcome::Damaged:
                    // Reported; a damaged file that could not be moved aside
                    // is not written over. Nothing of it can be merged.
                    if (sameFile(held.identity(), identityAtPath(support::toFsPath(path_))))
                        throw CxException();
                    theirs = base_;
                    break;
                default:
                    throw CxException();
            }
            MergeResult merged = mergeTrees(base_, tree, theirs, MergeSide::Mine);
            if (!merged.conflicts.empty()) {
                ConflictQuestion question{merged.conflicts, conflictPath(path_)};
                const ConflictChoice choice =
                    resolve ? resolve(question) : ConflictChoice::KeepMine;
                if (choice == ConflictChoice::KeepTheirs)
                    merged = mergeTrees(base_, tree, theirs, MergeSide::Theirs);
                const CustomerTree& notKept = choice == ConflictChoice::KeepMine ? theirs : tree;
                if (!notKept.save(question.keptAsidePath, reporter))
                    throw CxException();
            }
            result = std::move(merged.tree);
        }
        identity_ = held.commit(result, reporter);
        base_ = result;
        tree = std::move(result);
    });
}

bool SharedDataFile::update(const std::function<void(CustomerTree&)>& change,
                            ErrorReporter& reporter) {
    if (!available_) {
        reporter.report(dataFileUnavailableText(path_), MessageIcon::Information);
        return false;
    }
    return reportingFailures(reporter, [&] {
        HeldDataFile held(path_, support::toFsPath(path_));
        CustomerTree tree;
        if (!held.empty() && readHeldDataFile(held.fd(), tree, path_, reporter,
                                              DamagedFile::MoveAside) != LoadOutcome::Loaded) {
            throw CxException();
        }
        change(tree);
        identity_ = held.commit(tree, reporter);
        base_ = std::move(tree);
    });
}

}  // namespace plm::model
