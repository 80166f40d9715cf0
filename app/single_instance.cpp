#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>
#include <optional>

#include "platform/file_system.h"

namespace carvel {

namespace {

constexpr int kConnectTimeoutMs = 1000;
// A waiting lock belongs to a start that is claiming at this moment; a stale one to a crash.
constexpr int kLockTimeoutMs = 5000;

QByteArray encodeMessage(const QStringList& items) {
    QByteArray body;
    for (const QString& item : items) {
        body += item.toUtf8();
        body += '\0';
    }
    QByteArray out(4, '\0');
    qToBigEndian(static_cast<quint32>(body.size()), out.data());
    return out + body;
}

enum class Take { Incomplete, Taken, TooLong };

// Takes one whole message off the front of buffer.
Take takeMessage(QByteArray& buffer, QStringList& items) {
    if (buffer.size() < 4) {
        return Take::Incomplete;
    }
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > static_cast<quint32>(SingleInstance::kMaxMessageBytes)) {
        return Take::TooLong;
    }
    if (static_cast<quint32>(buffer.size()) - 4 < length) {
        return Take::Incomplete;
    }
    const QByteArray body = buffer.mid(4, static_cast<qsizetype>(length));
    buffer.remove(0, 4 + static_cast<qsizetype>(length));
    items.clear();
    qsizetype start = 0;
    for (qsizetype end = body.indexOf('\0'); end >= 0; end = body.indexOf('\0', start)) {
        items.append(QString::fromUtf8(body.mid(start, end - start)));
        start = end + 1;
    }
    return Take::Taken;
}

}  // namespace

SingleInstance::SingleInstance(QString socketPath) : socketPath_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim(const QStringList& message) {
    QLockFile lock(socketPath_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(kLockTimeoutMs);
    // Without the lock (a folder that cannot be written, a lock held too long) the claim goes on
    // unguarded: at worst two programs run, as they did before.
    const bool locked = lock.tryLock(kLockTimeoutMs);

    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
        socket.write(encodeMessage(message));
        const QDeadlineTimer deadline(kAnswerTimeoutMs);
        while (socket.bytesToWrite() > 0 &&
               socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
        }
        const bool answered = socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())) &&
                              socket.bytesAvailable() > 0;
        socket.abort();
        return answered ? Claim::HandedOver : Claim::NoAnswer;
    }
    // Nobody listens: a socket file left there was a crashed program's.
    QLocalServer::removeServer(socketPath_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(),
                     [this] { accept(); });
    server_->listen(socketPath_);
    if (locked) {
        lock.unlock();
    }
    return Claim::First;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its message is dropped.
        QTimer::singleShot(kAnswerTimeoutMs, socket, [socket] { socket->abort(); });
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->readAll();
            QStringList items;
            const Take taken = takeMessage(*buffer, items);
            if (taken == Take::Incomplete) {
                return;
            }
            if (taken == Take::TooLong) {
                socket->abort();
                return;
            }
            socket->write("1", 1);
            socket->flush();
            socket->disconnectFromServer();
            if (onMessage) {
                onMessage(items);
            }
        });
    }
}

QString instanceSocketPath(const QString& listFile) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QStringLiteral("/tmp");
    }
    const QByteArray hash =
        QCryptographicHash::hash(listFile.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return withTrailingSlash(folder) + QStringLiteral("carvel-") + QString::fromLatin1(hash) +
           QStringLiteral(".socket");
}

}  // namespace carvel
