#include "app/dialogs/batch_out_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/batch_output.h"
#include "chart/qt_text.h"
#include "support/text_codec.h"
#include "ui/prompter.h"

namespace plm::app {
namespace {

using support::sj;

constexpr int kMaxText = 256;

std::vector<report::BatchItem> selectedItems(const model::CustomerTree& tree,
                                             const Selection& selection) {
    std::vector<report::BatchItem> items;
    const model::MeasurementName* name =
        model::findMeasurementName(tree, selection.customer, selection.circuit, selection.name);
    if (!name)
        return items;
    for (int i : selection.measurements()) {
        if (i >= 0 && i < name->records.count())
            items.push_back({selection.customer, selection.circuit, name->name, i,
                             &name->records.at(i), &name->records});
    }
    return items;
}

// Every measurement below the first `depth` names of the selection; empty
// when one of them is not in the tree.
std::vector<report::BatchItem> levelItems(const model::CustomerTree& tree,
                                          const Selection& selection, size_t depth) {
    const std::string names[] = {selection.customer, selection.circuit, selection.name};
    report::BatchScope scope;
    scope.names.assign(names, names + depth);
    try {
        return report::selectBatch(tree, scope);
    } catch (const std::exception&) {
        return {};
    }
}

std::string rangeLabel(const std::string& caption, const std::string& name, size_t count) {
    return support::format(sj("%s「%s」の全測定データ（%d 件）").c_str(), caption.c_str(),
                           name.c_str(), static_cast<int>(count));
}

std::string selectedLabel(size_t count) {
    return support::format(sj("選択した測定データ（%d 件）").c_str(), static_cast<int>(count));
}

}  // namespace

CBatchOut::CBatchOut(Kind kind, settings::AppSettings& settings, QWidget* parent)
    : QDialog(parent), kind_(kind), settings_(settings) {
    setWindowTitle(kind == Kind::Print ? qsj("一括印刷") : qsj("一括テキスト出力（ＣＳＶ形式）"));
    auto* top = new QVBoxLayout(this);
    auto* rangeBox = new QGroupBox(qsj("出力する測定データ"), this);
    new QVBoxLayout(rangeBox);
    top->addWidget(rangeBox);
}

CBatchOut::CBatchOut(Kind kind, settings::AppSettings& settings, const model::CustomerTree& tree,
                     const Selection& selection, QWidget* parent)
    : CBatchOut(kind, settings, parent) {
    const std::vector<report::BatchItem> selected = selectedItems(tree, selection);
    if (!selected.empty())
        addRange(Range::Selected, selectedLabel(selected.size()), selected);
    const std::string captions[] = {settings.itemName1, settings.itemName2, settings.itemName3};
    const std::string names[] = {selection.customer, selection.circuit, selection.name};
    for (size_t depth = 3; depth >= 1; --depth) {
        if (names[depth - 1].empty())
            continue;
        std::vector<report::BatchItem> items = levelItems(tree, selection, depth);
        if (items.empty())
            continue;
        const std::string label = rangeLabel(captions[depth - 1], names[depth - 1], items.size());
        addRange(static_cast<Range>(4 - depth), label, std::move(items));
    }
    // Several selected measurements are what the user asked for; one shown
    // measurement stands for its whole name.
    for (QRadioButton* button : ranges_) {
        if (button) {
            button->setChecked(true);
            break;
        }
    }
    if (selected.size() == 1 && ranges_[static_cast<size_t>(Range::Name)])
        ranges_[static_cast<size_t>(Range::Name)]->setChecked(true);
    addControls();
}

CBatchOut::CBatchOut(Kind kind, settings::AppSettings& settings,
                     std::vector<report::BatchItem> items, QWidget* parent)
    : CBatchOut(kind, settings, parent) {
    if (!items.empty()) {
        const std::string label = selectedLabel(items.size());
        addRange(Range::Selected, label, std::move(items));
        ranges_[static_cast<size_t>(Range::Selected)]->setChecked(true);
    }
    addControls();
}

void CBatchOut::addControls() {
    auto* top = static_cast<QVBoxLayout*>(layout());
    auto* buttons = new QDialogButtonBox(this);
    if (kind_ == Kind::Print) {
        summary_ = new QCheckBox(qsj("測定一覧を先頭に付ける"), this);
        top->addWidget(summary_);
        QPushButton* print = buttons->addButton(qsj("印刷"), QDialogButtonBox::AcceptRole);
        print->setDefault(true);
        QPushButton* preview = buttons->addButton(qsj("プレビュー"), QDialogButtonBox::ActionRole);
        connect(print, &QPushButton::clicked, this, &CBatchOut::OnPrint);
        connect(preview, &QPushButton::clicked, this, &CBatchOut::OnPreview);
    } else {
        auto* grid = new QGridLayout;
        folder_ = new QLineEdit(this);
        folder_->setObjectName("folder");
        folder_->setMaxLength(kMaxText);
        folder_->setMinimumWidth(360);
        folder_->setText(qs(settings_.textOutDir));
        auto* browse = new QPushButton(qsj("参照..."), this);
        grid->addWidget(new QLabel(qsj("出力先："), this), 0, 0);
        grid->addWidget(folder_, 0, 1);
        grid->addWidget(browse, 0, 2);
        const std::string pattern = sj("ファイル名：") + settings_.itemName1 + "_" +
                                    settings_.itemName2 + "_" + settings_.itemName3 +
                                    sj("_No<データ№>_<試験日時>.CSV");
        auto* note = new QLabel(qs(pattern), this);
        note->setWordWrap(true);
        grid->addWidget(note, 1, 1, 1, 2);
        top->addLayout(grid);
        QPushButton* output = buttons->addButton(qsj("出力"), QDialogButtonBox::AcceptRole);
        output->setDefault(true);
        connect(output, &QPushButton::clicked, this, &CBatchOut::OnOutput);
        connect(browse, &QPushButton::clicked, this, &CBatchOut::OnBrowseFolder);
    }
    buttons->addButton(qsj("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);
}

void CBatchOut::addRange(Range range, const std::string& label,
                         std::vector<report::BatchItem> items) {
    auto* button = new QRadioButton(qs(label), this);
    button->setObjectName(QString("range%1").arg(static_cast<int>(range)));
    findChild<QGroupBox*>()->layout()->addWidget(button);
    ranges_[static_cast<size_t>(range)] = button;
    rangeItems_[static_cast<size_t>(range)] = std::move(items);
}

std::vector<report::BatchItem> CBatchOut::items() const {
    for (size_t r = 0; r < ranges_.size(); ++r) {
        if (ranges_[r] && ranges_[r]->isChecked())
            return rangeItems_[r];
    }
    return {};
}

bool CBatchOut::summary() const {
    return summary_ && summary_->isChecked();
}

bool CBatchOut::refuseEmpty() {
    if (!items().empty())
        return false;
    ui::prompter().stop(sj("出力する測定データがありません"));
    return true;
}

void CBatchOut::OnPrint() {
    if (!refuseEmpty())
        accept();
}

void CBatchOut::OnPreview() {
    if (!refuseEmpty())
        done(Preview);
}

void CBatchOut::OnBrowseFolder() {
    auto chosen =
        ui::prompter().chooseFolder({sj("フォルダ選択をしてください"), {}, cp(folder_->text())});
    if (chosen)
        folder_->setText(qs(*chosen));
}

void CBatchOut::OnOutput() {
    if (refuseEmpty())
        return;
    const std::string folder = support::trimMb(cp(folder_->text()));
    if (folder.empty()) {
        ui::prompter().stop(sj("出力先を指定してください"));
        return;
    }
    if (!QFileInfo(fsPath(folder)).isDir() &&
        !ui::prompter().askYesNo(sj("指定のフォルダは存在していません\n作成しますか？\n") + folder))
        return;
    if (!writeMeasurementsCsv(settings_, folder, items(), this))
        return;
    settings_.textOutDir = folder;
    accept();
}

}  // namespace plm::app
