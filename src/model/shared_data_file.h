#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/customer_tree.h"
#include "model/replacing_file.h"
#include "model/tree_merge.h"

// The data file as several programs share it (PLMView, plmtool, other
// installations on a shared folder). A writer reads, changes and writes under
// one exclusive lock and never writes over a version it has not read: a save
// that finds the file changed since it was read merges the other writer's
// changes in first (see tree_merge.h for the rules).
namespace plm::model {

// The conflicts of one save, put to the user at once.
struct ConflictQuestion {
    std::vector<MergeConflict> conflicts;
    // Stored path where the version not kept is written, whichever is chosen.
    std::string keptAsidePath;
};

// Unanswered: nobody was there to answer (the program is ending). The save
// then writes only this side's version, to the question's file, and leaves
// the data file as the other program wrote it.
enum class ConflictChoice { KeepMine, KeepTheirs, Unanswered };

using ConflictResolver = std::function<ConflictChoice(const ConflictQuestion&)>;

// What the user answered about one conflict of a save, and where the version
// that answer did not keep goes.
struct ConflictAnswer {
    MergeConflict conflict;
    ConflictChoice choice;
    std::string keptAsidePath;
};

// "データファイルが使用できません\n%s": shown where the program would have
// saved to a data file it could not open.
std::string dataFileUnavailableText(const std::string& path);

class SharedDataFile {
  public:
    // `path` is the stored (CP932) path; a leading "." means the program folder.
    // Every tree read from the file takes `devType`, the configured device type.
    explicit SharedDataFile(const std::string& path, int32_t devType = kDefaultDevType);

    // The resolved stored path.
    const std::string& path() const { return path_; }

    // Loads the file into `tree` and remembers the tree and what the file was
    // as the version last read. A damaged file is moved aside (reported with
    // where it went); a file that cannot be opened stays, is reported, and
    // makes the file unavailable until a later load succeeds. False after
    // any failure.
    bool load(CustomerTree& tree, ErrorReporter& reporter);

    // False after a failed open: the program then saves nothing to the file.
    bool available() const { return available_; }

    // Another program wrote (or removed) the file since it was last read or saved here.
    bool changedOnDisk() const;

    // `tree` is not what was last loaded or saved.
    bool differsFromLastRead(const CustomerTree& tree) const;

    // Writes `tree` under the exclusive lock. When the file changed since it
    // was last read, the version on disk is read under that lock and merged
    // with `tree`; conflicts go to `resolve` (without one, this side is kept)
    // with the lock let go while it decides. The file is then locked and
    // checked again: when another program wrote it meanwhile, the merge is
    // made again and only conflicts not answered yet are asked. The version
    // not kept is written to the path the question names before the data
    // file is written. `tree` becomes what was written. A question left
    // unanswered writes `tree` to the question's file, says so, and gives
    // false with the data file untouched.
    // Failures are reported and give false, the file staying as it was; an
    // unavailable file is not written ("データファイルが使用できません").
    bool save(CustomerTree& tree, ErrorReporter& reporter, const ConflictResolver& resolve = {});

    // For a writer without a tree of its own (plmtool register, import):
    // locks, reads the file, applies `change` and writes the result, all under
    // one lock. A damaged file is moved aside and nothing is written; a
    // failure of `change` (an exception) writes nothing either.
    bool update(const std::function<void(CustomerTree&)>& change, ErrorReporter& reporter);

  private:
    // What one save has learnt over its holds of the lock.
    struct SaveRound {
        std::vector<ConflictAnswer> answers;
        std::optional<ConflictQuestion> question;
        std::optional<CustomerTree> theirs;  // the version on disk last read
        FileIdentity theirsIdentity;
    };

    bool saveUnderLock(CustomerTree& tree, ErrorReporter& reporter, const ConflictResolver& resolve,
                       SaveRound& round);
    CustomerTree readTheirs(int fd, const FileIdentity& identity, ErrorReporter& reporter,
                            SaveRound& round);
    void keepUnanswered(const CustomerTree& mine, const ConflictQuestion& question,
                        ErrorReporter& reporter) const;
    void keepAside(const CustomerTree& mine, const CustomerTree& theirs,
                   const std::vector<ConflictAnswer>& answers, ErrorReporter& reporter) const;

    std::string path_;
    int32_t devType_;
    CustomerTree base_;
    FileIdentity identity_;
    bool available_ = true;
};

}  // namespace plm::model
