#include "app/reading_setting.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <cstdio>

#include "platform/command_line.h"
#include "platform/regular_file.h"

namespace carvel {

namespace {

const QString kKey = QStringLiteral("reading");
const QString kFull = QStringLiteral("full");
// The file holds one short key; anything longer is not ours.
constexpr qint64 kMaxSettingBytes = 64 << 10;

// True, with a line on standard error, when something other than a regular file has the name:
// QSettings would block on a FIFO, and it is no setting of ours anyway.
bool isOtherThanRegularFile(const QString& file) {
    const QByteArray native = QFile::encodeName(file);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0 || S_ISREG(info.st_mode)) {
        return false;
    }
    printText(stderr, QStringLiteral("carvel: 設定ﾌｧｲﾙ ") + file +
                          QStringLiteral(" は通常のﾌｧｲﾙではないので、読み書きしません。\n"));
    return true;
}

}  // namespace

QString ReadingSetting::defaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/carvel/carvel.conf");
}

ReadingMode ReadingSetting::load() const {
    if (file_.isEmpty() || isOtherThanRegularFile(file_)) {
        return ReadingMode::Classic;
    }
    // Read here rather than by QSettings, which would open whatever has the name by then.
    const FileBytes file = readFileBytes(file_, kMaxSettingBytes);
    if (file.status != FileBytes::Status::Ok) {
        return ReadingMode::Classic;
    }
    // The INI file QSettings writes: the key in the section [General], or before any section.
    bool general = true;
    for (const QByteArray& rawLine : file.bytes.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            general = line == "[General]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (general && equals > 0 && line.first(equals).trimmed() == kKey.toLatin1()) {
            return line.sliced(equals + 1).trimmed() == kFull.toLatin1() ? ReadingMode::Full
                                                                         : ReadingMode::Classic;
        }
    }
    return ReadingMode::Classic;
}

bool ReadingSetting::save(ReadingMode mode) const {
    if (file_.isEmpty()) {
        return true;
    }
    if (isOtherThanRegularFile(file_) || !QDir().mkpath(QFileInfo(file_).absolutePath())) {
        return false;
    }
    QSettings settings(file_, QSettings::IniFormat);
    settings.setValue(kKey, mode == ReadingMode::Full ? kFull : QStringLiteral("classic"));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace carvel
