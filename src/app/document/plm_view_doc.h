#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/document/selection.h"
#include "app/document/shown_measurement.h"
#include "model/customer_tree.h"
#include "model/measurement_record.h"
#include "model/shared_data_file.h"

namespace plm::settings {
class AppSettings;
}

namespace plm::app {

// What the chart view shows: the names the measurement is filed under and a
// copy of it; no record when nothing is shown.
struct ShownMeasurement {
    std::array<std::string, 3> names;
    std::optional<model::MeasurementRecord> record;
};

// The one document of the run: the customer tree of the data file and the
// current selection. The data file is read and written only through
// LoadData and SaveData, on a worker thread under a progress window while
// the GUI thread keeps painting; opening a document file reads nothing. Other
// programs (plmtool, other installations) may write the same file: the
// document watches it, reloads it when nothing here is open, and merges their
// changes into its own before it saves.
class CPLMViewDoc : public QObject {
    Q_OBJECT
  public:
    // `settings` name the data file and the configured device type, and keep
    // the session: the names chosen last and the shown measurement, which the
    // document restores at its first load and stores whenever they change.
    explicit CPLMViewDoc(settings::AppSettings& settings, QObject* parent = nullptr);

    // Views and dialogs read the tree; every change is one of the intents below.
    const model::CustomerTree& tree() const { return tree_; }
    // A copy of the tree for the sheet to change; it shares the measurements
    // of every list until the sheet changes them.
    model::CustomerTree workingCopy();
    // The sheet's OK: the tree becomes `committed` (line settings included)
    // with the selection the user left in it, whose names the next sheet
    // starts at, and is saved.
    void commitSheet(model::CustomerTree committed, const Selection& selection);
    // A tree made from this one outside the sheet (a restore from a backup):
    // it replaces the tree, the shown measurement follows it by identity, and
    // it is saved at once. False when the save failed.
    bool commitRestored(model::CustomerTree restored);
    // The customers of an export file join the tree (renamed where their
    // names are taken), which is then saved at once. The names given to the
    // customers added; none when the file added nothing.
    std::vector<std::string> importFile(const std::string& path);
    // The serial line settings kept in the data file; saved with the next save.
    void setLineSettings(const model::LineSettings& settings);

    // The selection is held as the measurements it names: whenever the tree
    // changes (a reload, a merge, an import), the same measurements stay
    // selected at their new places.
    const Selection& selection() const { return selection_; }
    // Selects and shows; a selection of a measurement that does not exist
    // clears the selection.
    void select(const Selection& selection);
    // The user chose these measurements (the browser, the display sheet):
    // selects them, and the next sheet starts at their names.
    void choose(const Selection& selection);
    // Where a sheet starts: the selection, under the names chosen last.
    Selection sheetStart() const;

    // The data file named by [Param] DataFile. SaveData writes only when the
    // tree differs from what was last read or saved, or no file exists yet;
    // a true conflict with another writer's changes is put to the user. A
    // data file that could not be opened is not written: SaveData says so.
    bool LoadData();
    bool SaveData();
    bool dataFileAvailable() const { return !file_ || file_->available(); }
    // Says that the data file is not available (and false) when it is not.
    bool checkDataFileAvailable() const;

    // When another program changed the data file: reloads it when this tree
    // holds nothing unsaved, else saves, merging both; the shown measurement
    // stays shown. True when the tree changed.
    bool ReloadIfChanged();

    // A new document: the first one of the run loads the data file; every one
    // then has the views show the shown measurement anew.
    void OnNewDocument();
    // Opening a document file: the first one of the run loads the data file;
    // the file itself is not read.
    void OnOpenDocument();

  signals:
    // Each is sent once when the operation that changed it ends, in this
    // order: the tree, the selection, the shown measurement, then a note.
    //
    // A note for the status bar (UTF-16 text).
    void statusText(const QString& text);
    // The tree is about to be changed or read anew: views drop what points
    // into it, as messages and progress windows can repaint them before the
    // change ends. treeChanged follows.
    void treeAboutToChange();
    // The tree was replaced, loaded, merged or imported into.
    void treeChanged();
    // Other measurements are selected, or the same ones at other places.
    void selectionChanged(const plm::app::Selection& selection);
    // The chart shows another measurement or none, the tree of the shown one
    // changed, or a new document asks the views to show it anew.
    void shownChanged(const plm::app::ShownMeasurement& shown);

  private:
    // Holds the signals of one operation back until its outermost scope ends.
    class ChangeScope;

    // The data file of the settings, whose records take the configured device type.
    std::unique_ptr<model::SharedDataFile> newDataFile() const;
    model::SharedDataFile& dataFile();
    void watchDataFile();
    void onDataFileEvent();
    void loadOnce();
    // Reads the data file anew (on a worker thread, as saveData writes it).
    bool reload();
    bool saveData();
    // A tree read or written by a worker takes the place of the document's,
    // here on the GUI thread, and is published as any other change.
    void adoptTree(model::CustomerTree tree);
    // The views let go of the tree before it changes.
    void aboutToChangeTree();
    // The selection follows its measurements into the changed tree, then the
    // views hear of the change.
    void publishTreeChange();
    void rememberShown();
    void followShown();
    // Shows the selected measurement, or clears the selection when it no
    // longer exists; the shown one is kept in the session.
    void refresh();
    void rememberChosenNames(const Selection& selection);
    const model::MeasurementRecord* selectedRecord() const;
    // Sends what the operation changed, once it has ended.
    void announce();
    // Shows the measurement the chart showed at the end of the last run, when it still exists.
    void showLastShown();

    settings::AppSettings& settings_;
    model::CustomerTree tree_;
    Selection selection_;
    // What selection_ names, as it was when it was last set or followed.
    std::vector<MeasurementIdentity> shown_;
    Selection followed_;
    QString note_;
    bool firstLoad_ = true;
    // A save left a conflict unanswered (the program ending); this side went
    // to a file of its own.
    bool keptUnanswered_ = false;
    std::unique_ptr<model::SharedDataFile> file_;
    QFileSystemWatcher watcher_;
    QTimer recheck_;  // settles a burst of file events; waits while a dialog is open
    // The operation under way and what it changed.
    int depth_ = 0;
    bool treeAnnounced_ = false;  // treeAboutToChange went out
    bool treeDirty_ = false;
    bool shownDirty_ = false;
    Selection announcedSelection_;
};

}  // namespace plm::app
