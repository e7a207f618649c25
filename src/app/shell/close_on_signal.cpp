#include "app/shell/close_on_signal.h"

#include <fcntl.h>
#include <unistd.h>
#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>

#include "ui/prompter.h"

namespace plm::app {

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onTerminate(int) {
    const char byte = 1;
    // Nothing else is safe here; a full pipe already holds a pending close.
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

CloseOnSignal::CloseOnSignal() {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CloseOnSignal::onSignal);
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { onSignal(); });
    }
}

CloseOnSignal::~CloseOnSignal() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
    ui::resumeAnswers();
}

void CloseOnSignal::setWindow(QWidget* window) {
    window_ = window;
    if (requested_)
        QMetaObject::invokeMethod(this, &CloseOnSignal::closeWindow, Qt::QueuedConnection);
}

void CloseOnSignal::onSignal() {
    char buffer[64];
    while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    requested_ = true;
    // A modal dialog would keep its own loop running; it closes first, so
    // the main window can close the normal way.
    ui::endWithoutAnswers();
    closeWindow();
}

void CloseOnSignal::closeWindow() {
    if (window_)
        window_->close();
}

}  // namespace plm::app
