#include "app/analysis/figures_pane.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/dialogs/batch_output.h"
#include "chart/analysis_page.h"
#include "chart/qt_text.h"

namespace plm::app {
namespace {

using analysis::msFromMicros;
using support::sj;

QString msItem(const std::optional<int64_t>& us) {
    return us ? QString::fromStdString(msFromMicros(*us)) : QStringLiteral("---");
}

QTableWidgetItem* item(const QString& text, Qt::Alignment align = Qt::AlignCenter) {
    auto* it = new QTableWidgetItem(text);
    it->setTextAlignment(align | Qt::AlignVCenter);
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return it;
}

QTableWidgetItem* verdictItem(analysis::Verdict verdict) {
    QTableWidgetItem* it = item(qs(analysis::verdictText(verdict)));
    it->setForeground(verdictQColor(verdict));
    QFont font = it->font();
    font.setBold(verdict != analysis::Verdict::NotJudged);
    it->setFont(font);
    return it;
}

std::string limitsSummary(const analysis::Limits& limits) {
    std::string text;
    for (const std::string& key : analysis::limitKeys()) {
        const std::string value = analysis::limitText(limits, key);
        if (!value.empty())
            text += (text.empty() ? "" : "  ") + key + "=" + value;
    }
    return text.empty() ? sj("判定基準: 設定なし") : sj("判定基準: ") + text;
}

}  // namespace

QColor verdictQColor(analysis::Verdict verdict) {
    return chart::verdictColor(verdict);
}

CFiguresPane::CFiguresPane(QWidget* parent) : QWidget(parent) {
    setObjectName("CFiguresPane");
    verdict_ = new QLabel;
    verdict_->setObjectName("verdict");
    QFont big = verdict_->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    verdict_->setFont(big);
    verdict_->setWordWrap(true);
    table_ = new QTableWidget(0, 7);
    table_->setHorizontalHeaderLabels({qsj("CH"), qsj("動作時間[ms]"), qsj("変化回数"),
                                       qsj("バウンス[ms]"), qsj("最終状態"), qsj("判定"),
                                       qsj("理由")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    limits_ = new QLabel;
    limits_->setWordWrap(true);
    limitsButton_ = new QPushButton(qsj("判定基準..."));
    overlay_ = new QCheckBox(qsj("基準の測定を重ねて表示"));
    print_ = new QCheckBox(qsj("印刷に判定結果のページを付ける"));
    print_->setChecked(judgementPagesPrinted());
    connect(print_, &QCheckBox::toggled, this, &setJudgementPagesPrinted);
    // Without the box nothing asks for the pages any more.
    connect(print_, &QObject::destroyed, [] { setJudgementPagesPrinted(false); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(verdict_);
    layout->addWidget(table_, 1);
    layout->addWidget(limits_);
    layout->addWidget(limitsButton_);
    layout->addWidget(overlay_);
    layout->addWidget(print_);
    showNothing(sj("測定データが選ばれていません"));
}

void CFiguresPane::showReport(const analysis::AnalysisReport& report) {
    const auto& channels = report.figures.channels;
    const analysis::Judgement& j = report.judgement;
    table_->setRowCount(static_cast<int>(channels.size()) + 1);
    for (size_t i = 0; i < channels.size(); ++i) {
        const analysis::ChannelFigures& ch = channels[i];
        const int r = static_cast<int>(i);
        table_->setItem(r, 0, item(QString::number(ch.channel)));
        table_->setItem(r, 1, item(msItem(ch.operatingUs)));
        table_->setItem(r, 2, item(QString::number(ch.changes)));
        table_->setItem(r, 3, item(msItem(ch.bounceUs)));
        table_->setItem(r, 4, item(ch.finalOn ? (*ch.finalOn ? "ON" : "OFF") : "---"));
        table_->setItem(r, 5, verdictItem(j.channels[i].verdict));
        table_->setItem(r, 6, item(qs(j.channels[i].reason), Qt::AlignLeft));
        table_->item(r, 6)->setToolTip(qs(j.channels[i].reason));
    }
    const int spread = static_cast<int>(channels.size());
    table_->setItem(spread, 0, item(qsj("極間差")));
    table_->setItem(spread, 1, item(msItem(report.figures.poleSpreadUs)));
    for (int c = 2; c <= 4; ++c)
        table_->setItem(spread, c, item(QString()));
    table_->setItem(spread, 5, verdictItem(j.poleSpread));
    table_->setItem(spread, 6, item(qs(j.poleSpreadReason), Qt::AlignLeft));
    verdict_->setText(qs(sj("判定: ") + analysis::verdictText(j.verdict) + "  (" + j.reason + ")"));
    verdict_->setStyleSheet(QStringLiteral("color: %1").arg(verdictQColor(j.verdict).name()));
    limits_->setText(qs(limitsSummary(report.limits)));
    limitsButton_->setEnabled(true);
}

void CFiguresPane::showNothing(const std::string& why) {
    table_->setRowCount(0);
    verdict_->setText(qs(why));
    verdict_->setStyleSheet(QString());
    limits_->clear();
    limitsButton_->setEnabled(false);
}

}  // namespace plm::app
