#include "app/reading_setting.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace carvel {

namespace {
const QString kKey = QStringLiteral("reading");
const QString kFull = QStringLiteral("full");
}  // namespace

QString ReadingSetting::defaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/carvel/carvel.conf");
}

ReadingMode ReadingSetting::load() const {
    if (file_.isEmpty()) {
        return ReadingMode::Classic;
    }
    const QSettings settings(file_, QSettings::IniFormat);
    return settings.value(kKey).toString() == kFull ? ReadingMode::Full : ReadingMode::Classic;
}

bool ReadingSetting::save(ReadingMode mode) const {
    if (file_.isEmpty()) {
        return true;
    }
    if (!QDir().mkpath(QFileInfo(file_).absolutePath())) {
        return false;
    }
    QSettings settings(file_, QSettings::IniFormat);
    settings.setValue(kKey, mode == ReadingMode::Full ? kFull : QStringLiteral("classic"));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace carvel
