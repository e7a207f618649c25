#include "app/main_window/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "app/analysis/analysis_dock.h"
#include "app/archive/archive_commands.h"
#include "app/assets/asset_commands.h"
#include "app/browser/measurement_browser.h"
#include "app/dialogs/restore_dialog.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/command_icons.h"
#include "app/main_window/first_placement.h"
#include "app/main_window/view_graph.h"
#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "support/paths.h"
#include "support/text_codec.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::app {

namespace {

struct CommandText {
    int id;
    const char* text;    // menu item
    const char* prompt;  // status-bar prompt, then the tooltip after '\n'
};

// Menu texts and the prompt/tooltip pairs of every command.
constexpr CommandText kCommands[] = {
    {ID_IMPORT, "→ データのインポート(&I)...", "データのインポート\nデータのインポート"},
    {ID_EXPORT, "← データのエクスポート(&O)...", "データのエクスポート\nデータのエクスポート"},
    {ID_TEXT_OUT, "テキスト出力(&Ｔ)...", "テキスト出力\nテキスト出力"},
    {ID_BATCH_TEXT_OUT, "一括テキスト出力(&U)...",
     "複数の測定データを１件ずつテキストファイルに出力します\n一括テキスト出力"},
    {ID_FILE_PRINT, "印刷(&P)...", "アクティブなドキュメントを印刷します\n印刷"},
    {ID_FILE_PRINT_PREVIEW, "印刷プレビュー(&V)", "ページ全体を表示します\n印刷プレビュー"},
    {ID_BATCH_PRINT, "一括印刷(&B)...", "複数の測定データをまとめて印刷します\n一括印刷"},
    {ID_FILE_PRINT_SETUP, "プリンタの設定(&R)...",
     "プリンタおよび印刷オプションを変更します\n印刷設定"},
    {ID_APP_EXIT, "アプリケーションの終了(&X)",
     "アプリケーションを終了し、データを保存します\n終了"},
    {ID_EDIT_DATA, "編集(&C)...", "需要家情報の編集\n需要家情報の編集"},
    {ID_TRANSFER_DATA, "測定データの転送(&M)...", "測定データの転送\n測定データの転送"},
    {ID_DISPLAY_DATA, "測定データの表示(&S)...", "測定データの表示\n測定データの表示"},
    {ID_ENV_SETTING, "環境設定(&E)...", "環境設定\n環境設定"},
    {ID_COMM_SETTING, "通信設定(&C)...", "通信設定\n通信設定"},
    {ID_VIEW_TOOLBAR, "ツール バー(&T)",
     "ツール バーの表示/非表示を切り替えます\nツール バーの表示切り替え"},
    {ID_VIEW_STATUS_BAR, "ステータス バー(&S)",
     "ステータス バーの表示/非表示を切り替えます\nステータス バーの表示切り替え"},
    {ID_APP_ABOUT, "バージョン情報(&A)...",
     "プログラム情報、バージョン、著作権を表示します\nバージョン情報"},
    {ID_ZOOM_WHOLE, "全体表示(&W)", "測定データ全体を表示します (Home)\n全体表示"},
    {ID_VIEW_BROWSER, "測定データ一覧(&L)",
     "測定データ一覧の表示/非表示を切り替えます\n測定データ一覧の表示切り替え"},
};

const char* const kIdleMessage = "レディ";

// Takes a button's prompt off the status bar once the pointer has left the
// toolbar: the pointer can leave the window, or the toolbar be hidden, before
// the button itself hears of it.
class ClearPromptOnLeaving : public QObject {
  public:
    ClearPromptOnLeaving(QToolBar& bar, QStatusBar& status)
        : QObject(&bar), bar_(bar), status_(status) {
        bar.installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Leave || event->type() == QEvent::Hide) {
            const QString shown = status_.currentMessage();
            for (const QAction* action : bar_.actions()) {
                if (!shown.isEmpty() && shown == action->statusTip()) {
                    status_.clearMessage();
                    break;
                }
            }
        }
        return false;
    }

  private:
    QToolBar& bar_;
    QStatusBar& status_;
};

}  // namespace

CMainFrame::CMainFrame(CPLMViewDoc& doc, settings::AppSettings& settings, QWidget* parent)
    : QMainWindow(parent), doc_(doc), settings_(settings) {
    setWindowTitle(qs(ui::appTitle()));
    setWindowIcon(programIcon());
    setAcceptDrops(true);
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    createSplitter();
    connect(&doc_, &CPLMViewDoc::shownChanged, view_, &CViewGraph::showMeasurement);
    connect(&doc_, &CPLMViewDoc::statusText, this,
            [this](const QString& text) { statusBar()->showMessage(text, 10000); });
    connect(view_, &CViewGraph::recordsChanged, this, &CMainFrame::updateTextOut);
    connect(&doc_, &CPLMViewDoc::treeAboutToChange, browser_, &MeasurementBrowser::clear);
    connect(&doc_, &CPLMViewDoc::treeChanged, this,
            [this] { browser_->reload(doc_.tree(), doc_.selection()); });
    connect(&doc_, &CPLMViewDoc::selectionChanged, browser_, &MeasurementBrowser::showSelection);
    connect(&doc_, &CPLMViewDoc::shownChanged, this, &CMainFrame::updateTitle);
    connect(browser_, &MeasurementBrowser::measurementChosen, this, &CMainFrame::showChosen);
    // The judgement pane; the 表示 menu switches it like the bars.
    auto* analysis = new CAnalysisDock(doc_, *view_, this);
    analysis_ = analysis;
    addDockWidget(Qt::RightDockWidgetArea, analysis);
    for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
        if (menu->title() == qs(support::sj("表示(&V)")))
            menu->addAction(analysis->toggleViewAction());
    }
    addRestoreCommand(*this, doc_);
    addAssetCommands(*this, doc_, settings_);
    addArchiveCommands(*this, *browser_, doc_, settings_);
    updateTextOut();
    resize(firstWindowSize(screenArea().size()));  // until a placement applies
}

CMainFrame::~CMainFrame() = default;

// The shown measurement before the program's name, as desktop programs show
// their document.
void CMainFrame::updateTitle() {
    std::string title = ui::appTitle();
    if (view_->hasRecord()) {
        const chart::SheetNames& names = view_->names();
        title = names.level1 + " / " + names.level2 + " / " + names.level3 + "  No." +
                view_->records().front().dataNoText() + " - " + title;
    }
    setWindowTitle(qs(title));
}

QAction* CMainFrame::action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::createActions() {
    for (const CommandText& c : kCommands) {
        const std::string prompt = support::sj(c.prompt);
        const size_t cut = prompt.find('\n');
        auto* a = new QAction(qs(support::sj(c.text)), this);
        a->setObjectName(QString("cmd%1").arg(c.id));
        a->setStatusTip(qs(prompt.substr(0, cut)));
        a->setToolTip(qs(cut == std::string::npos ? prompt : prompt.substr(cut + 1)));
        a->setIcon(commandIcon(c.id));
        actions_[c.id] = a;
    }
    auto on = [this](int id, void (CMainFrame::*slot)()) {
        connect(action(id), &QAction::triggered, this, slot);
    };
    on(ID_IMPORT, &CMainFrame::OnImport);
    on(ID_EXPORT, &CMainFrame::OnExport);
    on(ID_TEXT_OUT, &CMainFrame::OnTextOut);
    on(ID_FILE_PRINT, &CMainFrame::OnPrint);
    on(ID_FILE_PRINT_PREVIEW, &CMainFrame::OnPrintPreview);
    on(ID_FILE_PRINT_SETUP, &CMainFrame::OnPrintSetup);
    on(ID_BATCH_TEXT_OUT, &CMainFrame::OnBatchTextOut);
    on(ID_BATCH_PRINT, &CMainFrame::OnBatchPrint);
    on(ID_EDIT_DATA, &CMainFrame::OnEditData);
    on(ID_TRANSFER_DATA, &CMainFrame::OnTransferData);
    on(ID_DISPLAY_DATA, &CMainFrame::OnDisplayData);
    on(ID_ENV_SETTING, &CMainFrame::OnEnvSetting);
    on(ID_COMM_SETTING, &CMainFrame::OnCommSetting);
    on(ID_APP_ABOUT, &CMainFrame::OnAbout);
    on(ID_ZOOM_WHOLE, &CMainFrame::OnZoomWhole);
    connect(action(ID_APP_EXIT), &QAction::triggered, this, &QWidget::close);
    action(ID_FILE_PRINT)->setShortcut(QKeySequence::Print);

    // Direct print goes to the default printer without a dialog.
    auto* direct = new QAction(this);
    direct->setShortcut(QKeySequence("Ctrl+Shift+P"));
    connect(direct, &QAction::triggered, this, &CMainFrame::OnPrintDirect);
    addAction(direct);
}

void CMainFrame::createMenus() {
    auto add = [this](const char* title, std::initializer_list<int> ids) {
        QMenu* m = menuBar()->addMenu(qs(support::sj(title)));
        for (int id : ids) {
            if (id == 0)
                m->addSeparator();
            else
                m->addAction(action(id));
        }
        return m;
    };
    add("ファイル(&F)",
        {ID_IMPORT, ID_EXPORT, 0, ID_TEXT_OUT, ID_BATCH_TEXT_OUT, 0, ID_FILE_PRINT,
         ID_FILE_PRINT_PREVIEW, ID_BATCH_PRINT, ID_FILE_PRINT_SETUP, 0, ID_APP_EXIT});
    add("測定データ(&M)", {ID_EDIT_DATA, ID_TRANSFER_DATA, ID_DISPLAY_DATA});
    add("設定(&S)", {ID_ENV_SETTING, ID_COMM_SETTING});
    add("表示(&V)", {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_BROWSER, 0, ID_ZOOM_WHOLE});
    add("ヘルプ(&H)", {ID_APP_ABOUT});
}

void CMainFrame::createToolBar() {
    toolBar_ = addToolBar(qs(support::sj("標準")));
    toolBar_->setObjectName("mainToolBar");
    toolBar_->setMovable(true);
    for (int id : std::initializer_list<int>{ID_EDIT_DATA, ID_DISPLAY_DATA, 0, ID_TRANSFER_DATA, 0,
                                             ID_TEXT_OUT, ID_FILE_PRINT, 0, ID_ENV_SETTING, 0,
                                             ID_APP_ABOUT, 0, ID_ZOOM_WHOLE}) {
        if (id == 0)
            toolBar_->addSeparator();
        else
            toolBar_->addAction(action(id));
    }
    QAction* toggle = action(ID_VIEW_TOOLBAR);
    toggle->setCheckable(true);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, toolBar_, &QWidget::setVisible);
    connect(toolBar_, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::createStatusBar() {
    QStatusBar* bar = statusBar();
    for (const char* pane : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(pane, bar);
        label->setObjectName(QString("pane%1").arg(pane));
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance("SCRL") + 12);
        label->setEnabled(false);  // the lock-key states are not known to the program
        bar->addPermanentWidget(label);
    }
    const QString idle = qs(support::sj(kIdleMessage));
    bar->showMessage(idle);
    connect(bar, &QStatusBar::messageChanged, bar, [bar, idle](const QString& text) {
        if (text.isEmpty())
            bar->showMessage(idle);
    });
    new ClearPromptOnLeaving(*toolBar_, *bar);
    QAction* toggle = action(ID_VIEW_STATUS_BAR);
    toggle->setCheckable(true);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, bar, &QWidget::setVisible);
}

void CMainFrame::createSplitter() {
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("main");
    view_ = new CViewGraph(doc_, settings_, splitter_);
    browser_ = new MeasurementBrowser(splitter_);
    splitter_->addWidget(view_);
    splitter_->addWidget(browser_);
    view_->setMinimumWidth(10);
    browser_->setMinimumWidth(10);
    // A wider window widens the chart; the browser keeps its width.
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    splitter_->setCollapsible(0, false);
    setCentralWidget(splitter_);
    restoreSplitter();
    QAction* toggle = action(ID_VIEW_BROWSER);
    toggle->setCheckable(true);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, this, &CMainFrame::setBrowserShown);
}

void CMainFrame::setBrowserShown(bool shown) {
    if (!shown)
        browserWidth_ = std::max(splitter_->sizes().value(1, browserWidth_), 10);
    browser_->setVisible(shown);
    if (shown) {
        const int total = splitter_->width();
        splitter_->setSizes({std::max(total - browserWidth_, 10), browserWidth_});
    }
}

void CMainFrame::showChosen(const Selection& selection) {
    doc_.choose(selection);
}

void CMainFrame::OnZoomWhole() {
    view_->showWholeRecord();
}

void CMainFrame::restoreSplitter() {
    const std::string stored = settings_.GetString("SplitterWnd", "main_Panes_0", "", {}, false);
    browserWidthStored_ = !stored.empty();
    const std::string text = browserWidthStored_ ? stored : "-1 150 -1 150";
    int hiddenCol = -1, width0 = 150, hiddenRow = -1, width1 = 150;
    if (std::sscanf(text.c_str(), "%d %d %d %d", &hiddenCol, &width0, &hiddenRow, &width1) != 4) {
        width0 = 150;
        width1 = 150;
    }
    browserWidth_ = std::max(width1, 10);
    splitter_->setSizes({std::max(width0, 10), browserWidth_});
}

void CMainFrame::storeSplitter() {
    const bool shown = action(ID_VIEW_BROWSER)->isChecked();
    int width0 = splitter_->sizes().value(0, -1);
    if (width0 < 0)
        width0 = 100;
    const int width1 = shown ? splitter_->sizes().value(1, browserWidth_) : browserWidth_;
    settings_.WriteString(
        "SplitterWnd", "main_Panes_0",
        support::format("%d %d %d %d", shown ? -1 : 1, width0, -1, width1 < 0 ? 100 : width1));
}

QRect CMainFrame::screenArea() const {
    const QScreen* at = screen() ? screen() : QGuiApplication::primaryScreen();
    return at ? at->availableGeometry() : QRect(0, 0, 1100, 800);
}

bool CMainFrame::applyPlacement() {
    const settings::AppSettings& s = settings_;
    if (!s.placementValid) {
        // A screen no larger than the largest first window is filled, the
        // window manager taking the frame into account; a larger one gets
        // the largest window in its middle.
        const QRect area = screenArea();
        const QSize size = firstWindowSize(area.size());
        const QSize margin = (area.size() - size) / 2;
        setGeometry(QRect(area.topLeft() + QPoint(margin.width(), margin.height()), size));
        return size == area.size();
    }
    const settings::WindowPlacement& p = s.placement;
    if (p.right > p.left && p.bottom > p.top) {
        // A placement from another screen layout (a monitor gone, another
        // resolution) would put the window out of reach.
        const QRect stored(p.left, p.top, p.right - p.left, p.bottom - p.top);
        const QScreen* on = QGuiApplication::screenAt(stored.center());
        if (!on)
            on = QGuiApplication::primaryScreen();
        setGeometry(on ? keptInside(stored, on->availableGeometry()) : stored);
    }
    return p.showCmd == 3;
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!panesFitted_) {
        panesFitted_ = true;
        fitPaneWidths();
    }
}

void CMainFrame::fitPaneWidths() {
    const int window = isMaximized() ? screenArea().width() : width();
    // Splitter handle and dock separator.
    const int separators =
        splitter_->handleWidth() +
        style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
    const int room = window - separators;
    const PaneWidths wanted{browserWidthStored_ ? browserWidth_ : browser_->fittingWidth(),
                            analysis_->fittingWidth()};
    const PaneWidths widths = fitPanes(room, view_->wholeWidth(), wanted, browserWidthStored_);
    resizeDocks({analysis_}, {widths.dock}, Qt::Horizontal);
    browserWidth_ = std::max(widths.browser, 10);
    if (action(ID_VIEW_BROWSER)->isChecked())
        splitter_->setSizes({std::max(room - widths.dock - browserWidth_, 10), browserWidth_});
}

void CMainFrame::storePlacement() {
    settings::AppSettings& s = settings_;
    const QRect r = normalGeometry().isValid() ? normalGeometry() : geometry();
    settings::WindowPlacement& p = s.placement;
    p.flags = 0;
    p.showCmd = isMaximized() ? 3u : isMinimized() ? 2u : 1u;
    p.minX = p.minY = p.maxX = p.maxY = -1;
    p.left = r.left();
    p.top = r.top();
    p.right = r.left() + r.width();
    p.bottom = r.top() + r.height();
    s.placementValid = true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (ui::BusyScope::active()) {
        // A load or save is running and repainting its progress window; the
        // data file is saved when the window is closed again after it.
        event->ignore();
        return;
    }
    if (!closed_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        storePlacement();
        doc_.SaveData();
        storeSplitter();
        QApplication::restoreOverrideCursor();
        closed_ = true;
    }
    event->accept();
}

void CMainFrame::updateTextOut() {
    action(ID_TEXT_OUT)->setEnabled(view_->hasRecord());
}

namespace {

// Like the framework, a drop of several files opens the first only.
QString firstLocalFile(const QMimeData& data) {
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

}  // namespace

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!firstLocalFile(*event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString file = firstLocalFile(*event->mimeData());
    if (file.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    activateWindow();
    // After the drop has ended: the program that dragged the file waits for
    // it, and the questions of the import or the transfer sheet can take long.
    QTimer::singleShot(0, this, [this, file] { openDroppedFile(file); });
}

bool CMainFrame::openDocumentFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ui::prompter().stop(support::sj("ファイルを開くことが出来ません\n") +
                            support::fromFsPath(path.toStdString()));
        return false;
    }
    doc_.OnOpenDocument();
    return true;
}

}  // namespace plm::app
