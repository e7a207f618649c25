#pragma once

#include <QDialog>
#include <memory>

#include "app/data_sheet/data_sheet.h"
#include "settings/app_settings.h"

class QPushButton;
class QStackedWidget;
class QTreeWidget;

namespace plm::app {

class CPgMstEdit;

// The modal sheet around the data management page: a tree of pages on the
// left (this sheet has the one page), the page, and OK / cancel.
class MgmtSheetDialog : public QDialog {
    Q_OBJECT
  public:
    MgmtSheetDialog(SheetMode mode, settings::AppSettings& settings, model::CustomerTree& tree,
                    const Selection& in, QWidget* parent = nullptr);

    CPgMstEdit* page() const { return page_; }
    QTreeWidget* pageTree() const { return pages_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    // The selection the page was left with; valid after OK.
    const Selection& selectionOut() const { return out_; }

    // OK: refused (the sheet stays open) while the page says so.
    void accept() override;
    // Cancel, Escape and the window's close button: in transfer mode, asks
    // before measurements that were not registered are let go, and in edit
    // and transfer modes before changes that were not undone are.
    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void keepAPageChosen();
    void keepEnterInsideTheSheet();

    CPgMstEdit* page_ = nullptr;
    QTreeWidget* pages_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    Selection out_;
    bool askBeforeDiscarding_ = true;
};

// The DataSheet the main window runs.
class MgmtSheet : public DataSheet {
  public:
    explicit MgmtSheet(settings::AppSettings& settings) : settings_(settings) {}
    bool run(SheetMode mode, model::CustomerTree& tree, Selection& selection,
             QWidget* parent) override;
    bool display(const model::CustomerTree& tree, Selection& selection, QWidget* parent) override;

  private:
    settings::AppSettings& settings_;
};

// Installs MgmtSheet as the application's data management sheet.
void installMgmtSheet(settings::AppSettings& settings);

}  // namespace plm::app
