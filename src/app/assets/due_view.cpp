#include "app/assets/due_view.h"

#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>

#include "analysis/limits_file.h"
#include "app/document/plm_view_doc.h"
#include "chart/qt_text.h"
#include "support/text_codec.h"

namespace plm::app {
namespace {

using support::sj;

analysis::CalendarDay computerToday() {
    const QDate today = QDate::currentDate();
    return {today.year(), today.month(), today.day()};
}

QTableWidgetItem* item(const std::string& cp932) {
    auto* it = new QTableWidgetItem(qs(cp932));
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return it;
}

std::string daysText(const analysis::DueCheck& check) {
    if (!check.due)
        return "---";
    if (check.daysOverdue > 0)
        return support::format(sj("超過 %ld 日").c_str(), check.daysOverdue);
    return support::format(sj("あと %ld 日").c_str(), -check.daysOverdue);
}

}  // namespace

QColor CDueView::overdueColor() {
    return QColor(255, 190, 190);
}

QColor CDueView::dueSoonColor() {
    return QColor(255, 222, 150);
}

CDueView::CDueView(CPLMViewDoc& doc, const settings::AppSettings& settings, QWidget* parent,
                   std::optional<analysis::CalendarDay> today)
    : CAssetTable(settings.textOutDir, parent),
      doc_(doc),
      defaultIntervalMonths_(settings.defIntervalMonths),
      today_(today.value_or(computerToday())) {
    setObjectName("CDueView");
    setWindowTitle(qsj("点検予定"));
    within_ = new QSpinBox;
    within_->setObjectName("within");
    within_->setRange(0, 3650);
    within_->setValue(30);
    within_->setSuffix(qsj(" 日以内"));
    controls()->addWidget(new QLabel(qsj("期限まで")));
    controls()->addWidget(within_);
    table()->setColumnCount(7);
    table()->setHorizontalHeaderLabels({qsj("状態"), qsj("需要家"), qsj("試験回路"),
                                        qsj("測定データ名称"), qsj("前回試験日"), qsj("期限"),
                                        qsj("超過日数")});
    table()->horizontalHeader()->setStretchLastSection(true);
    connect(within_, &QSpinBox::valueChanged, this, [this] { refresh(); });
    connect(table(), &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { showRow(row); });
}

bool CDueView::refresh() {
    const std::optional<analysis::LimitsBook> book = loadLimitsBook();
    if (!book)
        return false;
    analysis::DueTally tally;
    for (const model::Customer& customer : doc_.tree().customers) {
        for (const model::TestCircuit& circuit : customer.circuits) {
            for (const model::MeasurementName& name : circuit.names) {
                int index = 0;
                for (const model::MeasurementRecord& record : name.records)
                    tally.add(customer.name, circuit.name, name.name, index++, record);
            }
        }
    }
    names_ = tally.dueNames(*book, defaultIntervalMonths_, today_, within_->value());
    fill();
    return true;
}

void CDueView::fill() {
    caption()->setText(qs(
        support::format(sj("%s 現在、期限超過と %d 日以内に期限の測定データ名称: %zu 件").c_str(),
                        analysis::dayText(today_).c_str(), within_->value(), names_.size())));
    table()->setRowCount(static_cast<int>(names_.size()));
    for (int r = 0; r < static_cast<int>(names_.size()); ++r) {
        const analysis::DueName& n = names_[static_cast<size_t>(r)];
        const std::optional<analysis::CalendarDay> last = analysis::calendarDayOf(n.lastTest);
        const std::string cells[] = {analysis::dueStateText(n.check.state),
                                     n.customer,
                                     n.circuit,
                                     n.name,
                                     last ? analysis::dayText(*last) : "---",
                                     n.check.due ? analysis::dayText(*n.check.due) : "---",
                                     daysText(n.check)};
        for (int c = 0; c < 7; ++c) {
            QTableWidgetItem* it = item(cells[c]);
            if (n.check.state == analysis::DueState::Overdue)
                it->setBackground(overdueColor());
            else if (n.check.state == analysis::DueState::DueSoon)
                it->setBackground(dueSoonColor());
            table()->setItem(r, c, it);
        }
    }
    table()->resizeColumnsToContents();
}

void CDueView::showRow(int row) {
    if (row < 0 || row >= static_cast<int>(names_.size()))
        return;
    const analysis::DueName& n = names_[static_cast<size_t>(row)];
    doc_.select(Selection{n.customer, n.circuit, n.name, n.newestIndex});
}

std::string CDueView::csvBytes() const {
    return analysis::dueCsv(names_);
}

}  // namespace plm::app
