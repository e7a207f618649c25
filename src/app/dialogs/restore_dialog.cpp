#include "app/dialogs/restore_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/document/plm_view_doc.h"
#include "chart/qt_text.h"
#include "support/text_codec.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::app {
namespace {

using support::format;
using support::sj;

// Keeps the texts a load reports: a damaged backup is shown with them.
struct CollectingReporter : model::ErrorReporter {
    std::string text;
    void report(const std::string& message, model::MessageIcon) override {
        text += text.empty() ? message : "\n" + message;
    }
};

int measurementsIn(const model::CustomerTree& tree) {
    int count = 0;
    for (const model::Customer& c : tree.customers) {
        for (const model::TestCircuit& t : c.circuits) {
            for (const model::MeasurementName& n : t.names)
                count += n.records.count();
        }
    }
    return count;
}

std::string dateText(const model::BackupName& n) {
    return format("%04d/%02d/%02d %02d:%02d:%02d", n.year, n.month, n.day, n.hour, n.minute,
                  n.second);
}

}  // namespace

RestoreDialog::RestoreDialog(CPLMViewDoc& doc, QMainWindow* frame)
    : QDialog(frame), doc_(doc), frame_(frame) {
    setWindowTitle(qsj("バックアップから復元"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(qsj("バックアップ(&B):"), this));
    list_ = new QListWidget(this);
    layout->addWidget(list_, 2);
    layout->addWidget(new QLabel(qsj("復元される測定:"), this));
    details_ = new QPlainTextEdit(this);
    details_->setReadOnly(true);
    layout->addWidget(details_, 1);
    auto* buttons = new QDialogButtonBox(this);
    restore_ = buttons->addButton(qsj("復元(&R)"), QDialogButtonBox::ActionRole);
    replace_ = buttons->addButton(qsj("すべて置き換える(&A)"), QDialogButtonBox::ActionRole);
    buttons->addButton(qsj("閉じる"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(restore_, &QPushButton::clicked, this, &RestoreDialog::OnRestore);
    connect(replace_, &QPushButton::clicked, this, &RestoreDialog::OnReplace);
    connect(list_, &QListWidget::currentRowChanged, this, &RestoreDialog::showSelected);
    resize(640, 480);
    loadBackups();
}

void RestoreDialog::loadBackups() {
    ui::BusyScope busy(qsj("バックアップを読み込んでいます..."), this);
    doc_.ReloadIfChanged();
    entries_.clear();
    list_->clear();
    for (model::BackupFile& file : model::listBackups(model::BackupKind::DataFile)) {
        Entry entry{std::move(file), {}, {}, {}};
        CollectingReporter reporter;
        entry.tree.devType = doc_.tree().devType;
        if (model::loadBackup(entry.file, entry.tree, reporter))
            entry.missing = model::missingFrom(doc_.tree(), entry.tree);
        else
            entry.damage = reporter.text.empty() ? sj("読み込めません") : reporter.text;
        std::string row = dateText(entry.file.name);
        if (!entry.damage.empty()) {
            row += sj("　（破損しています）");
        } else {
            row += format(sj("　測定：%d 件　現在のデータにない測定：%d 件").c_str(),
                          measurementsIn(entry.tree), model::missingCount(entry.missing));
        }
        list_->addItem(qs(row));
        entries_.push_back(std::move(entry));
    }
    if (!entries_.empty())
        list_->setCurrentRow(0);
    showSelected();
}

const RestoreDialog::Entry* RestoreDialog::selected() const {
    const int row = list_->currentRow();
    return row >= 0 && row < static_cast<int>(entries_.size()) ? &entries_[row] : nullptr;
}

void RestoreDialog::showSelected() {
    const Entry* entry = selected();
    restore_->setEnabled(entry && entry->damage.empty() && !entry->missing.empty());
    replace_->setEnabled(entry && entry->damage.empty());
    if (!entry) {
        details_->setPlainText(entries_.empty() ? qsj("バックアップはありません") : QString());
        return;
    }
    if (!entry->damage.empty()) {
        details_->setPlainText(qs(entry->damage));
        return;
    }
    std::string text;
    for (const model::MissingMeasurements& m : entry->missing) {
        text += format(sj("%s / %s / %s：%d 件%s\n").c_str(), m.customer.c_str(), m.circuit.c_str(),
                       m.name.c_str(), m.count, m.nameMissing ? sj("（名称ごと）").c_str() : "");
    }
    details_->setPlainText(text.empty() ? qsj("現在のデータにない測定はありません") : qs(text));
}

void RestoreDialog::saveAndTell(model::CustomerTree tree, const std::string& done) {
    if (!doc_.commitRestored(std::move(tree)))
        return;
    if (frame_ && frame_->statusBar())
        frame_->statusBar()->showMessage(qs(done));
    accept();
}

void RestoreDialog::OnRestore() {
    const Entry* entry = selected();
    if (!entry || !entry->damage.empty())
        return;
    model::CustomerTree tree = doc_.tree();
    const auto restored = model::restoreInto(tree, entry->tree);
    saveAndTell(std::move(tree), format(sj("バックアップから %d 件の測定を復元しました").c_str(),
                                        model::missingCount(restored)));
}

void RestoreDialog::OnReplace() {
    const Entry* entry = selected();
    if (!entry || !entry->damage.empty())
        return;
    const std::string question =
        format(sj("現在のデータを %s のバックアップですべて置き換えますか？\n"
                  "現在のデータもバックアップとして残ります")
                   .c_str(),
               dateText(entry->file.name).c_str());
    if (!ui::prompter().askYesNo(question, ui::Answer::No))
        return;
    saveAndTell(entry->tree, format(sj("データを %s のバックアップで置き換えました").c_str(),
                                    dateText(entry->file.name).c_str()));
}

void addRestoreCommand(QMainWindow& frame, CPLMViewDoc& doc) {
    auto* action = new QAction(qsj("バックアップから復元(&B)..."), &frame);
    action->setStatusTip(qsj("以前に保存したデータから測定を復元します"));
    QObject::connect(action, &QAction::triggered, &frame, [&frame, &doc] {
        RestoreDialog dialog(doc, &frame);
        dialog.exec();
    });
    for (QMenu* menu : frame.menuBar()->findChildren<QMenu*>()) {
        if (menu->title() != qsj("ファイル(&F)"))
            continue;
        const QList<QAction*> actions = menu->actions();
        // After the import and export commands, before their separator.
        QAction* before = actions.size() > 2 ? actions[2] : nullptr;
        menu->insertAction(before, action);
        return;
    }
}

}  // namespace plm::app
