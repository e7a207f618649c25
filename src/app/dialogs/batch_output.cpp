#include "app/dialogs/batch_output.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>

#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "analysis/limits_file.h"
#include "app/dialogs/print_margins_dialog.h"
#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "chart/report_batch.h"
#include "report/batch_csv.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::app {
namespace {

using support::sj;

// Shown once a run takes longer than half a second.
constexpr int kProgressDelayMs = 500;

// A modal progress dialog fed by the batch's progress callback.
class BatchProgressDialog {
  public:
    BatchProgressDialog(const char* labelUtf8, int total, QWidget* parent)
        : dialog_(qsj(labelUtf8), qsj("キャンセル"), 0, total, parent) {
        dialog_.setObjectName("batchProgress");
        dialog_.setWindowTitle(qs(ui::appTitle()));
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(kProgressDelayMs);
        dialog_.setAutoReset(false);
        dialog_.setValue(0);
    }

    report::BatchProgress callback() {
        return [this](int done, int, const report::BatchItem&) {
            // Keeps the windows painted before the dialog shows; user input
            // waits, so nothing can change the tree under a running batch.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            dialog_.setValue(done);
            return !dialog_.wasCanceled();
        };
    }

  private:
    QProgressDialog dialog_;
};

QRectF pageOf(QPrinter& printer) {
    return QRectF(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
}

bool judgementPages = false;

// The limits the summary and the judgement pages judge by, read when either
// is asked for. A limits file that cannot be read is told and nothing is
// printed.
struct BatchLimits {
    bool readable = true;
    bool summary = false;
    bool judgement = false;
    std::optional<analysis::LimitsBook> book;
    const analysis::LimitsBook* forSummary() const { return summary ? &*book : nullptr; }
    const analysis::LimitsBook* forJudgement() const { return judgement ? &*book : nullptr; }
};

BatchLimits batchLimits(bool summary) {
    BatchLimits limits;
    limits.summary = summary;
    limits.judgement = judgementPages;
    if (!limits.summary && !limits.judgement)
        return limits;
    try {
        const ui::BusyScope busy{QString()};  // says so when another program holds the file
        limits.book = analysis::loadLimits(analysis::limitsFilePath());
    } catch (const CxException& e) {
        ui::prompter().information(e.text());
        limits.readable = false;
    }
    return limits;
}

bool paintAll(QPrinter& printer, const settings::AppSettings& settings,
              const std::vector<report::BatchItem>& items, const BatchLimits& limits,
              const report::BatchProgress& progress) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const bool whole =
        chart::paintBatchReport(painter, printer, pageOf(printer), settings, items,
                                limits.forSummary(), progress, limits.forJudgement());
    // A cancelled job is thrown away, not sent half.
    if (!whole)
        printer.abort();
    return whole;
}

// The designed failure text: kind, the failure's own description, module and line.
std::string failureText(const char* kindUtf8, const char* description, int line) {
    return support::format("%s\n%s\n%s(%d)", sj(kindUtf8).c_str(), description, "D_CsvOut", line);
}

// The first existing file and how many more there are.
std::string existingText(const std::vector<std::string>& paths) {
    std::string text = "\n" + paths.front();
    if (paths.size() > 1)
        text +=
            support::format(sj("\n他 %d 個のファイル").c_str(), static_cast<int>(paths.size() - 1));
    return text;
}

}  // namespace

void setJudgementPagesPrinted(bool on) {
    judgementPages = on;
}

bool judgementPagesPrinted() {
    return judgementPages;
}

bool printMeasurements(QPrinter& printer, const settings::AppSettings& settings,
                       const std::vector<report::BatchItem>& items, bool summary, QWidget* parent) {
    if (!printMarginsFit(settings, printer))
        return false;
    const BatchLimits limits = batchLimits(summary);
    if (!limits.readable)
        return false;
    BatchProgressDialog progress("印刷しています...", static_cast<int>(items.size()), parent);
    const QString pdfFile =
        printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    if (pdfFile.isEmpty())
        return paintAll(printer, settings, items, limits, progress.callback());
    // Printed to a file: the file appears only when whole, as plmtool writes it.
    try {
        return chart::writeBatchReportPdf(pdfFile.toStdString(), settings, items,
                                          limits.forSummary(), true, progress.callback(),
                                          limits.forJudgement());
    } catch (const CxException& e) {
        ui::prompter().information(e.text());
    }
    return false;
}

void previewMeasurements(QPrinter& printer, const settings::AppSettings& settings,
                         const std::vector<report::BatchItem>& items, bool summary,
                         QWidget* parent) {
    if (!printMarginsFit(settings, printer))
        return;
    const BatchLimits limits = batchLimits(summary);
    if (!limits.readable)
        return;
    QPrintPreviewDialog preview(&printer, parent);
    preview.setObjectName("batchPreview");
    preview.setWindowTitle(qsj("印刷プレビュー"));
    preview.resize(900, 1000);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&](QPrinter* p) { paintAll(*p, settings, items, limits, {}); });
    preview.exec();
}

bool writeMeasurementsCsv(const settings::AppSettings& settings, const std::string& folder,
                          const std::vector<report::BatchItem>& items, QWidget* parent) {
    const std::vector<std::string> existing =
        report::existingBatchFiles(folder, report::batchCsvFileNames(items));
    const bool overwrite = !existing.empty();
    if (overwrite &&
        !ui::prompter().askYesNo(
            sj("指定のファイルは既に存在しています\n上書きしますか？") + existingText(existing),
            ui::Answer::No))
        return false;
    BatchProgressDialog progress("テキストファイルを出力しています...",
                                 static_cast<int>(items.size()), parent);
    try {
        const report::BatchCsvResult result =
            report::writeBatchCsv(folder, report::CsvLayout::fromSettings(settings), items,
                                  overwrite, progress.callback());
        if (result.cancelled)
            return false;
        ui::prompter().plain(
            support::format(sj("%d 個のテキストファイルを正常に出力しました\n%s").c_str(),
                            static_cast<int>(result.written.size()), folder.c_str()));
        return true;
    } catch (const CxException& e) {
        ui::prompter().information(e.text());
    } catch (const std::bad_alloc& e) {
        ui::prompter().plain(failureText("メモリ不足", e.what(), __LINE__));
    } catch (const std::system_error& e) {
        ui::prompter().plain(failureText("ﾌｧｲﾙｱｸｾｽ異常", e.what(), __LINE__));
    } catch (const std::exception& e) {
        ui::prompter().plain(failureText("例外発生", e.what(), __LINE__));
    }
    return false;
}

}  // namespace plm::app
