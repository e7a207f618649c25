#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/customer_tree.h"
#include "model/record_register.h"
#include "model/tree_edit.h"

// The edits of the data management sheet as changes that can be taken back.
// apply() makes a change; revert() takes it back from the tree exactly as
// apply() left it, so changes are taken back newest first; apply() after
// revert() makes it again. Either way the tree saves to the same bytes as
// before. What a change takes out of the tree it keeps by move, so taking
// back the delete of a large subtree copies none of it.
namespace plm::model {

class TreeChange {
  public:
    virtual ~TreeChange() = default;
    // Refused with CxException when the change cannot be made; the tree then
    // stays as it was.
    virtual void apply(CustomerTree& tree) = 0;
    virtual void revert(CustomerTree& tree) = 0;
};

// Where a measurement name is: its position and those of its parents.
struct NamePath {
    int customer = -1;
    int circuit = -1;
    int name = -1;
};

// The measurement name at `path`; std::out_of_range when there is none.
MeasurementName& nameAtPath(CustomerTree& tree, NamePath path);
const MeasurementName& nameAtPath(const CustomerTree& tree, NamePath path);

// Adds a name (nothing changes when the name is there already).
class AddNameChange : public TreeChange {
  public:
    AddNameChange(TreeLevel level, TreeParents parents, std::string name);
    void apply(CustomerTree& tree) override;
    void revert(CustomerTree& tree) override;
    // The name's sorted position, after apply().
    int position() const { return position_; }

  private:
    TreeLevel level_;
    TreeParents parents_;
    std::string name_;
    int position_ = -1;
    bool added_ = false;
};

// Deletes a name with its whole subtree.
class RemoveNameChange : public TreeChange {
  public:
    RemoveNameChange(TreeLevel level, TreeParents parents, int position);
    void apply(CustomerTree& tree) override;
    void revert(CustomerTree& tree) override;

  private:
    TreeLevel level_;
    TreeParents parents_;
    int position_;
    std::optional<TakenName> taken_;
};

// Renames a name; refused as renameName refuses (`levelLabel` names the level).
class RenameNameChange : public TreeChange {
  public:
    RenameNameChange(TreeLevel level, TreeParents parents, int position, std::string newName,
                     std::string levelLabel);
    void apply(CustomerTree& tree) override;
    void revert(CustomerTree& tree) override;
    // The name's sorted position after apply().
    int newPosition() const { return newPosition_; }

  private:
    TreeLevel level_;
    TreeParents parents_;
    int position_;
    std::string newName_;
    std::string levelLabel_;
    std::string oldName_;
    int newPosition_ = -1;
};

// Deletes the measurements at `rows` (ascending); the others keep their numbers.
class RemoveRecordsChange : public TreeChange {
  public:
    RemoveRecordsChange(NamePath path, std::vector<int> rows);
    void apply(CustomerTree& tree) override;
    void revert(CustomerTree& tree) override;

  private:
    NamePath path_;
    std::vector<int> rows_;
    std::vector<MeasurementRecord> removed_;  // in the order of rows_
};

// moveRecords from one name (rows ascending) to another or the same one.
class MoveRecordsChange : public TreeChange {
  public:
    MoveRecordsChange(NamePath source, std::vector<int> rows, NamePath target);
    void apply(CustomerTree& tree) override;
    void revert(CustomerTree& tree) override;

  private:
    NamePath source_;
    std::vector<int> rows_;
    NamePath target_;
    std::vector<int> sourceNumbers_;
    std::vector<int> targetNumbers_;
    std::vector<int> origin_;
};

// registerRecords: the template's conditions are those of the name as it is
// when the change is made.
class RegisterRecordsChange : public TreeChange {
  public:
    RegisterRecordsChange(const CustomerTree& tree, NamePath path,
                          std::vector<MeasurementRecord> records, RegisterMode mode,
                          const settings::AppSettings& settings);
    void apply(CustomerTree& tree) override;
    void revert(CustomerTree& tree) override;
    RegisterMode mode() const { return mode_; }

  private:
    NamePath path_;
    std::vector<MeasurementRecord> records_;
    RegisterMode mode_;
    TestConditions conditions_;
    std::vector<int> numbers_;
    Filing filing_;
};

// Gives the measurements at `rows` the conditions `conditions` (one for each row).
class SetConditionsChange : public TreeChange {
  public:
    SetConditionsChange(NamePath path, std::vector<int> rows,
                        std::vector<TestConditions> conditions);
    void apply(CustomerTree& tree) override;
    void revert(CustomerTree& tree) override;
    // False when the measurements have these conditions already.
    bool changes(const CustomerTree& tree) const;

  private:
    void swap(CustomerTree& tree);

    NamePath path_;
    std::vector<int> rows_;
    std::vector<TestConditions> conditions_;  // the other side's conditions
};

// Gives the measurement at `row` another start date and time; it keeps its
// position.
class SetStartChange : public TreeChange {
  public:
    SetStartChange(NamePath path, int row, support::DateTimeValue start);
    void apply(CustomerTree& tree) override;
    void revert(CustomerTree& tree) override;
    bool changes(const CustomerTree& tree) const;

  private:
    void swap(CustomerTree& tree);

    NamePath path_;
    int row_;
    support::DateTimeValue start_;  // the other side's date and time
};

}  // namespace plm::model
