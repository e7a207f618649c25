#include "app/shell/single_instance.h"

#include <unistd.h>
#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include "support/paths.h"

namespace plm::app {

namespace {

constexpr int kConnectMs = 2000;
const QByteArray kRaise = "raise\n";

QString basePath(const QString& name, const QString& programFolder) {
    const QByteArray folderHash =
        QCryptographicHash::hash(programFolder.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return QString::fromStdString(support::runtimeFolder()) + "/" + name + "-" +
           QString::number(getuid()) + "-" + QString::fromLatin1(folderHash);
}

}  // namespace

QString SingleInstance::socketPathFor(const QString& name, const QString& programFolder) {
    return basePath(name, programFolder) + ".sock";
}

SingleInstance::SingleInstance(const QString& name, const QString& programFolder)
    : socketPath_(basePath(name, programFolder) + ".sock"),
      lock_(basePath(name, programFolder) + ".lock") {
    // A lock left by a crashed copy is taken over at once (its process is gone).
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    unlockStartup();
}

void SingleInstance::lockStartup() {
    if (!locked_)
        locked_ = lock_.lock();
}

void SingleInstance::unlockStartup() {
    if (locked_)
        lock_.unlock();
    locked_ = false;
}

bool SingleInstance::askRunningCopyToRaise() {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kConnectMs))
        return false;
    socket.write(kRaise);
    socket.waitForBytesWritten(kConnectMs);
    // The answer tells that the copy is alive and not just a leftover socket.
    const bool answered = socket.waitForReadyRead(kConnectMs) && socket.readAll().startsWith("ok");
    socket.disconnectFromServer();
    return answered;
}

bool SingleInstance::listen(std::function<void()> onRaise) {
    onRaise_ = std::move(onRaise);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Only reached under the start-up lock after no copy answered, so a socket
    // file still there is a leftover of a crashed copy.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_))
        return false;
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->readAll().startsWith("raise"))
                    return;
                client->write("ok\n");
                client->flush();
                if (onRaise_)
                    onRaise_();
            });
        }
    });
    return true;
}

}  // namespace plm::app
