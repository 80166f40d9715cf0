#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace carvel {

// One program per list file: two would each write it at exit, and the later one would undo the
// other's changes. The program that keeps a list file holds a lock beside it (listFile + ".lock")
// while it runs, and listens on a local socket in a folder only its user can enter; a later start
// finds the lock taken, hands that program a message (its arguments as decoded text) and ends.
// Either side talks only to a peer of its own user id.
//
// On the socket a message is a 4-byte big-endian length and that many bytes: its items in UTF-8,
// each ended by a NUL (decoded arguments hold none). The listener answers one byte once it has
// the whole message.
class SingleInstance {
  public:
    enum class Claim {
        First,       // this program keeps the list file (and listens, where it can)
        HandedOver,  // the program that keeps the list file took the message
        NoAnswer,    // a program keeps the list file but did not take the message in time
        Unguarded,   // the list file cannot be locked (see lockError): this program may run, but
                     // must never write it
    };

    // socketFolder: the folder of the socket; empty for the user's private runtime folders
    // (privateRuntimeFolders). A folder that is not private is never used.
    explicit SingleInstance(QString listFile, QString socketFolder = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the list file's lock and listens, or hands message to the program that holds the lock
    // (waiting up to answerTimeoutMs for one that is still starting). A socket is removed only
    // when nobody listens on it. Needs a QCoreApplication.
    Claim claim(const QStringList& message);

    // Why the list file could not be locked (after Unguarded).
    QString lockError() const { return lockError_; }
    // The socket this program listens on; empty when it does not listen.
    QString socketPath() const;

    // How long a later start waits for the program that holds the lock to take its message.
    int answerTimeoutMs = kAnswerTimeoutMs;

    // Called on the user-interface thread with every message a later start hands over.
    std::function<void(const QStringList& message)> onMessage;

    static constexpr int kMaxMessageBytes = 1 << 20;
    static constexpr int kAnswerTimeoutMs = 10000;

  private:
    enum class Sent { Taken, NoAnswer, NoListener };
    Sent send(const QStringList& message, int timeoutMs) const;
    void listen();
    void accept();
    QStringList socketPaths() const;

    QString listFile_;
    QString socketFolder_;
    QString socketName_;
    QString lockError_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};

// True for a folder (not a link) owned by this user that no one else may enter, list or write.
bool isPrivateFolder(const QByteArray& path);

// The user's private folders for sockets, best first: $XDG_RUNTIME_DIR when it is private, then
// the folders "carvel-UID-XXXXXX" in the temporary folder that are. With create, one such folder is
// made (mkdtemp) when there is none. Another user can make a folder of any name there, but never
// one this user owns.
QStringList privateRuntimeFolders(bool create);

// The file name of the socket of the program that keeps listFile, so a portable copy with a list
// of its own runs beside an installed one.
QString instanceSocketName(const QString& listFile);

// The user id of the peer of a connected local socket; -1 when it cannot be told.
qint64 peerUserId(qintptr socketDescriptor);

}  // namespace carvel
