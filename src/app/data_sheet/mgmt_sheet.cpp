#include "app/data_sheet/mgmt_sheet.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/data_sheet/data_management_page.h"
#include "app/data_sheet/transfer_page.h"
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

// Enter on a list of the sheet does what the edit key (F2) does there, starting
// an edit of the current cell where the list allows edits, and goes no
// further: were it to reach the dialog, a default button could close the
// sheet. An open cell editor takes Enter itself and commits the edit.
class EnterEditsCell : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        QKeyEvent editKey(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
        QCoreApplication::sendEvent(watched, &editKey);
        return true;
    }
};

}  // namespace

MgmtSheetDialog::MgmtSheetDialog(SheetMode mode, settings::AppSettings& settings,
                                 model::CustomerTree& tree, const Selection& in, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(qs(sheetCaption(mode)));
    setSizeGripEnabled(true);
    pages_ = new QTreeWidget(this);
    pages_->setHeaderHidden(true);
    pages_->setRootIsDecorated(false);
    auto* entry = new QTreeWidgetItem(pages_, {qs(pageTitle(mode))});
    stack_ = new QStackedWidget(this);
    page_ = new CPgMstEdit(mode, settings, tree, in, stack_);
    stack_->addWidget(page_);
    connect(pages_, &QTreeWidget::itemSelectionChanged, this, &MgmtSheetDialog::keepAPageChosen);
    connect(page_, &CPgMstEdit::okRequested, this, &MgmtSheetDialog::accept);
    // Undo and redo also while OK or Cancel has the focus.
    addActions(page_->actions());
    pages_->setCurrentItem(entry);

    auto* split = new QSplitter(this);
    split->addWidget(pages_);
    split->addWidget(stack_);
    split->setStretchFactor(1, 1);
    split->setSizes({150, 1250});
    // Plain buttons rather than a button box: a box makes its accept button the
    // default when it is shown, and Enter would then close the sheet.
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(qsj("キャンセル"), this);
    connect(ok_, &QPushButton::clicked, this, &MgmtSheetDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &MgmtSheetDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
    keepEnterInsideTheSheet();
    resize(1400, 760);
}

// Only OK and Cancel close the sheet: no button of it is ever the default that
// Enter would press, and Enter on a list edits a cell instead.
void MgmtSheetDialog::keepEnterInsideTheSheet() {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    auto* filter = new EnterEditsCell(this);
    for (QAbstractItemView* view : findChildren<QAbstractItemView*>())
        view->installEventFilter(filter);
}

// A page of the tree is always chosen and shown: Ctrl+click on the chosen
// page would otherwise leave the sheet without one.
void MgmtSheetDialog::keepAPageChosen() {
    if (pages_->selectedItems().isEmpty() && pages_->currentItem())
        pages_->currentItem()->setSelected(true);
}

void MgmtSheetDialog::accept() {
    if (!page_->canClose() || !page_->mayDiscardReceived())
        return;
    out_ = page_->selectionOut();
    QDialog::accept();
}

void MgmtSheetDialog::reject() {
    if (askBeforeDiscarding_ && (!page_->mayDiscardReceived() || !page_->mayDiscardEdits()))
        return;
    QDialog::reject();
}

void MgmtSheetDialog::closeEvent(QCloseEvent* event) {
    // The program itself closes the sheet only when it has to end (a signal,
    // the end of the desktop session) and cannot wait for an answer then; what
    // the tester sent is in the transfer journal.
    const QScopedValueRollback ask(askBeforeDiscarding_, event->spontaneous());
    QDialog::closeEvent(event);
}

bool MgmtSheet::run(SheetMode mode, model::CustomerTree& tree, Selection& selection,
                    QWidget* parent) {
    MgmtSheetDialog dialog(mode, settings_, tree, selection, parent);
    if (mode == SheetMode::Transfer && !fileReadOnOpen().empty()) {
        // Once the sheet is up, so that the receive dialog opens over it.
        QTimer::singleShot(0, &dialog, [&dialog, file = fileReadOnOpen()] {
            dialog.page()->transferPage()->readFile(file);
        });
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    selection = dialog.selectionOut();
    return true;
}

bool MgmtSheet::display(const model::CustomerTree& tree, Selection& selection, QWidget* parent) {
    // Display mode makes every list and editor of the page read-only and
    // offers no command that changes the tree.
    return run(SheetMode::Display, const_cast<model::CustomerTree&>(tree), selection, parent);
}

void installMgmtSheet(settings::AppSettings& settings) {
    setDataSheetFactory([&settings] { return std::make_unique<MgmtSheet>(settings); });
}

}  // namespace plm::app
