#pragma once

#include <QString>
#include <QVariant>
#include <string>

// An empty name is accepted (stored files may hold one), but a list would show
// it as a blank row that is easily missed or taken for a gap. Lists show it as
// "（名称なし）" in grey instead; the stored name stays empty.
namespace plm::ui {

// The text a list shows for the CP932 name.
QString listedName(const std::string& name);

// The Qt::ForegroundRole value for the name: grey for an empty one, else none.
QVariant listedNameForeground(const std::string& name);

}  // namespace plm::ui
