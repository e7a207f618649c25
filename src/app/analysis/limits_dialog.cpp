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

// The columns from the weakest level to the strongest, as the grid shows them.
constexpr int kGridOrder[] = {CLimitsDialog::kModel, CLimitsDialog::kCircuit, CLimitsDialog::kName};
const char* const kColumnSuffix[] = {"_circuit", "_name", "_model"};

std::string modelCaption(const std::optional<analysis::BreakerModel>& model) {
    if (!model)
        return sj("型式: (試験条件に型式がありません)");
    return sj("型式: ") + (model->maker.empty() ? "" : model->maker + " ") + model->model;
}

}  // namespace

CLimitsDialog::CLimitsDialog(std::string customer, std::string circuit, std::string name,
                             const analysis::LimitsBook& book, QWidget* parent,
                             std::optional<analysis::BreakerModel> model)
    : QDialog(parent),
      customer_(std::move(customer)),
      circuit_(std::move(circuit)),
      name_(std::move(name)),
      model_(std::move(model)) {
    setObjectName("CLimitsDialog");
    setWindowTitle(qsj("判定基準"));
    auto* grid = new QGridLayout;
    const analysis::LimitsEntry* entries[3] = {
        book.find(customer_, circuit_, ""), book.find(customer_, circuit_, name_),
        model_ ? book.find(analysis::LimitsTarget::ofModel(model_->maker, model_->model))
               : nullptr};
    modelEntered_ = entries[kModel] != nullptr;
    const std::string captions[3] = {sj("試験回路: ") + circuit_, sj("測定データ名称: ") + name_,
                                     modelCaption(model_)};
    for (int place = 0; place < 3; ++place) {
        const int column = kGridOrder[place];
        auto* caption = new QLabel(qs(captions[column]));
        caption->setWordWrap(true);
        grid->addWidget(caption, 0, place + 1);
    }
    for (size_t k = 0; k < kKeys; ++k) {
        const int row = static_cast<int>(k) + 1;
        grid->addWidget(new QLabel(qsj(kCaptions[k])), row, 0);
        for (int place = 0; place < 3; ++place) {
            const int column = kGridOrder[place];
            auto* edit = new QLineEdit;
            const std::string& key = analysis::limitKeys()[k];
            edit->setObjectName(QString::fromStdString(key + kColumnSuffix[column]));
            if (entries[column])
                edit->setText(qs(analysis::limitText(entries[column]->limits, key)));
            edit->setEnabled(column != kModel || model_.has_value());
            edits_[static_cast<size_t>(column)][k] = edit;
            grid->addWidget(edit, row, place + 1);
        }
    }
    auto* note =
        new QLabel(qsj("空欄は設定なし。測定データ名称の値が試験回路の値より、"
                       "試験回路の値が型式の値より優先されます。"));
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
    const std::optional<analysis::Limits> model =
        model_ ? limitsOf(kModel) : std::optional<analysis::Limits>(analysis::Limits());
    if (!model)
        return;
    const std::optional<analysis::Limits> circuit = limitsOf(kCircuit);
    if (!circuit)
        return;
    const std::optional<analysis::Limits> name = limitsOf(kName);
    if (!name)
        return;
    if (const std::string problem =
            analysis::inconsistency(model->overlaidWith(*circuit).overlaidWith(*name));
        !problem.empty()) {
        ui::prompter().stop(problem);
        return;
    }
    try {
        const ui::BusyScope busy{QString()};  // says so when another program holds the file
        analysis::updateLimits(analysis::limitsFilePath(), [&](analysis::LimitsBook& book) {
            book.entry(customer_, circuit_, "").limits = *circuit;
            book.entry(customer_, circuit_, name_).limits = *name;
            // A model is written once it has limits: a dialog opened only
            // for a circuit leaves no empty model entry behind.
            if (model_ && (modelEntered_ || !model->empty()))
                book.entry(analysis::LimitsTarget::ofModel(model_->maker, model_->model)).limits =
                    *model;
        });
    } catch (const CxException& e) {
        ui::prompter().stop(e.text());
        return;
    }
    accept();
}

}  // namespace plm::app
