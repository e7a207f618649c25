#include "common/gui/test_application.h"

#include <QApplication>

namespace plm::test {

void ensureApplication() {
    if (QApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "plm_test";
    static char* argv[] = {name, nullptr};
    static QApplication application(argc, argv);
}

}  // namespace plm::test
