#include "app/window_places.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWindow>

namespace carvel {

namespace {

// QSettings would block on a FIFO, and a folder or a device holds no settings of ours.
bool usable(const QString& file) {
    if (file.isEmpty()) {
        return false;
    }
    const QFileInfo info(file);
    return !info.exists() || info.isFile();
}

QString entry(const QString& key, const char16_t* field) {
    return QStringLiteral("windows/") + key + u'.' + QString::fromUtf16(field);
}

}  // namespace

void savePlace(const QWidget& window, const QString& file, const QString& key) {
    // A window never shown has no place of its own.
    if (window.windowHandle() == nullptr || !usable(file) ||
        !QDir().mkpath(QFileInfo(file).absolutePath())) {
        return;
    }
    QSettings ini(file, QSettings::IniFormat);
    const QScreen* screen = window.screen();
    ini.setValue(entry(key, u"screen"), screen ? screen->name() : QString());
    ini.setValue(entry(key, u"x"), window.x());
    ini.setValue(entry(key, u"y"), window.y());
    ini.sync();
}

void restorePlace(QWidget& window, const QString& file, const QString& key) {
    if (!usable(file) || !QFileInfo::exists(file)) {
        return;
    }
    const QSettings ini(file, QSettings::IniFormat);
    bool xOk = false;
    bool yOk = false;
    const QPoint place(ini.value(entry(key, u"x")).toInt(&xOk),
                       ini.value(entry(key, u"y")).toInt(&yOk));
    const QString name = ini.value(entry(key, u"screen")).toString();
    if (!xOk || !yOk) {
        return;
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == name && screen->availableGeometry().contains(place)) {
            window.move(place);
            return;
        }
    }
}

}  // namespace carvel
