#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/data_sheet/data_sheet.h"
#include "app/data_sheet/mgmt_columns.h"
#include "model/customer_tree.h"
#include "model/tree_change.h"
#include "model/tree_edit.h"

class QAction;
class QGroupBox;
class QLabel;
class QPushButton;
class QTreeView;
class QUndoStack;

namespace plm::app {

class DetailEditor;
class NameListModel;
class RecordTableModel;
class TransferPage;

// The data management page (CPgMstEdit), "需要家データ編集": the customer tree as three linked name
// lists, the measurements of the chosen name, the detail editor of their conditions and, in
// transfer mode, the list of freshly received measurements. Every change goes straight into the
// tree the page was given, as one command on the page's undo stack; the caller decides whether
// that tree is kept.
class CPgMstEdit : public QWidget {
    Q_OBJECT
  public:
    // Control ids of the page's buttons.
    enum ButtonId {
        AddCustomer = 1029,
        DeleteCustomer = 1030,
        AddCircuit = 1031,
        DeleteCircuit = 1032,
        AddName = 1033,
        DeleteName = 1034,
        DeleteRecords = 1035,
        MoveRecords = 1040,
        Register = 1014,
        StartTransfer = 1026,
        ReadFile = 1036,
    };

    // `settings` give the captions and columns and take the defaults the
    // detail editor leaves.
    CPgMstEdit(SheetMode mode, settings::AppSettings& settings, model::CustomerTree& tree,
               const Selection& in, QWidget* parent = nullptr);
    ~CPgMstEdit() override;

    SheetMode mode() const { return mode_; }

    // Sorted positions of the current selection; -1 where nothing is selected
    // (a circuit counts only under a selected customer, a name only under a
    // selected circuit).
    int currentCustomer() const;
    int currentCircuit() const;
    int currentName() const;
    // Selected measurement positions, ascending.
    std::vector<int> selectedRecords() const;

    // The selection handed back when the sheet closes with OK.
    Selection selectionOut() const;
    // False (after telling the user) when the sheet must stay open.
    bool canClose();
    // False when received measurements are still unregistered and the user
    // chose to keep the sheet open (transfer mode; always true otherwise).
    bool mayDiscardReceived();
    // False when the tree differs from the one the sheet opened on (the undo
    // stack is not clean) and the user chose to keep the sheet open rather
    // than throw the changes away.
    bool mayDiscardEdits();

    // Selecting by position, as a click on the list does.
    void selectCustomer(int position);
    void selectCircuit(int position);
    void selectName(int position);
    void selectRecords(const std::vector<int>& positions);

    // The page's parts, for the sheet and for tests.
    QTreeView* nameList(int level) const { return nameViews_.at(level); }
    QTreeView* recordList() const { return recordView_; }
    RecordTableModel* recordModel() const { return recordModel_; }
    DetailEditor* detailEditor() const { return detail_; }
    TransferPage* transferPage() const { return transfer_; }
    QLabel* caption() const { return caption_; }
    QPushButton* button(ButtonId id) const;
    QUndoStack* undoStack() const { return undoStack_; }
    QPushButton* undoButton() const { return undoButton_; }
    QPushButton* redoButton() const { return redoButton_; }
    // Ctrl+Z, and Ctrl+Shift+Z or Ctrl+Y; also the page's context menu.
    QAction* undoAction() const { return undoAction_; }
    QAction* redoAction() const { return redoAction_; }

  signals:
    // A double click on a measurement in display mode: close as with OK.
    void okRequested();

  private:
    // What the page shows: the positions of the chosen names and measurements.
    struct View {
        int customer = -1;
        int circuit = -1;
        int name = -1;
        std::vector<int> records;
    };

    void buildControls();
    void buildUndo();
    void updateUndoTexts();
    QWidget* buildNameColumn(int level);
    void applyMode();
    void applyInitialSelection(const Selection& in);

    model::MeasurementName* currentNameNode() const;
    model::NamePath currentPath() const;
    View currentView() const;
    void showView(const View& view);
    // Puts a change the page has made already on the undo stack; `before` is
    // what the page showed before it, and what it shows now is shown after a
    // redo. `alongside` is called after the tree changed back (false) or again (true).
    void recordChange(std::unique_ptr<model::TreeChange> change, const QString& text,
                      const View& before, std::function<void(bool)> alongside = {});
    std::vector<std::string> namesOfLevel(int level) const;
    model::TreeParents parents() const;

    void reloadList(int level, int position);
    void onListChanged(int level);
    void reloadRecords(int position);
    void updateCaption();
    void refreshDetail();

    void addItem(int level);
    void deleteItem(int level);
    void renameItem(int level, int row, const std::string& text);
    void deleteRecords();
    void moveRecords();
    void editDetail(int number, const std::string& text);
    void editStart(int row, bool datePart, support::DateTimeValue start);
    void fileTicked(const std::vector<int>& rows, std::vector<model::MeasurementRecord> records,
                    model::RegisterMode mode);

    SheetMode mode_;
    settings::AppSettings& settings_;
    model::CustomerTree& tree_;
    int channels_;
    bool loading_ = false;
    QUndoStack* undoStack_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QPushButton* undoButton_ = nullptr;
    QPushButton* redoButton_ = nullptr;

    QGroupBox* group_ = nullptr;
    std::array<QTreeView*, 3> nameViews_{};
    std::array<NameListModel*, 3> nameModels_{};
    std::array<QPushButton*, 3> addButtons_{};
    std::array<QPushButton*, 3> deleteButtons_{};
    DetailEditor* detail_ = nullptr;
    QLabel* caption_ = nullptr;
    QTreeView* recordView_ = nullptr;
    RecordTableModel* recordModel_ = nullptr;
    QPushButton* deleteRecords_ = nullptr;
    QPushButton* moveRecords_ = nullptr;
    TransferPage* transfer_ = nullptr;
};

}  // namespace plm::app
