#include "app/data_sheet/storable_text.h"

#include <QLineEdit>

#include "chart/qt_text.h"
#include "support/text_codec.h"
#include "ui/prompter.h"

namespace plm::app {
namespace {

struct Refusal {
    int position = 0;  // of the character in the QString
    int length = 0;
};

std::optional<Refusal> refuseUnstorable(const QString& typed) {
    const std::string utf8 = typed.toStdString();
    const std::optional<support::Unstorable> found = support::findUnstorable(utf8);
    if (!found)
        return std::nullopt;
    ui::prompter().stop(support::unstorableText(*found));
    const auto position = QString::fromUtf8(utf8.data(), qsizetype(found->offset)).size();
    const auto length =
        QString::fromUtf8(utf8.data() + found->offset, qsizetype(found->length)).size();
    return Refusal{int(position), int(length)};
}

}  // namespace

std::optional<std::string> storableText(const QString& typed) {
    if (refuseUnstorable(typed))
        return std::nullopt;
    return cp(typed);
}

std::optional<std::string> storableText(QLineEdit* edit) {
    const std::optional<Refusal> refused = refuseUnstorable(edit->text());
    if (!refused)
        return cp(edit->text());
    edit->setFocus();
    edit->setSelection(refused->position, refused->length);
    return std::nullopt;
}

}  // namespace plm::app
