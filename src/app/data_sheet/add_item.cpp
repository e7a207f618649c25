#include "app/data_sheet/add_item.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/data_sheet/storable_text.h"
#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "model/tree_edit.h"
#include "support/text_codec.h"
#include "ui/prompter.h"

namespace plm::app {

using support::sj;

const std::string& levelCaption(const settings::AppSettings& s, int level) {
    if (level == 0)
        return s.itemName1;
    if (level == 1)
        return s.itemName2;
    return s.itemName3;
}

CAddItem::CAddItem(int level, int customer, int circuit, const model::CustomerTree& tree,
                   const std::string& caption, QWidget* parent)
    : QDialog(parent), level_(level), customer_(customer), circuit_(circuit), tree_(tree) {
    setWindowTitle(qsj("新規追加"));
    caption_ = new QLabel(qs(caption), this);
    edit_ = new QLineEdit(this);
    edit_->setMinimumWidth(320);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(qsj("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAddItem::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAddItem::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption_);
    layout->addWidget(edit_);
    layout->addWidget(buttons);
}

bool CAddItem::siblingExists(const std::string& name) const {
    return model::nameExists(tree_, model::TreeLevel(level_), {customer_, circuit_}, name);
}

void CAddItem::accept() {
    const std::optional<std::string> typed = storableText(edit_);
    if (!typed)
        return;
    const std::string& text = *typed;
    // The limit counts the bytes of the stored form, as the data file keeps it.
    if (text.size() > MaxNameLength) {
        ui::prompter().stop(
            support::format(sj("%d 文字以内で入力してください。").c_str(), int(MaxNameLength)));
        edit_->setFocus();
        return;
    }
    if (siblingExists(text)) {
        ui::prompter().stop(
            support::format(sj("指定の名称は既に存在しています\n%s").c_str(), text.c_str()));
        edit_->setFocus();
        return;
    }
    name_ = text;
    QDialog::accept();
}

}  // namespace plm::app
