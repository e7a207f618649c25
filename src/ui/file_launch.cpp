#include "ui/file_launch.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace plm::ui {

namespace {
LaunchHook& hook() {
    static LaunchHook h;
    return h;
}
}  // namespace

void setLaunchHook(LaunchHook h) {
    hook() = std::move(h);
}

bool runProgramWithFile(const std::string& program, const std::string& file) {
    if (hook())
        return hook()(program, file);
    return QProcess::startDetached(QString::fromStdString(program), {QString::fromStdString(file)});
}

bool openWithAssociation(const std::string& file) {
    if (hook())
        return hook()({}, file);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file)));
}

}  // namespace plm::ui
