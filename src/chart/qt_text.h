#pragma once

#include <QString>
#include <string>

#include "support/paths.h"
#include "support/text_codec.h"

// The GUI edge: texts the system keeps are CP932, the widgets show UTF-8.
// The one conversion for every Qt layer (chart, ui, app and plmtool), so it
// sits in the top namespace where all of them find it.
namespace plm {

inline QString qs(const std::string& cp932) {
    return QString::fromStdString(support::toUtf8(cp932));
}

// A fixed system text (UTF-8 literal) for a widget.
inline QString qsj(const char* utf8) {
    return QString::fromUtf8(utf8);
}

inline std::string cp(const QString& text) {
    return support::fromUtf8(text.toStdString());
}

// Stored path (CP932) <-> file-system path for Qt.
inline QString fsPath(const std::string& stored) {
    return QString::fromStdString(support::toFsPath(stored));
}

}  // namespace plm
