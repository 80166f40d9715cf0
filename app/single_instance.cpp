#include "app/single_instance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/file_name.h"
#include "platform/file_system.h"

namespace carvel {

namespace {

constexpr int kConnectTimeoutMs = 1000;
// How often a later start looks again for the socket of a program that holds the lock but may not
// listen yet.
constexpr int kRetryMs = 50;

qint64 ownUserId() {
    return static_cast<qint64>(::geteuid());
}

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

bool isOwnSocket(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISSOCK(info.st_mode) &&
           static_cast<qint64>(info.st_uid) == ownUserId();
}

// False only when connecting is refused: the program that listened there has ended. A full
// backlog (a program that does not answer) counts as listening.
bool isListenedOn(const QByteArray& path) {
    sockaddr_un address{};
    if (static_cast<size_t>(path.size()) >= sizeof address.sun_path) {
        return true;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return true;
    }
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int error = errno;
    ::close(fd);
    return result == 0 || (error != ECONNREFUSED && error != ENOENT);
}

}  // namespace

bool isPrivateFolder(const QByteArray& path) {
    struct stat info {};
    return !path.isEmpty() && ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           static_cast<qint64>(info.st_uid) == ownUserId() && (info.st_mode & 077) == 0;
}

QStringList privateRuntimeFolders(bool create) {
    QStringList folders;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && isPrivateFolder(runtime)) {
        folders.append(QFile::decodeName(runtime));
    }
    const QByteArray temp = QFile::encodeName(QDir::tempPath());
    const QByteArray prefix = "carvel-" + QByteArray::number(ownUserId()) + '-';
    for (const FolderEntry& entry : listFolder(temp)) {
        const QByteArray path = temp + '/' + entry.bytes;
        if (entry.bytes.startsWith(prefix) && isPrivateFolder(path)) {
            folders.append(QFile::decodeName(path));
        }
    }
    if (create && folders.isEmpty()) {
        QByteArray pattern = temp + '/' + prefix + "XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr && isPrivateFolder(pattern)) {
            folders.append(QFile::decodeName(pattern));
        }
    }
    return folders;
}

QString instanceSocketName(const QString& listFile) {
    const QByteArray hash =
        QCryptographicHash::hash(listFile.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("carvel-") + QString::fromLatin1(hash) + QStringLiteral(".socket");
}

qint64 peerUserId(qintptr socketDescriptor) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (socketDescriptor < 0 ||
        ::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials,
                     &size) != 0 ||
        size != sizeof credentials) {
        return -1;
    }
    return static_cast<qint64>(credentials.uid);
}

SingleInstance::SingleInstance(QString listFile, QString socketFolder)
    : listFile_(std::move(listFile)),
      socketFolder_(std::move(socketFolder)),
      socketName_(instanceSocketName(listFile_)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath() const {
    return server_ ? server_->fullServerName() : QString();
}

QStringList SingleInstance::socketPaths() const {
    QStringList folders;
    if (socketFolder_.isEmpty()) {
        folders = privateRuntimeFolders(false);
    } else if (isPrivateFolder(QFile::encodeName(socketFolder_))) {
        folders.append(socketFolder_);
    }
    QStringList paths;
    for (const QString& folder : folders) {
        paths.append(withTrailingSlash(folder) + socketName_);
    }
    return paths;
}

SingleInstance::Claim SingleInstance::claim(const QStringList& message) {
    lock_ = std::make_unique<QLockFile>(listFile_ + QStringLiteral(".lock"));
    // Held as long as the program runs: only the lock of a process that has ended is stale.
    lock_->setStaleLockTime(0);
    const QDeadlineTimer deadline(answerTimeoutMs);
    for (;;) {
        if (lock_->tryLock(0)) {
            listen();
            return Claim::First;
        }
        const bool held = lock_->error() == QLockFile::LockFailedError;
        if (!held) {
            lockError_ = lock_->error() == QLockFile::PermissionError
                             ? QStringLiteral("ﾛｯｸﾌｧｲﾙを作る権限がありません")
                             : QStringLiteral("ﾛｯｸﾌｧｲﾙを作れません");
            lock_.reset();
        }
        const Sent sent =
            send(message, static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
        if (sent != Sent::NoListener) {
            return sent == Sent::Taken ? Claim::HandedOver : Claim::NoAnswer;
        }
        if (!held) {
            listen();
            return Claim::Unguarded;
        }
        if (deadline.hasExpired()) {
            return Claim::NoAnswer;
        }
        QThread::msleep(kRetryMs);
    }
}

SingleInstance::Sent SingleInstance::send(const QStringList& message, int timeoutMs) const {
    for (const QString& path : socketPaths()) {
        if (!isOwnSocket(QFile::encodeName(path))) {
            continue;
        }
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(kConnectTimeoutMs)) {
            continue;
        }
        if (peerUserId(socket.socketDescriptor()) != ownUserId()) {
            socket.abort();
            continue;
        }
        socket.write(encodeMessage(message));
        const QDeadlineTimer deadline(timeoutMs);
        while (socket.bytesToWrite() > 0 &&
               socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
        }
        const bool answered = socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())) &&
                              socket.bytesAvailable() > 0;
        socket.abort();
        return answered ? Sent::Taken : Sent::NoAnswer;
    }
    return Sent::NoListener;
}

void SingleInstance::listen() {
    QStringList folders;
    if (socketFolder_.isEmpty()) {
        folders = privateRuntimeFolders(true);
    } else if (isPrivateFolder(QFile::encodeName(socketFolder_))) {
        folders.append(socketFolder_);
    }
    if (folders.isEmpty()) {
        return;
    }
    const QString path = withTrailingSlash(folders.first()) + socketName_;
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) == 0) {
        // What is left of a program that has ended is taken over; anything else stays.
        if (!isOwnSocket(native) || isListenedOn(native)) {
            return;
        }
        ::unlink(native.constData());
    }
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(),
                     [this] { accept(); });
    if (!server_->listen(path)) {
        server_.reset();
    }
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (peerUserId(socket->socketDescriptor()) != ownUserId()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
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

}  // namespace carvel
