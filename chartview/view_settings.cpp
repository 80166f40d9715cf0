#include "chartview/view_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <cmath>

namespace carvel {

namespace {

const QString kGeometry = QStringLiteral("chartview/geometry");
const QString kSpan = QStringLiteral("chartview/spanMs");

// QSettings would block on a FIFO, and a folder or a device holds no settings of ours.
bool usable(const QString& file) {
    if (file.isEmpty()) {
        return false;
    }
    const QFileInfo info(file);
    return !info.exists() || info.isFile();
}

}  // namespace

ViewSettings loadViewSettings(const QString& file) {
    ViewSettings settings;
    if (!usable(file) || !QFileInfo::exists(file)) {
        return settings;
    }
    const QSettings ini(file, QSettings::IniFormat);
    settings.geometry = ini.value(kGeometry).toByteArray();
    bool ok = false;
    const double span = ini.value(kSpan).toDouble(&ok);
    if (ok && span >= kShortestSpanMs && span <= kLongestSpanMs) {
        settings.spanMs = span;
    }
    return settings;
}

bool saveViewSettings(const QString& file, const ViewSettings& settings) {
    if (!usable(file) || !QDir().mkpath(QFileInfo(file).absolutePath())) {
        return false;
    }
    QSettings ini(file, QSettings::IniFormat);
    ini.setValue(kGeometry, settings.geometry);
    ini.setValue(kSpan, settings.spanMs);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

}  // namespace carvel
