#include "app/document/plm_view_doc.h"

#include <QApplication>
#include <algorithm>
#include <filesystem>
#include <utility>

#include "app/shell/app_context.h"
#include "chart/qt_text.h"
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

model::ConflictChoice askConflict(const model::ConflictQuestion& question) {
    return ui::prompter().askYesNo(conflictText(question)) ? model::ConflictChoice::KeepMine
                                                           : model::ConflictChoice::KeepTheirs;
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
bool saveShowingProgress(model::SharedDataFile& file, const model::CustomerTree& tree,
                         model::CustomerTree& saved) {
    ui::BusyScope busy(qsj("データファイル保存中・・・"));
    ui::BusyReporter reporter(guiErrorReporter(), busy);
    const model::ConflictResolver resolve = [&busy](const model::ConflictQuestion& question) {
        model::ConflictChoice choice = model::ConflictChoice::KeepMine;
        ui::BusyScope::onGuiThread(
            [&] { busy.withNormalCursor([&] { choice = askConflict(question); }); });
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

CPLMViewDoc::CPLMViewDoc(QObject* parent) : QObject(parent) {
    recheck_.setSingleShot(true);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { recheck_.start(300); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this,
            [this] { recheck_.start(300); });
    connect(&recheck_, &QTimer::timeout, this, &CPLMViewDoc::onDataFileEvent);
}

void CPLMViewDoc::commitSheet(model::CustomerTree committed, const Selection& selection) {
    tree_ = std::move(committed);
    // Positions in the committed tree: the save may merge another
    // program's changes that move them.
    selection_ = selection;
    rememberShown();
    emit treeChanged();
    saveData();
    Refresh();
    flushNote();
}

bool CPLMViewDoc::commitRestored(model::CustomerTree restored) {
    tree_ = std::move(restored);
    publishTreeChange();
    const bool saved = saveData();
    Refresh();
    flushNote();
    return saved;
}

void CPLMViewDoc::select(const Selection& selection) {
    selection_ = selection;
    Refresh();
}

void CPLMViewDoc::notifyTreeChanged() {
    publishTreeChange();
    flushNote();
}

void CPLMViewDoc::publishTreeChange() {
    const bool showing = !shown_.empty();
    followShown();
    emit treeChanged();
    if (showing)
        Refresh();
}

void CPLMViewDoc::flushNote() {
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

model::SharedDataFile& CPLMViewDoc::dataFile() {
    if (!file_)
        file_ = std::make_unique<model::SharedDataFile>(appSettings().dataFile);
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
    emit treeAboutToChange();
    file_ = std::make_unique<model::SharedDataFile>(appSettings().dataFile);
    const bool ok = reload();
    flushNote();
    return ok;
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
    const bool ok = saveData();
    flushNote();
    return ok;
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
    if (!checkDataFileAvailable())
        return false;
    emit treeAboutToChange();
    model::CustomerTree saved;
    const bool ok = saveShowingProgress(file, tree_, saved);
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
    emit treeAboutToChange();
    if (file_->differsFromLastRead(tree_)) {
        saveData();
    } else {
        reload();
    }
    Refresh();
    emit statusText(qsj("他のプログラムが変更したデータファイルを読み込みました"));
    flushNote();
    return true;
}

void CPLMViewDoc::send(int code) {
    ViewHint h;
    h.code = code;
    emit hint(h);
}

void CPLMViewDoc::sendNames() {
    ViewHint h;
    h.code = HintNames;
    h.names = {selection_.customer, selection_.circuit, selection_.name};
    emit hint(h);
}

void CPLMViewDoc::ClearSelection() {
    selection_ = Selection{};
    rememberShown();
    sendNames();
    send(HintClear);
    send(HintRebuild);
}

void CPLMViewDoc::Refresh() {
    if (selection_ != followed_)
        rememberShown();
    const model::MeasurementName* name =
        model::findMeasurementName(tree_, selection_.customer, selection_.circuit, selection_.name);
    const model::MeasurementRecord* found = nullptr;
    if (name && selection_.index >= 0 && selection_.index < name->records.count())
        found = &name->records.at(selection_.index);
    if (!found) {
        // A cleared selection leaves the view empty: an empty record would show
        // blank tables and offer text output of a measurement that does not exist.
        ClearSelection();
        return;
    }
    settings::AppSettings& s = appSettings();
    s.shownCustomer = selection_.customer;
    s.shownCableName = selection_.circuit;
    s.shownDataName = selection_.name;
    s.shownIndex = selection_.index;
    s.shownStart = startText(*found);
    s.shownKind = found->measureType;
    sendNames();
    send(HintClear);
    ViewHint rec;
    rec.code = HintRecord;
    rec.record = *found;
    emit hint(rec);
    send(HintRebuild);
}

void CPLMViewDoc::loadOnce() {
    if (firstLoad_) {
        firstLoad_ = false;
        LoadData();
        showLastShown();
    }
}

void CPLMViewDoc::showLastShown() {
    const settings::AppSettings& s = appSettings();
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
    flushNote();
}

void CPLMViewDoc::OnNewDocument() {
    loadOnce();
    for (int code : {HintValue104, HintValue105, HintValue106}) {
        ViewHint h;
        h.code = code;
        h.value = 0.0;
        emit hint(h);
    }
}

}  // namespace plm::app
