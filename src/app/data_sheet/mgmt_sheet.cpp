#include "app/data_sheet/mgmt_sheet.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/data_sheet/data_management_page.h"
#include "chart/qt_text.h"

namespace plm::app {

using support::sj;

namespace {

const std::string& sheetCaption(SheetMode mode) {
    switch (mode) {
        case SheetMode::Transfer:
            return sj("測定データの転送");
        case SheetMode::Edit:
            return sj("編集");
        case SheetMode::Display:
            break;
    }
    return sj("測定データの表示");
}

const std::string& pageTitle(SheetMode mode) {
    return mode == SheetMode::Edit ? sj("需要家データ編集") : sheetCaption(mode);
}

}  // namespace

MgmtSheetDialog::MgmtSheetDialog(SheetMode mode, model::CustomerTree& tree, const Selection& in,
                                 QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(qs(sheetCaption(mode)));
    setSizeGripEnabled(true);
    pages_ = new QTreeWidget(this);
    pages_->setHeaderHidden(true);
    pages_->setRootIsDecorated(false);
    auto* entry = new QTreeWidgetItem(pages_, {qs(pageTitle(mode))});
    stack_ = new QStackedWidget(this);
    auto* none = new QLabel(QStringLiteral("Select a sub-page"), stack_);
    none->setAlignment(Qt::AlignCenter);
    stack_->addWidget(none);
    page_ = new CPgMstEdit(mode, tree, in, stack_);
    stack_->addWidget(page_);
    connect(pages_, &QTreeWidget::itemSelectionChanged, this, &MgmtSheetDialog::showChosenPage);
    connect(page_, &CPgMstEdit::okRequested, this, &MgmtSheetDialog::accept);
    pages_->setCurrentItem(entry);
    showChosenPage();

    auto* split = new QSplitter(this);
    split->addWidget(pages_);
    split->addWidget(stack_);
    split->setStretchFactor(1, 1);
    split->setSizes({150, 1250});
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(qsj("キャンセル"), QDialogButtonBox::RejectRole);
    // Enter edits list cells on the page; it must not close the sheet.
    for (QAbstractButton* b : buttons->buttons())
        if (auto* push = qobject_cast<QPushButton*>(b))
            push->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &MgmtSheetDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MgmtSheetDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addWidget(buttons);
    resize(1400, 760);
}

void MgmtSheetDialog::showChosenPage() {
    stack_->setCurrentIndex(pages_->selectedItems().isEmpty() ? 0 : 1);
}

void MgmtSheetDialog::accept() {
    if (!page_->canClose())
        return;
    out_ = page_->selectionOut();
    QDialog::accept();
}

bool MgmtSheet::run(SheetMode mode, model::CustomerTree& tree, Selection& selection,
                    QWidget* parent) {
    MgmtSheetDialog dialog(mode, tree, selection, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    selection = dialog.selectionOut();
    return true;
}

void installMgmtSheet() {
    setDataSheetFactory([] { return std::make_unique<MgmtSheet>(); });
}

}  // namespace plm::app
