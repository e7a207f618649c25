#include "model/shared_data_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

}  // namespace

std::string dataFileUnavailableText(const std::string& path) {
    return support::format(support::sj("データファイルが使用できません\n%s").c_str(), path.c_str());
}

SharedDataFile::SharedDataFile(const std::string& path, int32_t devType)
    : path_(resolveDataPath(path)), devType_(devType) {
    base_.devType = devType;
}

bool SharedDataFile::load(CustomerTree& tree, ErrorReporter& reporter) {
    FileIdentity identity;
    tree.devType = devType_;
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

namespace {

bool sameConflict(const MergeConflict& a, const MergeConflict& b) {
    return a.kind == b.kind && a.customer == b.customer && a.circuit == b.circuit &&
           a.name == b.name;
}

const ConflictAnswer* answerFor(const std::vector<ConflictAnswer>& answers,
                                const MergeConflict& conflict) {
    for (const ConflictAnswer& a : answers)
        if (sameConflict(a.conflict, conflict))
            return &a;
    return nullptr;
}

std::vector<MergeConflict> unanswered(const std::vector<MergeConflict>& conflicts,
                                      const std::vector<ConflictAnswer>& answers) {
    std::vector<MergeConflict> fresh;
    for (const MergeConflict& c : conflicts)
        if (!answerFor(answers, c))
            fresh.push_back(c);
    return fresh;
}

// Puts the measurement name of `conflict` into `into` as `from` has it, or
// takes it out when `from` has none.
void takeNameFrom(const CustomerTree& from, CustomerTree& into, const MergeConflict& conflict) {
    if (const MeasurementName* source =
            findMeasurementName(from, conflict.customer, conflict.circuit, conflict.name)) {
        findOrAddMeasurementName(into, conflict.customer, conflict.circuit, conflict.name).records =
            source->records;
        return;
    }
    Customer* customer = into.customers.get(conflict.customer);
    TestCircuit* circuit = customer ? customer->circuits.get(conflict.circuit) : nullptr;
    const int at = circuit ? circuit->names.find(conflict.name) : -1;
    if (at >= 0)
        circuit->names.removeAt(at);
}

// The merge in which every conflicting measurement name takes the list of the
// side its answer kept.
CustomerTree resolvedMerge(const CustomerTree& base, const CustomerTree& mine,
                           const CustomerTree& theirs, MergeResult preferMine,
                           const std::vector<ConflictAnswer>& answers) {
    std::vector<MergeConflict> keepTheirs;
    for (const MergeConflict& c : preferMine.conflicts)
        if (answerFor(answers, c)->choice == ConflictChoice::KeepTheirs)
            keepTheirs.push_back(c);
    if (keepTheirs.empty())
        return std::move(preferMine.tree);
    MergeResult preferTheirs = mergeTrees(base, mine, theirs, MergeSide::Theirs);
    if (keepTheirs.size() == preferMine.conflicts.size())
        return std::move(preferTheirs.tree);
    for (const MergeConflict& c : keepTheirs)
        takeNameFrom(preferTheirs.tree, preferMine.tree, c);
    return std::move(preferMine.tree);
}

bool pathTaken(const std::vector<ConflictAnswer>& answers, const std::string& path) {
    for (const ConflictAnswer& a : answers)
        if (a.keptAsidePath == path)
            return true;
    return identityAtPath(support::toFsPath(path)).exists;
}

// "<path>_conflict_%Y%m%d%H%M%S", with "_<n>" when that name is taken on disk
// or by an earlier question of the same save.
std::string conflictPath(const std::string& path, const std::vector<ConflictAnswer>& answers) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
    const std::string base = support::format("%s_conflict_%s", path.c_str(), stamp);
    std::string candidate = base;
    for (int n = 1; pathTaken(answers, candidate); ++n)
        candidate = support::format("%s_%d", base.c_str(), n);
    return candidate;
}

}  // namespace

CustomerTree SharedDataFile::readTheirs(int fd, const FileIdentity& identity,
                                        ErrorReporter& reporter, SaveRound& round) {
    if (round.theirs && round.theirsIdentity == identity)
        return *round.theirs;
    CustomerTree theirs;
    theirs.devType = devType_;
    switch (readHeldDataFile(fd, theirs, path_, reporter, DamagedFile::MoveAside)) {
        case LoadOutcome::Loaded:
            break;
        case LoadOutcome::Damaged:
            // Reported; a damaged file that could not be moved aside is not
            // written over. Nothing of it can be merged.
            if (sameFile(identity, identityAtPath(support::toFsPath(path_))))
                throw CxException();
            theirs = base_;
            break;
        default:
            throw CxException();
    }
    round.theirs = theirs;
    round.theirsIdentity = identity;
    return theirs;
}

// Writes, for every question asked, the version its answer did not keep.
void SharedDataFile::keepAside(const CustomerTree& mine, const CustomerTree& theirs,
                               const std::vector<ConflictAnswer>& answers,
                               ErrorReporter& reporter) const {
    std::vector<std::string> written;
    for (const ConflictAnswer& a : answers) {
        if (std::find(written.begin(), written.end(), a.keptAsidePath) != written.end())
            continue;
        const CustomerTree& notKept = a.choice == ConflictChoice::KeepMine ? theirs : mine;
        if (!notKept.save(a.keptAsidePath, reporter))
            throw CxException();
        written.push_back(a.keptAsidePath);
    }
}

void SharedDataFile::keepUnanswered(const CustomerTree& mine, const ConflictQuestion& question,
                                    ErrorReporter& reporter) const {
    if (!mine.save(question.keptAsidePath, reporter))
        throw CxException();
    reporter.report(
        support::format(support::sj("変更の競合に答えがないまま終了します。データファイル"
                                    "は他のプログラムの変更のままです。\n"
                                    "こちらの変更は次のファイルに保存しました\n%s")
                            .c_str(),
                        question.keptAsidePath.c_str()),
        MessageIcon::Information);
}

bool SharedDataFile::save(CustomerTree& tree, ErrorReporter& reporter,
                          const ConflictResolver& resolve) {
    if (!available_) {
        reporter.report(dataFileUnavailableText(path_), MessageIcon::Information);
        return false;
    }
    bool unanswered = false;
    const bool ok = reportingFailures(reporter, [&] {
        SaveRound round;
        while (!saveUnderLock(tree, reporter, resolve, round)) {
            const ConflictChoice choice = resolve(*round.question);
            if (choice == ConflictChoice::Unanswered) {
                keepUnanswered(tree, *round.question, reporter);
                unanswered = true;
                return;
            }
            for (const MergeConflict& c : round.question->conflicts)
                round.answers.push_back({c, choice, round.question->keptAsidePath});
            round.question.reset();
        }
    });
    return ok && !unanswered;
}

// One hold of the lock: merges what is on disk and writes. When the merge
// finds conflicts not answered yet, the question is left in `round` and
// nothing is written: the lock is let go while the user decides, so no other
// program waits for the answer, and the next hold checks the file again.
bool SharedDataFile::saveUnderLock(CustomerTree& tree, ErrorReporter& reporter,
                                   const ConflictResolver& resolve, SaveRound& round) {
    HeldDataFile held(path_, support::toFsPath(path_));
    CustomerTree result = tree;
    if (!held.empty() && held.identity() != identity_) {
        const CustomerTree theirs = readTheirs(held.fd(), held.identity(), reporter, round);
        MergeResult merged = mergeTrees(base_, tree, theirs, MergeSide::Mine);
        std::vector<MergeConflict> fresh = unanswered(merged.conflicts, round.answers);
        if (!fresh.empty()) {
            if (resolve) {
                round.question =
                    ConflictQuestion{std::move(fresh), conflictPath(path_, round.answers)};
                return false;
            }
            const std::string aside = conflictPath(path_, round.answers);
            for (const MergeConflict& c : fresh)
                round.answers.push_back({c, ConflictChoice::KeepMine, aside});
        }
        if (!merged.conflicts.empty())
            keepAside(tree, theirs, round.answers, reporter);
        result = resolvedMerge(base_, tree, theirs, std::move(merged), round.answers);
    }
    identity_ = held.commit(result, reporter);
    base_ = result;
    tree = std::move(result);
    return true;
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
        tree.devType = devType_;
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
