#include <QApplication>

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
    QApplication::exec();
    return app.ExitInstance();
}
