// The command handlers of the main window.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStatusBar>

#include "app/dialogs/batch_out_dialog.h"
#include "app/dialogs/batch_output.h"
#include "app/dialogs/export_dialog.h"
#include "app/dialogs/print_margins_dialog.h"
#include "app/dialogs/serial_settings_dialog.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/about_box.h"
#include "app/main_window/import_offer.h"
#include "app/main_window/main_frame.h"
#include "app/main_window/view_graph.h"
#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "support/paths.h"
#include "ui/prompter.h"

namespace plm::app {

using support::sj;

void CMainFrame::runSheet(SheetMode mode, const std::string& capturedFile) {
    std::unique_ptr<DataSheet> sheet = makeDataSheet();
    if (!sheet)
        return;
    if (!capturedFile.empty())
        sheet->readOnOpen(capturedFile);
    // The sheet works on a copy; only OK makes it the document's tree.
    model::CustomerTree copy = doc_.workingCopy();
    Selection selection = doc_.selection();
    if (!sheet->run(mode, copy, selection, this)) {
        // What another program wrote while the sheet was open is shown now.
        doc_.ReloadIfChanged();
        return;
    }
    // Gone before the save: an edit the sheet still has queued must not
    // reach the tree while the save repaints its progress window.
    sheet.reset();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    doc_.commitSheet(std::move(copy), selection);
    QApplication::restoreOverrideCursor();
}

void CMainFrame::OnDisplayData() {
    std::unique_ptr<DataSheet> sheet = makeDataSheet();
    if (!sheet)
        return;
    // The sheet starts at the names chosen last; the shown measurement stays
    // as it is when the sheet is cancelled.
    Selection selection = doc_.sheetStart();
    if (!sheet->display(doc_.tree(), selection, this))
        return;
    doc_.choose(selection);
}

void CMainFrame::OnCommSetting() {
    CSetSerial dialog(doc_.tree().lineSettings, this);
    if (dialog.exec() == QDialog::Accepted)
        doc_.setLineSettings(dialog.settings());
}

void CMainFrame::OnEnvSetting() {
    CSetPrintBlank dialog(settings_, this);
    dialog.exec();
}

void CMainFrame::OnTextOut() {
    if (!selectedBatch().empty()) {
        OnBatchTextOut();
        return;
    }
    view_->OnCsvOut();
}

void CMainFrame::OnImport() {
    // An import is saved at once, like an edit: nothing waits in memory.
    if (!doc_.checkDataFileAvailable())
        return;
    const ImportOutcome outcome = importData(doc_, exchangeFolder());
    if (outcome.file)
        lastExchangeFolder_ = support::folderOf(*outcome.file);
    if (!outcome.added.empty())
        showImported(outcome.added, fsPath(*outcome.file));
}

void CMainFrame::importExportFile(const QString& path) {
    showImported(offerImport(doc_, path), path);
}

void CMainFrame::showImported(const std::vector<std::string>& names, const QString& file) {
    if (names.empty())
        return;
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : sj("、")) + name;
    statusBar()->showMessage(
        qs(support::format(sj("インポートしました：%s（%s から）").c_str(), joined.c_str(),
                           cp(QFileInfo(file).fileName()).c_str())));
}

void CMainFrame::openDroppedFile(const QString& path) {
    const std::string stored = support::fromFsPath(path.toStdString());
    if (isExportFile(path)) {
        importExportFile(path);
    } else if (isCapturedTransferFile(path)) {
        runSheet(SheetMode::Transfer, stored);
    } else if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
        ui::prompter().stop(sj("ファイルを開くことが出来ません\n") + stored);
    } else {
        ui::prompter().stop(sj("このファイルは読み込めません\n") + stored +
                            sj("\nエクスポートしたデータ (*.qbx) か計測データファイル (*.txt) "
                               "をドロップしてください"));
    }
}

void CMainFrame::OnExport() {
    CDataSave dialog(doc_.tree(), settings_, this);
    connect(&dialog, &CDataSave::exported, this, [this](const QString& file) {
        lastExchangeFolder_ = support::folderOf(support::fromFsPath(file.toStdString()));
        statusBar()->showMessage(qsj("エクスポートしました：") + file);
    });
    dialog.exec();
}

// Export files usually come and go through one folder: an import starts in
// the folder of the last export or import of this run, else in the export folder.
std::string CMainFrame::exchangeFolder() const {
    if (!lastExchangeFolder_.empty())
        return lastExchangeFolder_;
    settings::AppSettings& s = settings_;
    return s.MakeAbsolute(shownExportFolder(s.saveDir));
}

void CMainFrame::OnAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}

QPrinter& CMainFrame::printer() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setPageSize(QPageSize(QPageSize::A4));
        printer_->setPageOrientation(QPageLayout::Portrait);
        // The report applies its own margins inside what the printer can reach.
        printer_->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        printer_->setDocName(qsj("モルベーン"));
    }
    return *printer_;
}

void CMainFrame::OnPrint() {
    if (!selectedBatch().empty()) {
        OnBatchPrint();
        return;
    }
    QPrintDialog dialog(&printer(), this);
    dialog.setMinMax(1, 1);
    if (dialog.exec() == QDialog::Accepted && printMarginsFit(settings_, printer()))
        view_->printTo(printer());
}

void CMainFrame::OnPrintDirect() {
    const QPrinterInfo standard = QPrinterInfo::defaultPrinter();
    if (!standard.isNull())
        printer().setPrinterName(standard.printerName());
    if (const std::vector<report::BatchItem> items = selectedBatch(); !items.empty())
        printMeasurements(printer(), settings_, items, false, this);
    else if (printMarginsFit(settings_, printer()))
        view_->printTo(printer());
}

void CMainFrame::OnPrintPreview() {
    if (const std::vector<report::BatchItem> items = selectedBatch(); !items.empty()) {
        previewMeasurements(printer(), settings_, items, false, this);
        return;
    }
    if (!printMarginsFit(settings_, printer()))
        return;
    QPrintPreviewDialog preview(&printer(), this);
    preview.setWindowTitle(qsj("印刷プレビュー"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* p) { view_->printTo(*p); });
    preview.resize(900, 1000);
    preview.exec();
}

void CMainFrame::OnPrintSetup() {
    // The printer and its paper are chosen here; nothing is printed.
    QPrintDialog dialog(&printer(), this);
    dialog.setWindowTitle(qsj("プリンタの設定"));
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    for (QDialogButtonBox* box : dialog.findChildren<QDialogButtonBox*>()) {
        if (QPushButton* ok = box->button(QDialogButtonBox::Ok))
            ok->setText(qsj("OK"));
    }
    dialog.exec();
}

std::vector<report::BatchItem> CMainFrame::selectedBatch() const {
    const Selection& selection = doc_.selection();
    const std::vector<int> positions = selection.measurements();
    const model::MeasurementName* name = model::findMeasurementName(
        doc_.tree(), selection.customer, selection.circuit, selection.name);
    std::vector<report::BatchItem> items;
    if (!name || positions.size() < 2)
        return items;
    for (int i : positions) {
        if (i >= 0 && i < name->records.count())
            items.push_back({selection.customer, selection.circuit, name->name, i,
                             &name->records.at(i), &name->records});
    }
    return items.size() < 2 ? std::vector<report::BatchItem>{} : items;
}

void CMainFrame::OnBatchPrint() {
    CBatchOut dialog(CBatchOut::Kind::Print, settings_, doc_.tree(), doc_.selection(), this);
    runBatch(dialog);
}

void CMainFrame::OnBatchTextOut() {
    CBatchOut dialog(CBatchOut::Kind::Text, settings_, doc_.tree(), doc_.selection(), this);
    runBatch(dialog);
}

void CMainFrame::runBatch(CBatchOut& dialog) {
    // Text output writes its files from inside the dialog.
    const int result = dialog.exec();
    if (result == CBatchOut::Preview) {
        previewMeasurements(printer(), settings_, dialog.items(), dialog.summary(), this);
    } else if (result == QDialog::Accepted && dialog.kind() == CBatchOut::Kind::Print) {
        QPrintDialog print(&printer(), this);
        if (print.exec() == QDialog::Accepted)
            printMeasurements(printer(), settings_, dialog.items(), dialog.summary(), this);
    }
}

}  // namespace plm::app
