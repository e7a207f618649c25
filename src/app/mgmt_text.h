#pragma once

#include <QString>
#include <string>

#include "support/text_codec.h"

// The page keeps every text in the stored CP932 form and converts only where
// a widget shows or returns it.
namespace plm::app::mgmt {

inline QString q(const std::string& cp932) {
    return QString::fromStdString(support::toUtf8(cp932));
}

inline std::string cp(const QString& text) {
    return support::fromUtf8(text.toStdString());
}

}  // namespace plm::app::mgmt
