#include "ui/listed_name.h"

#include <QBrush>
#include <QColor>

#include "chart/qt_text.h"

namespace plm::ui {

QString listedName(const std::string& name) {
    return name.empty() ? qsj("（名称なし）") : qs(name);
}

QVariant listedNameForeground(const std::string& name) {
    return name.empty() ? QVariant(QBrush(QColor(Qt::gray))) : QVariant();
}

}  // namespace plm::ui
