#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace carvel {

// One program per list file: two would each write it at exit, and the later one would undo the
// other's changes. The first program listens on a local socket in the user's runtime folder; a
// later start hands it a message (its arguments as decoded text) and ends.
//
// On the socket a message is a 4-byte big-endian length and that many bytes: its items in UTF-8,
// each ended by a NUL (decoded arguments hold none). The listener answers one byte once it has
// the whole message.
class SingleInstance {
  public:
    enum class Claim {
        First,       // no program runs: this one listens from now on
        HandedOver,  // a running program took the message
        NoAnswer,    // a program runs but did not take the message in time
    };

    explicit SingleInstance(QString socketPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Hands message to a running program or, when none runs, starts listening. A lock file beside
    // the socket keeps two starts from both becoming the first. Needs a QCoreApplication.
    Claim claim(const QStringList& message);

    // Called on the user-interface thread with every message a later start hands over.
    std::function<void(const QStringList& message)> onMessage;

    static constexpr int kMaxMessageBytes = 1 << 20;
    static constexpr int kAnswerTimeoutMs = 10000;

  private:
    void accept();

    QString socketPath_;
    std::unique_ptr<QLocalServer> server_;
};

// The socket of the program that keeps listFile: in the user's runtime folder, named after the
// list file, so a portable copy with a list of its own runs beside an installed one.
QString instanceSocketPath(const QString& listFile);

}  // namespace carvel
