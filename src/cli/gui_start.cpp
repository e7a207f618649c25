#include "cli/gui_start.h"

#include <cstdio>
#include <cstdlib>

#include "support/numeric_locale.h"

namespace plm::cli {
namespace {

// Qt's own warnings (a missing runtime folder, a painter that could not
// start) would only repeat, less clearly, the failure text plmtool prints.
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
    auto gui = std::make_unique<QGuiApplication>(argc, argv);
    support::keepNumbersInCLocale();
    return gui;
}

}  // namespace plm::cli
