#include "playlist/list_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/file_system.h"
#include "platform/regular_file.h"
#include "platform/text_decoding.h"
#include "platform/text_file.h"

namespace carvel {

std::vector<Playlist::Entry> parseListFile(const QByteArray& bytes) {
    std::vector<Playlist::Entry> entries;
    for (const QString& line : splitLines(decodeText(bytes))) {
        const qsizetype mark = line.indexOf(u'>');
        if (mark < 0) {
            break;
        }
        entries.push_back({line.left(mark), line.sliced(mark + 1)});
    }
    return entries;
}

QByteArray formatListFile(const std::vector<Playlist::Entry>& entries) {
    QByteArray out;
    for (const Playlist::Entry& entry : entries) {
        QString title = entry.title;
        title.replace(u'>', QChar(0xFF1E));
        title.remove(u'\r');
        title.remove(u'\n');
        out += title.toUtf8();
        out += '>';
        out += entry.path.toUtf8();
        out += "\r\n";
    }
    return out;
}

std::vector<Playlist::Entry> readListFile(const QString& path) {
    const FileBytes file = readFileBytes(path, kMaxTextFileBytes);
    return file.status == FileBytes::Status::Ok ? parseListFile(file.bytes)
                                                : std::vector<Playlist::Entry>{};
}

QString writeListFile(const QString& path, const std::vector<Playlist::Entry>& entries) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    const QByteArray bytes = formatListFile(entries);
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return QString();
}

QString listFilePath() {
    const QString name = QStringLiteral("cuebook.dat");
    const QString program = programFolder();
    const QFileInfo folder(program);
    const QFileInfo existing(program + name);
    if (folder.isWritable() && (!existing.exists() || existing.isWritable())) {
        return program + name;
    }
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return withTrailingSlash(data) + name;
}

}  // namespace carvel
