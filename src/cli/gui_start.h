#pragma once

#include <QGuiApplication>

#include <memory>

namespace plm::cli {

// Pages are painted with QtGui; without a display the offscreen platform
// serves. Qt's own warnings are dropped: they would only repeat, less
// clearly, the failure text plmtool prints.
std::unique_ptr<QGuiApplication> startGui();

}  // namespace plm::cli
