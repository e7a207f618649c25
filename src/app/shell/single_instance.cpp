#include "app/shell/single_instance.h"

#include <unistd.h>
#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include "support/paths.h"

namespace plm::app {

namespace {

constexpr int kConnectMs = 2000;
// One line per request: "raise", then a tab and the UTF-8 path of a file
// when the asking copy was started with one. A copy that knows only "raise"
// still comes to the front.
const QByteArray kRaise = "raise";

// The socket lives in the runtime folder; the start-up lock never in a folder
// shared between users.
QString basePath(const std::string& folder, const QString& name, const QString& programFolder) {
    const QByteArray folderHash =
        QCryptographicHash::hash(programFolder.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return QString::fromStdString(folder) + "/" + name + "-" + QString::number(getuid()) + "-" +
           QString::fromLatin1(folderHash);
}

}  // namespace

QString SingleInstance::socketPathFor(const QString& name, const QString& programFolder) {
    return basePath(support::runtimeFolder(), name, programFolder) + ".sock";
}

SingleInstance::SingleInstance(const QString& name, const QString& programFolder)
    : socketPath_(socketPathFor(name, programFolder)),
      lock_(basePath(support::lockFolder(), name, programFolder) + ".lock") {
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

bool SingleInstance::askRunningCopyToRaise(const QString& file) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kConnectMs))
        return false;
    QByteArray request = kRaise;
    if (!file.isEmpty())
        request += '\t' + file.toUtf8();
    socket.write(request + '\n');
    socket.waitForBytesWritten(kConnectMs);
    // The answer tells that the copy is alive and not just a leftover socket.
    const bool answered = socket.waitForReadyRead(kConnectMs) && socket.readAll().startsWith("ok");
    socket.disconnectFromServer();
    return answered;
}

bool SingleInstance::listen(std::function<void(const QString& file)> onRaise) {
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
                if (!client->canReadLine())
                    return;
                QByteArray line = client->readLine();
                line.chop(1);
                if (!line.startsWith(kRaise))
                    return;
                const qsizetype tab = line.indexOf('\t');
                const QString file = tab < 0 ? QString() : QString::fromUtf8(line.mid(tab + 1));
                client->write("ok\n");
                client->flush();
                if (onRaise_)
                    onRaise_(file);
            });
        }
    });
    return true;
}

}  // namespace plm::app
