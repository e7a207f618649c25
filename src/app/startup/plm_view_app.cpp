#include "app/startup/plm_view_app.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "app/document/plm_view_doc.h"
#include "app/main_window/import_offer.h"
#include "app/main_window/main_frame.h"
#include "app/shell/app_context.h"
#include "app/shell/close_on_signal.h"
#include "app/shell/single_instance.h"
#include "app/shell/version_info.h"
#include "model/backup_folder.h"
#include "model/measurement_record.h"
#include "support/log_writer.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::app {

PlmViewApp::PlmViewApp() = default;

PlmViewApp::~PlmViewApp() {
    closer_.reset();
    frame_.reset();
}

namespace {

// The file named on the command line, absolute: start-up changes the current
// folder, and a running copy that takes the file over has a folder of its own.
QStringList absoluteFiles(const QStringList& arguments) {
    QStringList files;
    for (const QString& argument : arguments)
        files << QFileInfo(argument).absoluteFilePath();
    return files;
}

}  // namespace

PlmViewApp::Start PlmViewApp::InitInstance(const QStringList& commandLine) {
    const QStringList arguments = absoluteFiles(commandLine);
    const QString file = arguments.value(0);
    const QString folder = QString::fromStdString(support::programFolder());
    instance_ = std::make_unique<SingleInstance>(kInstanceName, folder);
    instance_->lockStartup();
    if (instance_->askRunningCopyToRaise(file)) {
        // Nothing is read or written: the running copy owns the files.
        QApplication::beep();
        instance_->unlockStartup();
        return Start::HandedOver;
    }
    startupIncomplete_ = true;

    settings::AppSettings& s = appSettings();
    s.Locate(settings::ProfileFile::Kind::ProgramFolder);
    s.Load();
    model::configureBackups(s);
    QDir::setCurrent(folder);
    setUpLogAndCheck();

    // A termination request from here on closes the window the normal way,
    // also one that comes while a message of the start-up is open.
    closer_ = std::make_unique<CloseOnSignal>();
    if (!createDocumentAndFrame(arguments)) {
        instance_->unlockStartup();
        return Start::Failed;
    }
    closer_->setWindow(frame_.get());
    if (frame_->applyPlacement())
        frame_->showMaximized();
    else
        frame_->show();
    instance_->listen([this](const QString& handedOver) {
        raiseFrame();
        offerImportOf(handedOver);
    });
    startupIncomplete_ = false;
    instance_->unlockStartup();
    // Asked once the window is up and the next copy may start.
    QTimer::singleShot(0, this, [this, file] { offerImportOf(file); });
    return Start::Running;
}

void PlmViewApp::offerImportOf(const QString& file) {
    if (frame_ && !file.isEmpty() && isExportFile(file))
        frame_->importExportFile(file);
}

void PlmViewApp::setUpLogAndCheck() {
    settings::AppSettings& s = appSettings();
    support::openAppLog();
    if (s.GetInt("check", "RunningNum", kNormalEndMarker) != kNormalEndMarker)
        support::AppLog().writeLine(support::sj("前回異常終了"));
    s.WriteInt("check", "RunningNum", 0);

    const std::string version = versionText(versionInfo().product);
    s.WriteString("check", "Version", version);
    support::AppLog().writeLine("Version " + version);
}

bool PlmViewApp::createDocumentAndFrame(const QStringList& arguments) {
    doc_ = std::make_unique<CPLMViewDoc>(appSettings());
    frame_ = std::make_unique<CMainFrame>(*doc_, appSettings());
    frame_->setAttribute(Qt::WA_DeleteOnClose, false);
    if (!arguments.isEmpty())
        return frame_->openDocumentFile(arguments.front());
    doc_->OnNewDocument();
    return true;
}

void PlmViewApp::raiseFrame() {
    if (!frame_)
        return;
    if (frame_->isMinimized())
        frame_->showNormal();
    frame_->show();
    frame_->raise();
    frame_->activateWindow();
}

int PlmViewApp::ExitInstance() {
    if (!startupIncomplete_) {
        settings::AppSettings& s = appSettings();
        s.WriteInt("check", "RunningNum", kNormalEndMarker);
        s.Save();
    }
    return 0;
}

}  // namespace plm::app
