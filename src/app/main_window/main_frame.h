#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/data_sheet/data_sheet.h"
#include "report/batch_selection.h"
#include "settings/app_settings.h"

class QAction;
class QLabel;
class QPrinter;
class QSplitter;
class QToolBar;

namespace plm::app {

class CAnalysisDock;
class CBatchOut;
class CPLMViewDoc;
class CViewGraph;
class MeasurementBrowser;

// Command ids of the menus and the toolbar.
enum CommandId {
    ID_IMPORT = 32816,
    ID_EXPORT = 32818,
    ID_TEXT_OUT = 32807,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_PRINT_SETUP = 57606,
    ID_APP_EXIT = 57665,
    ID_EDIT_DATA = 32796,
    ID_TRANSFER_DATA = 32798,
    ID_DISPLAY_DATA = 32800,
    ID_ENV_SETTING = 32814,
    ID_COMM_SETTING = 32803,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_APP_ABOUT = 57664,
    ID_BATCH_TEXT_OUT = 32830,
    ID_BATCH_PRINT = 32831,
    ID_ZOOM_WHOLE = 32840,
    ID_VIEW_BROWSER = 32841,
};

// The main window: menus, toolbar, status bar and the two-pane splitter whose
// visible pane is the chart view. Closing it stores the placement, saves the
// data file and the splitter state.
class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    // `settings` give the window its placement, the splitter and what every
    // command and dialog of it reads and writes.
    CMainFrame(CPLMViewDoc& doc, settings::AppSettings& settings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CViewGraph& chartView() { return *view_; }
    MeasurementBrowser& browser() { return *browser_; }
    QAction* action(int id) const;

    // Applies the stored placement, kept inside the screen it appears on; at
    // a first start the window fits the screen's available size, up to a
    // largest size. Returns true when the window is to open maximized.
    bool applyPlacement();

    // The commands, callable directly (tests, the command line).
    void OnImport();
    void OnExport();
    void OnTextOut();
    void OnPrint();
    void OnPrintDirect();
    void OnPrintPreview();
    void OnPrintSetup();
    // Several measurements at once: the batch dialog on the document's
    // selection, then the print job, the preview or the CSV files.
    void OnBatchPrint();
    void OnBatchTextOut();
    // The same for a list chosen elsewhere (the browser); the records belong
    // to the document's tree.
    void OnEditData() { runSheet(SheetMode::Edit); }
    void OnTransferData() { runSheet(SheetMode::Transfer); }
    void OnDisplayData();
    void OnEnvSetting();
    void OnCommSetting();
    void OnAbout();
    void OnZoomWhole();
    // Opening a document file (command line): reads nothing.
    bool openDocumentFile(const QString& path);
    // Asks whether to import the customers of the export file at `path`; on
    // yes imports them, saves the data file and says in the status bar what
    // was imported.
    void importExportFile(const QString& path);
    // A file dropped on the window: an export file is offered for import, a
    // captured transfer opens the transfer sheet reading it, anything else is
    // refused with a message.
    void openDroppedFile(const QString& path);

    // The printer of the print commands, kept between jobs so that the
    // printer setup applies to the next print.
    QPrinter& printer();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createSplitter();
    // capturedFile (stored path): the transfer sheet opens reading it.
    void runSheet(SheetMode mode, const std::string& capturedFile = {});
    void showImported(const std::vector<std::string>& names, const QString& file);
    void restoreSplitter();
    // The judgement pane as wide as its table, the browser (unless the user
    // set its width) as wide as its columns, and the chart's whole record
    // shown where the window is wide enough.
    void fitPaneWidths();
    QRect screenArea() const;
    void storeSplitter();
    void storePlacement();
    void updateTextOut();
    void updateTitle();
    std::string exchangeFolder() const;
    // The measurements the selection holds when there are several, else none.
    std::vector<report::BatchItem> selectedBatch() const;
    void runBatch(CBatchOut& dialog);
    void showChosen(const Selection& selection);
    void setBrowserShown(bool shown);

    CPLMViewDoc& doc_;
    settings::AppSettings& settings_;
    QSplitter* splitter_ = nullptr;
    CViewGraph* view_ = nullptr;
    MeasurementBrowser* browser_ = nullptr;  // the splitter's second column
    CAnalysisDock* analysis_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    std::map<int, QAction*> actions_;
    std::unique_ptr<QPrinter> printer_;
    int browserWidth_ = 150;           // kept while the browser is hidden
    bool browserWidthStored_ = false;  // the user's width from the settings
    bool panesFitted_ = false;
    bool closed_ = false;
    std::string lastExchangeFolder_;  // stored path
};

}  // namespace plm::app
