#include "app/screen_keeper.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QtGlobal>

namespace carvel {

namespace {

QDBusMessage screenSaverCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
                                          QStringLiteral("/org/freedesktop/ScreenSaver"),
                                          QStringLiteral("org.freedesktop.ScreenSaver"), method);
}

bool sessionBusExpected() {
    return qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace

ScreenKeeper::~ScreenKeeper() {
    wanted_ = false;
    released();
}

void ScreenKeeper::keepOn(bool on) {
    if (on == wanted_) {
        return;
    }
    wanted_ = on;
    if (!on) {
        released();
        return;
    }
    if (asking_ || cookie_ != 0 || !sessionBusExpected()) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage inhibit = screenSaverCall(QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("Carvel") << QStringLiteral("BGAを表示しています");
    asking_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(inhibit), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<unsigned int> reply = *call;
                call->deleteLater();
                asking_ = false;
                if (reply.isValid()) {
                    cookie_ = reply.value();
                    // Turned off while the answer was on its way.
                    if (!wanted_) {
                        released();
                    }
                }
            });
}

void ScreenKeeper::released() {
    if (cookie_ == 0) {
        return;
    }
    QDBusMessage unInhibit = screenSaverCall(QStringLiteral("UnInhibit"));
    unInhibit << cookie_;
    cookie_ = 0;
    QDBusConnection::sessionBus().send(unInhibit);
}

}  // namespace carvel
