#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

namespace plm::app {

// One running copy per program folder. A lock file serialises the start-up
// of copies started together; the running copy listens on a local socket
// through which a later copy asks it to come to the front, handing over the
// file it was started with.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // Names are derived from `name` and the program folder: the socket in the
    // runtime folder, the start-up lock in the lock folder (support/paths.h).
    SingleInstance(const QString& name, const QString& programFolder);
    ~SingleInstance() override;

    // Waits for the start-up lock without a time limit.
    void lockStartup();
    void unlockStartup();

    // True when a running copy took the request to come to the front.
    // `file` (absolute, may be empty) is passed on to that copy.
    bool askRunningCopyToRaise(const QString& file = {});

    // Starts answering later copies: each request calls onRaise with the
    // file that copy was started with (empty for none).
    bool listen(std::function<void(const QString& file)> onRaise);

    const QString& socketPath() const { return socketPath_; }
    // The socket a running copy for that program folder listens on.
    static QString socketPathFor(const QString& name, const QString& programFolder);

  private:
    QString socketPath_;
    QLockFile lock_;
    bool locked_ = false;
    std::unique_ptr<QLocalServer> server_;
    std::function<void(const QString& file)> onRaise_;
};

}  // namespace plm::app
