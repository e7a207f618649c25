#include "cli/gui_start.h"

#include <cstdio>
#include <cstdlib>

namespace plm::cli {
namespace {

void dropQtWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

}  // namespace

std::unique_ptr<QGuiApplication> startGui() {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(dropQtWarnings);
    static int argc = 1;
    static char name[] = "plmtool";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace plm::cli
