#include <QApplication>

#include "app/close_on_signal.h"
#include "app/main_frame.h"
#include "app/mgmt_sheet.h"
#include "app/plm_view_app.h"

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("PLMView");
    QApplication::setDesktopFileName("plmview");
    plm::app::installMgmtSheet();

    plm::app::PlmViewApp app;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    switch (app.InitInstance(arguments)) {
        case plm::app::PlmViewApp::Start::HandedOver:
            return 0;
        case plm::app::PlmViewApp::Start::Failed:
            return 1;
        case plm::app::PlmViewApp::Start::Running:
            break;
    }
    plm::app::CloseOnSignal closer(app.frame());
    QApplication::exec();
    return app.ExitInstance();
}
