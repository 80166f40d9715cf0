#include "app/mpris_service.h"

#include <cmath>

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "app/program.h"
#include "platform/file_name.h"

namespace carvel {

namespace {

const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kName = QStringLiteral("org.mpris.MediaPlayer2.carvel");

const QString kIntrospection = QStringLiteral(R"(
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
    <method name="SetPosition">
      <arg direction="in" name="TrackId" type="o"/>
      <arg direction="in" name="Position" type="x"/>
    </method>
    <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get">
      <arg direction="in" name="interface_name" type="s"/>
      <arg direction="in" name="property_name" type="s"/>
      <arg direction="out" name="value" type="v"/>
    </method>
    <method name="GetAll">
      <arg direction="in" name="interface_name" type="s"/>
      <arg direction="out" name="properties" type="a{sv}"/>
    </method>
    <method name="Set">
      <arg direction="in" name="interface_name" type="s"/>
      <arg direction="in" name="property_name" type="s"/>
      <arg direction="in" name="value" type="v"/>
    </method>
    <signal name="PropertiesChanged">
      <arg name="interface_name" type="s"/>
      <arg name="changed_properties" type="a{sv}"/>
      <arg name="invalidated_properties" type="as"/>
    </signal>
  </interface>
)");

// A session bus is there to be reached: its address is set, or the user's bus socket exists.
// Without either, connecting would try to start a bus (autolaunch), which takes its time.
bool sessionBusExpected() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

}  // namespace

MprisService::MprisService(Program& program) : program_(program) {}

MprisService::~MprisService() {
    if (attached_) {
        QDBusConnection::sessionBus().unregisterObject(QString::fromUtf16(kObjectPath));
    }
}

bool MprisService::attach() {
    if (attached_ || !sessionBusExpected()) {
        return attached_;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.registerVirtualObject(QString::fromUtf16(kObjectPath), this)) {
        return false;
    }
    if (!bus.registerService(kName)) {
        bus.registerService(kName + QStringLiteral(".instance") + QString::number(getpid()));
    }
    attached_ = true;
    lastPlayer_ = playerProperties();
    // Changes that no signal of the program reports (the playlist's entries, a pause from the
    // window) reach the bus within a poll.
    poll_.setInterval(kPollMs);
    QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { update(); });
    poll_.start();
    return true;
}

void MprisService::update() {
    if (!attached_) {
        return;
    }
    const QVariantMap now = playerProperties();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it) {
        if (it.key() != u"Position" && lastPlayer_.value(it.key()) != it.value()) {
            changed.insert(it.key(), it.value());
        }
    }
    lastPlayer_ = now;
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromUtf16(kObjectPath), kProperties,
                                                     QStringLiteral("PropertiesChanged"));
    signal << kPlayer << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

void MprisService::emitSeeked() {
    if (!attached_) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromUtf16(kObjectPath), kPlayer,
                                                     QStringLiteral("Seeked"));
    signal << qlonglong(std::llround(program_.controller().positionMs() * 1000));
    QDBusConnection::sessionBus().send(signal);
}

QVariantMap MprisService::rootProperties() const {
    return {
        {QStringLiteral("CanQuit"), true},
        {QStringLiteral("CanRaise"), true},
        {QStringLiteral("HasTrackList"), false},
        {QStringLiteral("Identity"), QStringLiteral("Carvel")},
        {QStringLiteral("DesktopEntry"), QStringLiteral("org.carvel_player.Carvel")},
        {QStringLiteral("SupportedUriSchemes"), QStringList{QStringLiteral("file")}},
        {QStringLiteral("SupportedMimeTypes"), QStringList{QStringLiteral("text/x-bms")}},
    };
}

QVariantMap MprisService::playerProperties() const {
    const bool hasEntries = !program_.playlist().isEmpty();
    PlayerController& controller = program_.controller();
    return {
        {QStringLiteral("PlaybackStatus"), !controller.running() ? QStringLiteral("Stopped")
                                           : controller.paused() ? QStringLiteral("Paused")
                                                                 : QStringLiteral("Playing")},
        {QStringLiteral("Rate"), 1.0},
        {QStringLiteral("Metadata"), metadata()},
        {QStringLiteral("Volume"), 1.0},
        {QStringLiteral("Position"), qlonglong(std::llround(controller.positionMs() * 1000))},
        {QStringLiteral("MinimumRate"), 1.0},
        {QStringLiteral("MaximumRate"), 1.0},
        {QStringLiteral("CanGoNext"), hasEntries},
        {QStringLiteral("CanGoPrevious"), hasEntries},
        {QStringLiteral("CanPlay"), hasEntries || !controller.chartPath().isEmpty()},
        {QStringLiteral("CanPause"), true},
        {QStringLiteral("CanSeek"), controller.running() && !controller.loading()},
        {QStringLiteral("CanControl"), true},
    };
}

QVariantMap MprisService::metadata() const {
    const PlayerController& controller = program_.controller();
    const QString& path = controller.chartPath();
    if (path.isEmpty()) {
        return {{QStringLiteral("mpris:trackid"),
                 QVariant::fromValue(QDBusObjectPath(
                     QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")))}};
    }
    // The entry's index names the track; a chart opened twice in a row is the same track.
    const qsizetype entry = std::max<qsizetype>(program_.playlist().current(), 0);
    QVariantMap map{
        {QStringLiteral("mpris:trackid"),
         QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/carvel_player/Carvel/entry/") +
                                             QString::number(entry)))},
        {QStringLiteral("xesam:url"), QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)},
        // Until a title is read, and for a chart that gives none (whose title the player shows as
        // "undifined"), the file's name stands for it.
        {QStringLiteral("xesam:title"), controller.loading() ||
                                                controller.chart().title.isEmpty() ||
                                                controller.chart().title == Chart().title
                                            ? QFileInfo(path).fileName()
                                            : controller.chart().title},
    };
    // Until its load has ended the chart's fields are not known.
    if (controller.loading()) {
        return map;
    }
    // How long the chart plays, to its last event, in microseconds; worked out once a chart.
    const Chart& chart = controller.chart();
    if (lengthSerial_ != controller.chartSerial()) {
        lengthSerial_ = controller.chartSerial();
        lengthMs_ = 0;
        if (chart.mode() == ReadingMode::Full) {
            if (!chart.timeline().events.empty()) {
                lengthMs_ = chart.timeline().events.back().timeMs;
            }
        } else {
            for (const Event& event : chart.table().events) {
                lengthMs_ = std::max(lengthMs_, positionField(event.position) * 1250 / chart.bpm);
            }
        }
    }
    const double lengthMs = lengthMs_;
    if (std::isfinite(lengthMs) && lengthMs > 0) {
        map.insert(QStringLiteral("mpris:length"), qlonglong(std::llround(lengthMs * 1000)));
    }
    // The stage picture, as the title picture shows it.
    for (const MediaRequest& request : chart.media) {
        if (request.kind == MediaRequest::Kind::Stage && request.file.found() &&
            controller.loadedMedia().stage) {
            map.insert(QStringLiteral("mpris:artUrl"),
                       QUrl::fromLocalFile(QFile::decodeName(request.file.native))
                           .toString(QUrl::FullyEncoded));
        }
    }
    if (!controller.chart().artist.isEmpty()) {
        map.insert(QStringLiteral("xesam:artist"), QStringList{controller.chart().artist});
    }
    if (!controller.chart().genre.isEmpty()) {
        map.insert(QStringLiteral("xesam:genre"), QStringList{controller.chart().genre});
    }
    return map;
}

QString MprisService::introspect(const QString& path) const {
    return path == QString::fromUtf16(kObjectPath) ? kIntrospection : QString();
}

bool MprisService::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString interface = message.interface();
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    QDBusMessage reply = message.createReply();
    if (interface == u"org.freedesktop.DBus.Introspectable" && member == u"Introspect") {
        reply = message.createReply(
            QStringLiteral("<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection "
                           "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                           "introspect.dtd\">\n<node>") +
            kIntrospection +
            QStringLiteral("  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
                           "    <method name=\"Introspect\">\n"
                           "      <arg direction=\"out\" name=\"xml_data\" type=\"s\"/>\n"
                           "    </method>\n  </interface>\n</node>\n"));
    } else if (interface == kProperties) {
        const QString target = args.value(0).toString();
        const QVariantMap properties = target == kRoot     ? rootProperties()
                                       : target == kPlayer ? playerProperties()
                                                           : QVariantMap();
        if (member == u"Get" && properties.contains(args.value(1).toString())) {
            reply = message.createReply(
                QVariant::fromValue(QDBusVariant(properties.value(args.value(1).toString()))));
        } else if (member == u"GetAll" && !properties.isEmpty()) {
            reply = message.createReply(QVariant(properties));
        } else if (member == u"Set" && properties.contains(args.value(1).toString())) {
            // Rate and Volume stay at 1 (the player has neither); the rest can only be read.
            const QString name = args.value(1).toString();
            if (name != u"Rate" && name != u"Volume") {
                reply = message.createErrorReply(
                    QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                    QStringLiteral("Read-only property: ") + name);
            }
        } else {
            reply = message.createErrorReply(QDBusError::InvalidArgs,
                                             QStringLiteral("No such property"));
        }
    } else if ((interface == kRoot || interface == kPlayer || interface.isEmpty()) &&
               call(member, message)) {
    } else {
        reply = message.createErrorReply(QDBusError::UnknownMethod,
                                         QStringLiteral("No such method: ") + member);
    }
    if (!message.isReplyRequired()) {
        return true;
    }
    connection.send(reply);
    return true;
}

bool MprisService::call(const QString& member, const QDBusMessage& message) {
    PlayerController& controller = program_.controller();
    if (member == u"Play") {
        if (!controller.running() || controller.paused()) {
            program_.play();
        }
    } else if (member == u"Pause") {
        controller.pause();
    } else if (member == u"Stop") {
        program_.stop();
    } else if (member == u"PlayPause") {
        if (controller.running() && !controller.paused()) {
            controller.pause();
            // A run that cannot hold (loading, or ringing out its last sounds) stops instead.
            if (!controller.paused()) {
                program_.stop();
            }
        } else {
            program_.play();
        }
    } else if (member == u"Seek") {
        // Microseconds from where the run stands.
        const double offsetMs =
            static_cast<double>(message.arguments().value(0).toLongLong()) / 1000;
        controller.seekTo(controller.positionMs() + offsetMs);
        emitSeeked();
    } else if (member == u"SetPosition") {
        const double toMs = static_cast<double>(message.arguments().value(1).toLongLong()) / 1000;
        if (toMs >= 0) {
            controller.seekTo(toMs);
            emitSeeked();
        }
    } else if (member == u"Next") {
        program_.next();
    } else if (member == u"Previous") {
        program_.previous();
    } else if (member == u"Raise") {
        program_.raise();
    } else if (member == u"Quit") {
        program_.exit();
    } else if (member == u"OpenUri") {
        const QString path = localFileName(QUrl(message.arguments().value(0).toString()));
        if (!path.isEmpty()) {
            program_.handOver({QString(), QStringLiteral("--"), path});
        }
    } else {
        return false;
    }
    update();
    return true;
}

}  // namespace carvel
