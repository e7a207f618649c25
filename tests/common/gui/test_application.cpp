#include "common/gui/test_application.h"

namespace plm::test {
namespace {

int argc = 1;
char arg0[] = "plm_test";
char* argv[] = {arg0, nullptr};

void useOffscreenUnlessSet() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace

void ensureApplication() {
    if (QApplication::instance())
        return;
    useOffscreenUnlessSet();
    static QApplication application(argc, argv);
}

void QtTestEnvironment::SetUp() {
    if (QApplication::instance())
        return;
    useOffscreenUnlessSet();
    app_ = std::make_unique<QApplication>(argc, argv);
}

void QtTestEnvironment::TearDown() {
    app_.reset();
}

}  // namespace plm::test
