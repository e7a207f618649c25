#include "app/document/plm_view_doc.h"

#include <QApplication>
#include <algorithm>
#include <filesystem>
#include <utility>

#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "model/customer_exchange.h"
#include "support/paths.h"
#include "support/text_codec.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::app {

namespace {

using support::sj;

// What each side did to the measurement name: "（こちら：削除　他のプログラム：変更）".
const std::string& sidesText(model::MergeConflict::Kind kind) {
    switch (kind) {
        case model::MergeConflict::Kind::DeletedHereChangedThere:
            return sj("（こちら：削除　他のプログラム：変更）");
        case model::MergeConflict::Kind::ChangedHereDeletedThere:
            return sj("（こちら：変更　他のプログラム：削除）");
        case model::MergeConflict::Kind::EditedOnBothSides:
            break;
    }
    return sj("（こちら：変更　他のプログラム：変更）");
}

const std::string& changeText(model::ConflictRecord::Change change) {
    switch (change) {
        case model::ConflictRecord::Change::Added:
            return sj("追加");
        case model::ConflictRecord::Change::Removed:
            return sj("削除");
        case model::ConflictRecord::Change::Edited:
            return sj("条件を変更");
        case model::ConflictRecord::Change::None:
            break;
    }
    return sj("そのまま");
}

// The measurements concerned, one a line, the first few of a long list:
// "　No.3 2024/03/01 09:00（こちら：削除　他のプログラム：そのまま）".
std::string recordsText(const std::vector<model::ConflictRecord>& records) {
    constexpr size_t kListed = 5;
    std::string text;
    for (size_t i = 0; i < records.size() && i < kListed; ++i) {
        const model::ConflictRecord& r = records[i];
        text += support::format(sj("　No.%s %s（こちら：%s　他のプログラム：%s）\n").c_str(),
                                r.dataNo.c_str(), r.dateTime.c_str(), changeText(r.mine).c_str(),
                                changeText(r.theirs).c_str());
    }
    if (records.size() > kListed)
        text += support::format(sj("　ほか %d 件\n").c_str(),
                                static_cast<int>(records.size() - kListed));
    return text;
}

std::string conflictText(const model::ConflictQuestion& question) {
    std::string names;
    for (const model::MergeConflict& c : question.conflicts) {
        names += c.customer + " / " + c.circuit + " / " + c.name + sidesText(c.kind) + "\n" +
                 recordsText(c.records);
    }
    return support::format(sj("他のプログラムが同じデータを変更しています。\n%s\n"
                              "こちらの変更を残しますか？\n"
                              "（はい: こちらの変更を残す　いいえ: 他のプログラムの変更を残す）\n"
                              "残さない方の内容は次のファイルに保存します\n%s")
                               .c_str(),
                           names.c_str(), question.keptAsidePath.c_str());
}

// The measurement shown until now is not in the tree any more.
QString goneText(const model::MeasurementRecord& gone, bool nearestShown) {
    const std::string what = gone.testDateTimeText() + " " + gone.measureTypeText();
    std::string text =
        support::format(sj("表示していた測定データ（%s）はなくなりました").c_str(), what.c_str());
    if (nearestShown)
        text += sj("。近い日時の測定データを表示します");
    return qs(text);
}

// A question closed by a termination request has no answer: neither side
// is chosen for the user.
model::ConflictChoice askConflict(const model::ConflictQuestion& question) {
    if (ui::endingWithoutAnswers())
        return model::ConflictChoice::Unanswered;
    const bool mine = ui::prompter().askYesNo(conflictText(question));
    if (ui::endingWithoutAnswers())
        return model::ConflictChoice::Unanswered;
    return mine ? model::ConflictChoice::KeepMine : model::ConflictChoice::KeepTheirs;
}

// A data file of many years takes long enough to load or save that the user
// must see the program working. The file is read and written on a worker
// thread, so that the GUI thread keeps painting; the tree it reads into or
// writes from is not the document's, which only the GUI thread changes.
bool loadShowingProgress(model::SharedDataFile& file, model::CustomerTree& loaded) {
    ui::BusyScope busy(qsj("データファイル読み込み中・・・"));
    ui::BusyReporter reporter(guiErrorReporter(), busy);
    bool ok = false;
    busy.run([&] { ok = file.load(loaded, reporter); });
    return ok;
}

// `saved` becomes what was written, with what another program wrote merged
// in; the conflicts are asked on the GUI thread while the worker waits.
// `unanswered` tells that a conflict was left without an answer, this side
// kept in a file of its own.
bool saveShowingProgress(model::SharedDataFile& file, const model::CustomerTree& tree,
                         model::CustomerTree& saved, bool& unanswered) {
    ui::BusyScope busy(qsj("データファイル保存中・・・"));
    ui::BusyReporter reporter(guiErrorReporter(), busy);
    const model::ConflictResolver resolve = [&](const model::ConflictQuestion& question) {
        model::ConflictChoice choice = model::ConflictChoice::KeepMine;
        ui::BusyScope::onGuiThread(
            [&] { busy.withNormalCursor([&] { choice = askConflict(question); }); });
        unanswered = unanswered || choice == model::ConflictChoice::Unanswered;
        return choice;
    };
    bool ok = false;
    busy.run([&] {
        saved = tree;
        ok = file.save(saved, reporter, resolve);
    });
    return ok;
}

}  // namespace

// One operation of the document (a load, a save, a commit, a selection),
// which may run others inside it: the views hear of its changes once, when
// the outermost scope ends, and see no tree half-changed in between.
class CPLMViewDoc::ChangeScope {
  public:
    explicit ChangeScope(CPLMViewDoc& doc) : doc_(doc) { ++doc_.depth_; }
    ~ChangeScope() {
        if (--doc_.depth_ == 0)
            doc_.announce();
    }
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;

  private:
    CPLMViewDoc& doc_;
};

CPLMViewDoc::CPLMViewDoc(settings::AppSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings) {
    recheck_.setSingleShot(true);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { recheck_.start(300); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this,
            [this] { recheck_.start(300); });
    connect(&recheck_, &QTimer::timeout, this, &CPLMViewDoc::onDataFileEvent);
}

model::CustomerTree CPLMViewDoc::workingCopy() {
    ui::BusyScope busy{QString()};  // the wait cursor only: a copy reports no steps
    // Between operations nothing holds a reference to change a record of the
    // tree, so every list of it may be shared, whatever an earlier one did.
    for (model::Customer& customer : tree_.customers) {
        for (model::TestCircuit& circuit : customer.circuits) {
            for (model::MeasurementName& name : circuit.names)
                name.records.allowSharing();
        }
    }
    return tree_;
}

void CPLMViewDoc::commitSheet(model::CustomerTree committed, const Selection& selection) {
    const ChangeScope scope(*this);
    aboutToChangeTree();
    tree_ = std::move(committed);
    // Positions in the committed tree: the save may merge another
    // program's changes that move them.
    selection_ = selection;
    rememberChosenNames(selection);
    rememberShown();
    saveData();
    refresh();
}

bool CPLMViewDoc::commitRestored(model::CustomerTree restored) {
    const ChangeScope scope(*this);
    aboutToChangeTree();
    tree_ = std::move(restored);
    publishTreeChange();
    const bool saved = saveData();
    refresh();
    return saved;
}

std::vector<std::string> CPLMViewDoc::importFile(const std::string& path) {
    const ChangeScope scope(*this);
    // The progress window repaints the views while the customers are added.
    aboutToChangeTree();
    std::vector<std::string> added;
    {
        ui::BusyScope busy(qsj("データ取り込み中・・・"));
        ui::BusyReporter reporter(guiErrorReporter(), busy);
        added = model::importCustomers(tree_, path, reporter);
    }
    if (!added.empty()) {
        publishTreeChange();
        saveData();
    }
    return added;
}

void CPLMViewDoc::setLineSettings(const model::LineSettings& settings) {
    // No view shows them: the views hear nothing.
    tree_.lineSettings = settings;
}

void CPLMViewDoc::select(const Selection& selection) {
    const ChangeScope scope(*this);
    selection_ = selection;
    refresh();
}

void CPLMViewDoc::choose(const Selection& selection) {
    const ChangeScope scope(*this);
    rememberChosenNames(selection);
    select(selection);
}

void CPLMViewDoc::rememberChosenNames(const Selection& selection) {
    settings_.selCustomer = selection.customer;
    settings_.selCableName = selection.circuit;
}

Selection CPLMViewDoc::sheetStart() const {
    Selection start = selection_;
    start.customer = settings_.selCustomer;
    start.circuit = settings_.selCableName;
    return start;
}

void CPLMViewDoc::aboutToChangeTree() {
    treeDirty_ = true;
    if (!std::exchange(treeAnnounced_, true))
        emit treeAboutToChange();
}

void CPLMViewDoc::publishTreeChange() {
    const bool showing = !shown_.empty();
    followShown();
    treeDirty_ = true;
    if (showing)
        refresh();
}

void CPLMViewDoc::announce() {
    treeAnnounced_ = false;
    if (std::exchange(treeDirty_, false))
        emit treeChanged();
    if (selection_ != announcedSelection_) {
        announcedSelection_ = selection_;
        emit selectionChanged(selection_);
    }
    if (std::exchange(shownDirty_, false)) {
        ShownMeasurement shown;
        if (const model::MeasurementRecord* record = selectedRecord()) {
            shown.names = {selection_.customer, selection_.circuit, selection_.name};
            shown.record = *record;
        }
        emit shownChanged(shown);
    }
    // A measurement that is gone is said once the operation has ended, so
    // that no later note hides it.
    if (!note_.isEmpty())
        emit statusText(std::exchange(note_, QString()));
}

void CPLMViewDoc::rememberShown() {
    shown_.clear();
    followed_ = selection_;
    const model::MeasurementName* name =
        model::findMeasurementName(tree_, selection_.customer, selection_.circuit, selection_.name);
    if (!name)
        return;
    for (int i : selection_.measurements()) {
        if (i >= 0 && i < name->records.count())
            shown_.push_back(identityAt(name->records, i));
    }
}

void CPLMViewDoc::followShown() {
    if (shown_.empty() || selection_ != followed_) {
        rememberShown();
        return;
    }
    const model::MeasurementName* name =
        model::findMeasurementName(tree_, selection_.customer, selection_.circuit, selection_.name);
    const model::MeasurementRecord& first = shown_.front().record;
    const int at = name ? locate(name->records, shown_.front()) : -1;
    if (at < 0) {
        const int instead =
            name ? nearest(name->records, first.testDateTime, selection_.index) : -1;
        note_ = goneText(first, instead >= 0);
        selection_.index = instead;
        selection_.indexes.clear();
        rememberShown();
        return;
    }
    std::vector<int> kept;
    for (const MeasurementIdentity& identity : shown_) {
        if (const int i = locate(name->records, identity); i >= 0)
            kept.push_back(i);
    }
    std::sort(kept.begin(), kept.end());
    selection_.index = at;
    selection_.indexes = kept.size() > 1 && kept.front() == at ? kept : std::vector<int>{};
    rememberShown();
}

std::unique_ptr<model::SharedDataFile> CPLMViewDoc::newDataFile() const {
    return std::make_unique<model::SharedDataFile>(settings_.dataFile, settings_.deviceTypeIndex);
}

model::SharedDataFile& CPLMViewDoc::dataFile() {
    if (!file_)
        file_ = newDataFile();
    return *file_;
}

void CPLMViewDoc::watchDataFile() {
    const std::string fsPath = support::toFsPath(dataFile().path());
    const QStringList watched = watcher_.files() + watcher_.directories();
    if (!watched.isEmpty())
        watcher_.removePaths(watched);
    // A writer renames a new file over the old one: the folder sees that.
    const std::filesystem::path path(fsPath);
    std::error_code ec;
    if (std::filesystem::is_directory(path.parent_path(), ec))
        watcher_.addPath(QString::fromStdString(path.parent_path().string()));
    if (std::filesystem::is_regular_file(path, ec))
        watcher_.addPath(QString::fromStdString(fsPath));
}

void CPLMViewDoc::onDataFileEvent() {
    // Not under an open sheet or dialog: it works on the tree as it was. The
    // sheet's OK merges the other program's changes when it saves.
    // Nor while a load or save repaints its progress window.
    if (QApplication::activeModalWidget() || ui::BusyScope::active()) {
        recheck_.start(500);
        return;
    }
    ReloadIfChanged();
}

bool CPLMViewDoc::LoadData() {
    const ChangeScope scope(*this);
    aboutToChangeTree();
    file_ = newDataFile();
    return reload();
}

bool CPLMViewDoc::reload() {
    model::CustomerTree loaded;
    const bool ok = loadShowingProgress(*file_, loaded);
    // A failed load still gives what it read before the failure (the
    // customers before a damaged part), which the next save writes anew.
    adoptTree(std::move(loaded));
    return ok;
}

void CPLMViewDoc::adoptTree(model::CustomerTree tree) {
    std::swap(tree_, tree);
    watchDataFile();
    publishTreeChange();
}

bool CPLMViewDoc::checkDataFileAvailable() const {
    if (dataFileAvailable())
        return true;
    ui::prompter().information(model::dataFileUnavailableText(file_->path()));
    return false;
}

bool CPLMViewDoc::SaveData() {
    const ChangeScope scope(*this);
    return saveData();
}

bool CPLMViewDoc::saveData() {
    model::SharedDataFile& file = dataFile();
    std::error_code ec;
    const bool exists = std::filesystem::exists(support::toFsPath(file.path()), ec);
    // Only viewing writes nothing; what another program wrote is read instead.
    if (exists && !file.differsFromLastRead(tree_)) {
        ReloadIfChanged();
        return true;
    }
    // The program is ending and this side's changes are in a file of their
    // own already: the close writes them nowhere else.
    if (keptUnanswered_ && ui::endingWithoutAnswers())
        return false;
    if (!checkDataFileAvailable())
        return false;
    aboutToChangeTree();
    model::CustomerTree saved;
    const bool ok = saveShowingProgress(file, tree_, saved, keptUnanswered_);
    // A save merges what another program wrote meanwhile into the tree; a
    // failed one leaves the tree as it was, unsaved.
    if (ok) {
        adoptTree(std::move(saved));
    } else {
        watchDataFile();
        publishTreeChange();
    }
    return ok;
}

bool CPLMViewDoc::ReloadIfChanged() {
    if (!file_ || !file_->changedOnDisk())
        return false;
    const ChangeScope scope(*this);
    aboutToChangeTree();
    if (file_->differsFromLastRead(tree_)) {
        saveData();
    } else {
        reload();
    }
    refresh();
    // A measurement gone with the reload is the more useful note.
    if (note_.isEmpty())
        note_ = qsj("他のプログラムが変更したデータファイルを読み込みました");
    return true;
}

const model::MeasurementRecord* CPLMViewDoc::selectedRecord() const {
    const model::MeasurementName* name =
        model::findMeasurementName(tree_, selection_.customer, selection_.circuit, selection_.name);
    if (name && selection_.index >= 0 && selection_.index < name->records.count())
        return &name->records.at(selection_.index);
    return nullptr;
}

void CPLMViewDoc::refresh() {
    if (selection_ != followed_)
        rememberShown();
    if (!selectedRecord()) {
        // A cleared selection leaves the view empty: an empty record would show
        // blank tables and offer text output of a measurement that does not exist.
        selection_ = Selection{};
        rememberShown();
    } else {
        settings::AppSettings& s = settings_;
        s.shownCustomer = selection_.customer;
        s.shownCableName = selection_.circuit;
        s.shownDataName = selection_.name;
        s.shownIndex = selection_.index;
        s.shownStart = startText(*selectedRecord());
        s.shownKind = selectedRecord()->measureType;
    }
    shownDirty_ = true;
}

void CPLMViewDoc::OnOpenDocument() {
    const ChangeScope scope(*this);
    loadOnce();
}

void CPLMViewDoc::loadOnce() {
    if (firstLoad_) {
        firstLoad_ = false;
        LoadData();
        showLastShown();
    }
}

void CPLMViewDoc::showLastShown() {
    const settings::AppSettings& s = settings_;
    if (s.shownIndex < 0)
        return;
    const model::MeasurementName* name =
        model::findMeasurementName(tree_, s.shownCustomer, s.shownCableName, s.shownDataName);
    const model::RecordList none;
    const model::RecordList& records = name ? name->records : none;
    int at = s.shownIndex < records.count() ? s.shownIndex : -1;
    // Settings of an earlier version name the place alone.
    if (!s.shownStart.empty()) {
        at = locateByStart(records, s.shownStart, s.shownKind, s.shownIndex);
        if (at < 0) {
            model::MeasurementRecord gone;
            gone.testDateTime = support::parseDateTime(s.shownStart);
            gone.measureType = s.shownKind;
            at = nearest(records, gone.testDateTime, s.shownIndex);
            note_ = goneText(gone, at >= 0);
        }
    }
    if (at >= 0)
        select({s.shownCustomer, s.shownCableName, s.shownDataName, at});
}

void CPLMViewDoc::OnNewDocument() {
    const ChangeScope scope(*this);
    loadOnce();
    shownDirty_ = true;
}

}  // namespace plm::app
