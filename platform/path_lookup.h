#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace carvel {

// Finds the file that a chart names relative to its folder. Charts are often written on systems
// with '\' as separator and without letter case in file names, so a name is tried, in this order:
// exactly; component by component without regard to case; then, when still missing, with the same
// stem and the other usual extensions of its kind (sound: wav, ogg, flac; picture: bmp, png, jpg,
// jpeg). Folder listings are cached, so one resolver serves one load and is then dropped.
// Not thread-safe.
class PathResolver {
  public:
    // folder ends in '/'. Returns the path of an existing regular file, or an empty string.
    QString resolve(const QString& folder, const QString& name);

  private:
    QString resolveExactOrFolded(const QString& folder, const QString& relative);
    const QStringList& listing(const QString& folder);

    QHash<QString, QStringList> listings_;
};

}  // namespace carvel
