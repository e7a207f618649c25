#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

namespace plm::app {

// SIGTERM, SIGINT and SIGHUP, and the desktop session ending, close the main
// window the way the exit command does, so placement, data file, splitter and
// settings are saved. The signal handler only writes to a pipe; the window is
// closed from the event loop. An open question is closed without an answer
// (see ui::endWithoutAnswers): nobody answers on the user's behalf. A request
// that comes before the window is given (a message of the start-up) closes
// the window once it is.
class CloseOnSignal : public QObject {
    Q_OBJECT
  public:
    CloseOnSignal();
    ~CloseOnSignal() override;

    void setWindow(QWidget* window);

  private:
    void onSignal();
    void closeWindow();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
    bool requested_ = false;
};

}  // namespace plm::app
