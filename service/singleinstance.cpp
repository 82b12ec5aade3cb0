// The single-instance rule (see singleinstance.h).
#include "singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>

TSingleInstance::TSingleInstance(const QString& name, QObject* parent) : QObject(parent), name_(name) {}

bool TSingleInstance::handOverToRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(QByteArray::number(kShowMessage) + '\n');
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

bool TSingleInstance::listen(std::function<void()> onShow)
{
    onShow_ = std::move(onShow);
    server_ = new QLocalServer(this);
    // A socket left behind by a crashed instance would block the name.
    QLocalServer::removeServer(name_);
    if (!server_->listen(name_))
        return false;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                const QByteArray message = socket->readAll().trimmed();
                if (message.toInt() == kShowMessage && onShow_)
                    onShow_();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}
