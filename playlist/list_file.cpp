#include "playlist/list_file.h"

#include <QSaveFile>

#include "platform/regular_file.h"
#include "platform/text_decoding.h"
#include "platform/text_file.h"

namespace carvel {

namespace {

Playlist::Entry parseLine(QByteArrayView line, qsizetype mark) {
    // The check first: most lines are UTF-8, and a decoder for each line would cost more.
    const std::optional<QString> text =
        line.isValidUtf8() ? QString::fromUtf8(line) : decodeUtf8OrCp932Strictly(line);
    if (text) {
        // '>' is never part of a multibyte character in either encoding, so it is still there.
        const qsizetype decodedMark = text->indexOf(u'>');
        return {text->left(decodedMark), text->sliced(decodedMark + 1), {}};
    }
    return {decodeUtf8OrCp932(line.first(mark)), decodeUtf8OrCp932(line.sliced(mark + 1)),
            line.toByteArray()};
}

}  // namespace

std::vector<Playlist::Entry> parseListFile(const QByteArray& bytes) {
    std::vector<Playlist::Entry> entries;
    QByteArrayView rest(bytes);
    if (rest.startsWith("\xEF\xBB\xBF")) {
        rest = rest.sliced(3);
    }
    while (!rest.isEmpty()) {
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != '\r' && rest[end] != '\n') {
            ++end;
        }
        const QByteArrayView line = rest.first(end);
        if (end < rest.size()) {
            end += rest.sliced(end).startsWith("\r\n") ? 2 : 1;
        }
        rest = rest.sliced(end);
        const qsizetype mark = line.indexOf('>');
        if (mark >= 0) {
            entries.push_back(parseLine(line, mark));
        }
    }
    return entries;
}

QByteArray formatListFile(const std::vector<Playlist::Entry>& entries) {
    QByteArray out;
    for (const Playlist::Entry& entry : entries) {
        if (holdsLineBreak(entry.path)) {
            continue;
        }
        if (!entry.line.isEmpty() && !entry.line.contains('\r') && !entry.line.contains('\n')) {
            out += entry.line;
            out += "\r\n";
            continue;
        }
        QString title = entry.title;
        title.replace(u'>', QChar(0xFF1E));
        title.remove(u'\r');
        title.remove(u'\n');
        out += title.toUtf8();
        out += '>';
        out += entry.path.toUtf8();
        out += "\r\n";
    }
    // A kept line that begins like a byte-order mark would lose it to the reader when it comes
    // first: a mark of our own goes before it, and the reader takes only that one.
    if (out.startsWith("\xEF\xBB\xBF")) {
        out.prepend("\xEF\xBB\xBF");
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

}  // namespace carvel
