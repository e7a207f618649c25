#include "app/analysis/limits_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "chart/qt_text.h"
#include "support/cx_exception.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::app {
namespace {

using support::sj;

// The captions of the keys, in the order of analysis::limitKeys().
const char* const kCaptions[CLimitsDialog::kKeys] = {
    "投入 動作時間 下限[ms]", "投入 動作時間 上限[ms]", "遮断 動作時間 下限[ms]",
    "遮断 動作時間 上限[ms]", "極間差 上限[ms]",        "バウンス 上限[ms]",
    "極グループ (例 1,2,3)"};

}  // namespace

CLimitsDialog::CLimitsDialog(std::string customer, std::string circuit, std::string name,
                             const analysis::LimitsBook& book, QWidget* parent)
    : QDialog(parent),
      customer_(std::move(customer)),
      circuit_(std::move(circuit)),
      name_(std::move(name)) {
    setObjectName("CLimitsDialog");
    setWindowTitle(qsj("判定基準"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(qs(sj("試験回路: ") + circuit_)), 0, 1);
    grid->addWidget(new QLabel(qs(sj("測定データ名称: ") + name_)), 0, 2);
    const analysis::LimitsEntry* entries[2] = {book.find(customer_, circuit_, ""),
                                               book.find(customer_, circuit_, name_)};
    for (size_t k = 0; k < kKeys; ++k) {
        const int row = static_cast<int>(k) + 1;
        grid->addWidget(new QLabel(qsj(kCaptions[k])), row, 0);
        for (int column = 0; column < 2; ++column) {
            auto* edit = new QLineEdit;
            const std::string& key = analysis::limitKeys()[k];
            edit->setObjectName(QString::fromStdString(key + (column ? "_name" : "_circuit")));
            if (entries[column])
                edit->setText(qs(analysis::limitText(entries[column]->limits, key)));
            edits_[static_cast<size_t>(column)][k] = edit;
            grid->addWidget(edit, row, column + 1);
        }
    }
    auto* note =
        new QLabel(qsj("空欄は設定なし。測定データ名称の値が試験回路の値より優先されます。"));
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CLimitsDialog::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

std::optional<analysis::Limits> CLimitsDialog::limitsOf(int column) {
    analysis::Limits limits;
    for (size_t k = 0; k < kKeys; ++k) {
        QLineEdit* edit = edits_[static_cast<size_t>(column)][k];
        try {
            analysis::setLimit(limits, analysis::limitKeys()[k], cp(edit->text()));
        } catch (const CxException& e) {
            edit->setFocus();
            edit->selectAll();
            ui::prompter().stop(e.text());
            return std::nullopt;
        }
    }
    if (const std::string problem = analysis::inconsistency(limits); !problem.empty()) {
        ui::prompter().stop(problem);
        return std::nullopt;
    }
    return limits;
}

void CLimitsDialog::OnOK() {
    const std::optional<analysis::Limits> circuit = limitsOf(0);
    if (!circuit)
        return;
    const std::optional<analysis::Limits> name = limitsOf(1);
    if (!name)
        return;
    if (const std::string problem = analysis::inconsistency(circuit->overlaidWith(*name));
        !problem.empty()) {
        ui::prompter().stop(problem);
        return;
    }
    try {
        const ui::BusyScope busy{QString()};  // says so when another program holds the file
        analysis::updateLimits(analysis::limitsFilePath(), [&](analysis::LimitsBook& book) {
            book.entry(customer_, circuit_, "").limits = *circuit;
            book.entry(customer_, circuit_, name_).limits = *name;
        });
    } catch (const CxException& e) {
        ui::prompter().stop(e.text());
        return;
    }
    accept();
}

}  // namespace plm::app
