#include <QApplication>

#include "app/data_sheet/mgmt_sheet.h"
#include "app/shell/app_context.h"
#include "app/startup/plm_view_app.h"
#include "support/numeric_locale.h"
#include "ui/qt_translation.h"

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    plm::support::keepNumbersInCLocale();
    QApplication::setApplicationName("PLMView");
    QApplication::setDesktopFileName("plmview");
    // The program speaks Japanese whatever the locale, and so do Qt's own
    // buttons and dialogs (print, preview, file choosers).
    const plm::ui::QtTranslations qtTexts;
    plm::app::installMgmtSheet(plm::app::appSettings());

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
