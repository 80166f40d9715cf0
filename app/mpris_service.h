#pragma once

#include <QDBusVirtualObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>
#include <cstdint>

namespace carvel {

class Program;

// The player on the session bus as an MPRIS 2 media player, so the desktop's media keys and sound
// applets control it: Play, Pause, PlayPause and Stop, Next and Previous, Raise and Quit, and the
// current chart's title and artist as metadata. A run cannot be paused: Pause stops it, and the
// status is only ever Playing or Stopped.
class MprisService final : public QDBusVirtualObject {
  public:
    static constexpr char16_t kObjectPath[] = u"/org/mpris/MediaPlayer2";

    explicit MprisService(Program& program);
    ~MprisService() override;

    // Connects to the session bus and takes the name org.mpris.MediaPlayer2.carvel (with an
    // instance suffix when another program holds it). Without a session bus it does nothing and
    // returns false; it never starts one.
    bool attach();

    // What plays may have changed: tells the bus which properties did.
    void update();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

  private:
    QVariantMap rootProperties() const;
    QVariantMap playerProperties() const;
    QVariantMap metadata() const;
    bool call(const QString& member, const QDBusMessage& message);
    // Tells that the position jumped (Seek, SetPosition).
    void emitSeeked();

    Program& program_;
    bool attached_ = false;
    static constexpr int kPollMs = 250;
    QTimer poll_;
    mutable std::uint64_t lengthSerial_ = 0;  // the chart whose length lengthMs_ holds
    mutable double lengthMs_ = 0;
    QVariantMap lastPlayer_;
};

}  // namespace carvel
