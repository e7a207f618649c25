#include "app/dialogs/print_margins_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <optional>

#include "chart/qt_text.h"
#include "chart/report_page.h"
#include "ui/prompter.h"

namespace plm::app {

namespace {
constexpr int kMin = 0;
constexpr int kMax = 100;

// The whole text as a decimal integer, like the framework's integer exchange.
std::optional<long> parseInteger(const QString& text) {
    bool ok = false;
    const long v = text.trimmed().toLong(&ok);
    return ok ? std::optional<long>(v) : std::nullopt;
}

// An edit with up/down buttons that step inside the range; typed text is
// checked only at OK, so a wrong value gets the designed refusal.
QLineEdit* spinEdit(QWidget* parent, QGridLayout* grid, int row, int col, const char* label) {
    auto* edit = new QLineEdit(parent);
    edit->setMaximumWidth(60);
    edit->setAlignment(Qt::AlignRight);
    auto* up = new QToolButton(parent);
    up->setArrowType(Qt::UpArrow);
    auto* down = new QToolButton(parent);
    down->setArrowType(Qt::DownArrow);
    auto step = [edit](int delta) {
        const long v = parseInteger(edit->text()).value_or(0) + delta;
        edit->setText(QString::number(std::clamp<long>(v, kMin, kMax)));
    };
    QObject::connect(up, &QToolButton::clicked, edit, [step] { step(1); });
    QObject::connect(down, &QToolButton::clicked, edit, [step] { step(-1); });
    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    up->setFixedHeight(12);
    down->setFixedHeight(12);
    arrows->addWidget(up);
    arrows->addWidget(down);
    grid->addWidget(new QLabel(qsj(label), parent), row, col);
    grid->addWidget(edit, row, col + 1);
    grid->addLayout(arrows, row, col + 2);
    grid->addWidget(new QLabel("mm", parent), row, col + 3);
    return edit;
}
}  // namespace

CSetPrintBlank::CSetPrintBlank(settings::AppSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(qsj("環境設定"));
    auto* grid = new QGridLayout;
    edits_[Top] = spinEdit(this, grid, 0, 2, "上");
    edits_[Left] = spinEdit(this, grid, 1, 0, "左");
    edits_[Right] = spinEdit(this, grid, 1, 4, "右");
    edits_[Bottom] = spinEdit(this, grid, 2, 2, "下");
    edits_[Top]->setText(QString::number(settings_.prtBlankTop));
    edits_[Left]->setText(QString::number(settings_.prtBlankLeft));
    edits_[Bottom]->setText(QString::number(settings_.prtBlankBottom));
    edits_[Right]->setText(QString::number(settings_.prtBlankRight));

    judgement_ = new QCheckBox(qsj("成極比・弱点比・最終値の判定結果を印刷する"), this);
    judgement_->setChecked(settings_.prtJudgOut != 0);
    judgement_->hide();

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(qsj("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    buttons->addButton(qsj("キャンセル"), QDialogButtonBox::RejectRole);
    connect(ok, &QPushButton::clicked, this, &CSetPrintBlank::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel(qsj("印刷用紙の余白設定："), this));
    top->addLayout(grid);
    top->addWidget(judgement_);
    top->addWidget(buttons);
}

void CSetPrintBlank::OnOK() {
    std::array<int, 4> values{};
    for (int m : {Top, Left, Bottom, Right}) {
        const std::optional<long> v = parseInteger(edits_[m]->text());
        if (!v || *v < kMin || *v > kMax) {
            ui::prompter().stop(
                v ? support::format(
                        support::sj("%d から %d までの整数を入力してください。").c_str(), kMin,
                        kMax)
                  : support::sj("整数を入力してください。"));
            edits_[m]->setFocus();
            edits_[m]->selectAll();
            return;
        }
        values[m] = static_cast<int>(*v);
    }
    settings_.prtBlankTop = values[Top];
    settings_.prtBlankLeft = values[Left];
    settings_.prtBlankBottom = values[Bottom];
    settings_.prtBlankRight = values[Right];
    settings_.prtJudgOut = judgement_->isChecked() ? 1 : 0;
    accept();
}

bool printMarginsFit(const settings::AppSettings& settings, const QPrinter& printer) {
    const std::string problem =
        chart::marginProblem(settings, printer.pageRect(QPrinter::Millimeter).size());
    if (problem.empty())
        return true;
    ui::prompter().stop(problem);
    return false;
}

}  // namespace plm::app
