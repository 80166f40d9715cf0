#include "playlist/list_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/regular_file.h"
#include "platform/text_decoding.h"
#include "platform/text_file.h"
#include "playlist/line_reader.h"
#include "playlist/playlist.h"

namespace carvel {

namespace {

bool breaksLine(QByteArrayView bytes) {
    return bytes.indexOf('\r') >= 0 || bytes.indexOf('\n') >= 0;
}

// Appends one entry as the list file holds it, or nothing for an entry that cannot be a line.
void formatEntry(QByteArray& out, const EntryStore::Kept& entry) {
    if (entry.utf16 ? holdsLineBreak(EntryStore::text(entry.path, true)) : breaksLine(entry.path)) {
        return;
    }
    if (!entry.line.isEmpty() && !breaksLine(entry.line)) {
        out += entry.line;
        out += "\r\n";
        return;
    }
    if (entry.utf16) {
        QString title = EntryStore::text(entry.title, true);
        title.replace(u'>', QChar(0xFF1E));
        title.remove(u'\r');
        title.remove(u'\n');
        out += title.toUtf8();
        out += '>';
        out += EntryStore::text(entry.path, true).toUtf8();
        out += "\r\n";
        return;
    }
    // UTF-8 kept as it was read or encoded: these ASCII bytes are never inside a character.
    const auto special = [](char c) { return c == '>' || c == '\r' || c == '\n'; };
    if (std::none_of(entry.title.begin(), entry.title.end(), special)) {
        out += entry.title;
    } else {
        for (const char c : entry.title) {
            if (c == '>') {
                out += "\xEF\xBC\x9E";  // U+FF1E
            } else if (!special(c)) {
                out += c;
            }
        }
    }
    out += '>';
    out += entry.path;
    out += "\r\n";
}

// Formats the entries as the list file holds them, handing the text to sink in pieces of about
// a mebibyte.
template <class Sink>
void formatInPieces(const EntryStore& entries, Sink&& sink) {
    constexpr qsizetype kPiece = qsizetype{1} << 20;
    QByteArray piece;
    piece.reserve(kPiece + 4096);
    bool first = true;
    const auto hand = [&] {
        // A kept line that begins like a byte-order mark would lose it to the reader when it comes
        // first: a mark of our own goes before it, and the reader takes only that one. Every
        // entry's line is at least three bytes long, so the first piece shows it.
        if (first && startsWithMark(piece)) {
            piece.prepend(kByteOrderMark);
        }
        first = false;
        sink(QByteArrayView(piece));
        piece.resize(0);
    };
    for (EntryStore::Cursor cursor(entries); !cursor.atEnd(); cursor.next()) {
        formatEntry(piece, cursor.kept());
        if (piece.size() >= kPiece) {
            hand();
        }
    }
    if (!piece.isEmpty()) {
        hand();
    }
}

}  // namespace

EntryStore parseListFile(QByteArrayView bytes) {
    LineReader reader;
    reader.take(bytes);
    return reader.finish();
}

QByteArray formatListFile(const EntryStore& entries) {
    QByteArray out;
    formatInPieces(entries, [&out](QByteArrayView piece) { out += piece; });
    return out;
}

ListFileReading loadListFile(const QString& path) {
    ListFileReading result;
    const QByteArray native = QFile::encodeName(path);
    const auto unreadable = [&result](QString error) {
        result.status = ListFileReading::Status::Unreadable;
        result.entries.clear();
        result.error = std::move(error);
        return std::move(result);
    };
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) {
        return errno == ENOENT ? result : unreadable(qt_error_string(errno));
    }
    RegularFile file(native);
    if (!file.isOpen()) {
        const int error = errno;
        return isRegularFile(native) ? unreadable(qt_error_string(error))
                                     : unreadable(QStringLiteral("通常のﾌｧｲﾙではありません"));
    }
    try {
        LineReader reader;
        std::vector<char> chunk(size_t{1} << 20);
        for (;;) {
            const ssize_t got = ::read(file.fd(), chunk.data(), chunk.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return unreadable(qt_error_string(errno));
            }
            if (got == 0) {
                break;
            }
            reader.take(QByteArrayView(chunk.data(), static_cast<qsizetype>(got)));
        }
        result.entries = reader.finish();
        result.status = ListFileReading::Status::Ok;
    } catch (const std::bad_alloc&) {
        return unreadable(QStringLiteral("ﾒﾓﾘが足りません"));
    }
    return result;
}

EntryStore readListFile(const QString& path) {
    return loadListFile(path).entries;
}

QString writeListFile(const QString& path, const EntryStore& entries) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    bool written = true;
    formatInPieces(entries, [&](QByteArrayView piece) {
        written = written && file.write(piece.data(), piece.size()) == piece.size();
    });
    if (!written) {
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
