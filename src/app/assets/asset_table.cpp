#include "app/assets/asset_table.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QTextDocument>
#include <QVBoxLayout>
#include <cstring>
#include <system_error>

#include "chart/qt_text.h"
#include "support/cx_exception.h"
#include "support/staged_file.h"
#include "support/text_codec.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::app {
namespace {

using support::sj;

QString cellHtml(const QTableWidgetItem* item, const char* tag) {
    const QString text = item ? item->text().toHtmlEscaped() : QString();
    QString style;
    if (item && item->background().style() != Qt::NoBrush)
        style = QStringLiteral(" bgcolor=\"%1\"").arg(item->background().color().name());
    return QStringLiteral("<%1%2>%3</%1>").arg(tag, style, text);
}

}  // namespace

CAssetTable::CAssetTable(std::string csvFolder, QWidget* parent)
    : QDialog(parent), csvFolder_(std::move(csvFolder)) {
    setAttribute(Qt::WA_DeleteOnClose);
    caption_ = new QLabel;
    caption_->setObjectName("caption");
    controls_ = new QHBoxLayout;
    controls_->addWidget(caption_, 1);
    table_ = new QTableWidget(0, 0);
    table_->setObjectName("table");
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* print = buttons->addButton(qsj("印刷(&P)..."), QDialogButtonBox::ActionRole);
    print->setObjectName("print");
    QPushButton* csv = buttons->addButton(qsj("CSV出力(&C)..."), QDialogButtonBox::ActionRole);
    csv->setObjectName("csv");
    connect(print, &QPushButton::clicked, this, &CAssetTable::print);
    connect(csv, &QPushButton::clicked, this, &CAssetTable::writeCsv);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls_);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(900, 500);
}

void CAssetTable::printTo(QPrinter& printer) const {
    QString html = QStringLiteral(
                       "<p><b>%1</b></p><table border=\"1\" cellspacing=\"0\" "
                       "cellpadding=\"3\"><tr>")
                       .arg(caption_->text().toHtmlEscaped());
    for (int c = 0; c < table_->columnCount(); ++c)
        html += cellHtml(table_->horizontalHeaderItem(c), "th");
    html += QStringLiteral("</tr>");
    for (int r = 0; r < table_->rowCount(); ++r) {
        html += QStringLiteral("<tr>");
        for (int c = 0; c < table_->columnCount(); ++c)
            html += cellHtml(table_->item(r, c), "td");
        html += QStringLiteral("</tr>");
    }
    QTextDocument document;
    document.setHtml(html + QStringLiteral("</table>"));
    document.print(&printer);
}

void CAssetTable::print() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(windowTitle());
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        printTo(printer);
}

std::optional<analysis::LimitsBook> CAssetTable::loadLimitsBook() {
    try {
        const ui::BusyScope busy{QString()};  // another program may hold LIMITS.INI
        return analysis::loadLimits(analysis::limitsFilePath());
    } catch (const CxException& e) {
        ui::prompter().stop(e.text());
        return std::nullopt;
    }
}

bool CAssetTable::writeCsv() {
    const std::optional<std::string> path = ui::prompter().saveFile(
        {sj("CSV出力"), sj("CSV ﾌｧｲﾙ (*.csv);;すべてのﾌｧｲﾙ (*)"), csvFolder_});
    if (!path)
        return false;
    const std::string fsPath = support::toFsPath(*path);
    const bool taken = support::outputNameTaken(fsPath);
    if (taken &&
        !ui::prompter().askYesNo(
            sj("指定のファイルは既に存在しています\n上書きしますか？\n") + *path, ui::Answer::No))
        return false;
    try {
        // Without the question answered, a file another program puts there meanwhile is kept.
        support::writeStagedFile(fsPath, csvBytes(), taken);
    } catch (const std::system_error& e) {
        const std::string reason = e.code() == std::errc::file_exists
                                       ? sj("指定のファイルは既に存在しています")
                                       : support::fromUtf8(std::strerror(e.code().value()));
        ui::prompter().stop(sj("ファイルに書き込めません\n") + *path + "\n" + reason);
        return false;
    }
    ui::prompter().plain(sj("テキストファイルへ正常に出力しました\n") + *path);
    return true;
}

}  // namespace plm::app
