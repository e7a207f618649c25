#include "app/analysis/figures_pane.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

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

// How a limit reads in the pane; keys without a unit are not times.
struct LimitLabel {
    const char* key;
    const char* label;
    const char* unit;
};

constexpr LimitLabel kLimitLabels[] = {
    {"close_min_ms", "投入時間 下限", " ms"},
    {"close_max_ms", "投入時間 上限", " ms"},
    {"open_min_ms", "遮断時間 下限", " ms"},
    {"open_max_ms", "遮断時間 上限", " ms"},
    {"pole_spread_max_ms", "極間差 上限", " ms"},
    {"bounce_max_ms", "バウンス 上限", " ms"},
    {"pole_group", "極グループ", ""},
};

std::string limitLabel(const std::string& key, const std::string& value) {
    for (const LimitLabel& l : kLimitLabels) {
        if (key == l.key)
            return sj(l.label) + " " + value + l.unit;
    }
    return key + " " + value;
}

// Each limit with the level it came from: "投入時間 上限 46.0 ms (型式)".
std::string limitsSummary(const analysis::AnalysisReport& report) {
    const analysis::LevelledLimits held{report.limits, report.levels};
    std::string text;
    for (const std::string& key : analysis::limitKeys()) {
        const std::string value = analysis::limitText(report.limits, key);
        if (value.empty())
            continue;
        text += (text.empty() ? "" : sj("、")) + limitLabel(key, value);
        if (const std::string level = analysis::levelText(held.levelOf(key)); !level.empty())
            text += " (" + level + ")";
    }
    return text.empty() ? sj("判定基準: 設定なし") : sj("判定基準: ") + text;
}

// The verdict and how many of the table's rows (channels, pole spread) it
// rests on; the reasons themselves stand in the rows.
std::string headline(const analysis::Judgement& j) {
    int failed = j.poleSpread == analysis::Verdict::Fail ? 1 : 0;
    int undecided = j.poleSpreadUndecided ? 1 : 0;
    for (const analysis::ChannelVerdict& ch : j.channels) {
        failed += ch.verdict == analysis::Verdict::Fail ? 1 : 0;
        undecided += ch.undecided ? 1 : 0;
    }
    std::string detail = j.reason;
    if (j.verdict == analysis::Verdict::Fail)
        detail = support::format(sj("基準外 %d 項目").c_str(), failed);
    else if (j.verdict == analysis::Verdict::NotJudged && undecided > 0)
        detail = support::format(sj("判定できない %d 項目").c_str(), undecided);
    return sj("判定: ") + analysis::verdictText(j.verdict) + sj("（") + detail + sj("）");
}

// A reason's row is as tall as the reason wrapped in its column. Measured
// here: the items' own size hint left the last wrapped line of a long
// reason outside its row.
class ReasonDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        constexpr int kMargin = 6;
        const QSize hint = QStyledItemDelegate::sizeHint(option, index);
        const int width = std::max(1, option.rect.width() - 2 * kMargin);
        const QRect text = QFontMetrics(option.font)
                               .boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap,
                                             index.data().toString());
        return {hint.width(), std::max(hint.height(), text.height() + kMargin)};
    }
};

// A reason wraps in its row and stands whole in its tooltip too.
QTableWidgetItem* reasonItem(const std::string& reason) {
    QTableWidgetItem* it = item(qs(reason), Qt::AlignLeft);
    it->setToolTip(qs(reason));
    return it;
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
    table_->setWordWrap(true);
    table_->setTextElideMode(Qt::ElideNone);
    // The figures as wide as they need; the reasons take the rest of the
    // pane's width and wrap in rows as tall as they need.
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(6, QHeaderView::Stretch);
    table_->setItemDelegateForColumn(6, new ReasonDelegate(table_));
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
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
        table_->setItem(r, 6, reasonItem(j.channels[i].reason));
    }
    const int spread = static_cast<int>(channels.size());
    table_->setItem(spread, 0, item(qsj("極間差")));
    table_->setItem(spread, 1, item(msItem(report.figures.poleSpreadUs)));
    for (int c = 2; c <= 4; ++c)
        table_->setItem(spread, c, item(QString()));
    table_->setItem(spread, 5, verdictItem(j.poleSpread));
    table_->setItem(spread, 6, reasonItem(j.poleSpreadReason));
    verdict_->setText(qs(headline(j)));
    verdict_->setToolTip(qs(j.reason));
    verdict_->setStyleSheet(QStringLiteral("color: %1").arg(verdictQColor(j.verdict).name()));
    limits_->setText(qs(limitsSummary(report)));
    limitsButton_->setEnabled(true);
}

int CFiguresPane::fittingWidth() const {
    const QHeaderView& header = *table_->horizontalHeader();
    const QFontMetrics metrics(table_->font());
    const int padding = 2 * metrics.horizontalAdvance(QLatin1Char('0'));
    const QAbstractItemView& view = *table_;
    int width = 0;
    for (int column = 0; column < 6; ++column)
        width += std::max(header.sectionSizeHint(column), view.sizeHintForColumn(column));
    // The verdict column holds its longest word even before a measurement is shown.
    width += std::max(0, metrics.horizontalAdvance(qsj("判定なし")) + padding -
                             std::max(header.sectionSizeHint(5), view.sizeHintForColumn(5)));
    width += metrics.horizontalAdvance(qsj("極グループ外")) + padding;
    const QMargins margins = layout()->contentsMargins();
    return width + 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width() +
           margins.left() + margins.right();
}

void CFiguresPane::showNothing(const std::string& why) {
    table_->setRowCount(0);
    verdict_->setText(qs(why));
    verdict_->setToolTip(QString());
    verdict_->setStyleSheet(QString());
    limits_->clear();
    limitsButton_->setEnabled(false);
}

}  // namespace plm::app
