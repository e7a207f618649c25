#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

namespace plm::app {

// SIGTERM, SIGINT and SIGHUP, and the desktop session ending, close the main
// window the way the exit command does, so placement, data file, splitter and
// settings are saved. The signal handler only writes to a pipe; the window is
// closed from the event loop.
class CloseOnSignal : public QObject {
    Q_OBJECT
  public:
    explicit CloseOnSignal(QWidget* window);
    ~CloseOnSignal() override;

  private:
    void onSignal();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace plm::app
