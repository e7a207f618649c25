#pragma once

#include <QString>
#include <optional>
#include <string>

class QLineEdit;

namespace plm::app {

// A typed name or text in its stored CP932 form. A text holding a character
// CP932 cannot hold (an emoji, a character outside JIS X 0208 and the
// NEC/IBM extensions) or NUL is refused with the stop icon, the message
// naming the character's code, and gives nullopt.
std::optional<std::string> storableText(const QString& typed);

// The same for the text of a line edit; a refusal selects the character in
// the edit, which keeps the focus.
std::optional<std::string> storableText(QLineEdit* edit);

}  // namespace plm::app
