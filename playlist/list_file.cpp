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
#include "playlist/playlist.h"

namespace carvel {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool startsWithMark(QByteArrayView bytes) {
    return bytes.size() >= 3 && std::memcmp(bytes.data(), kByteOrderMark, 3) == 0;
}

// Cuts the bytes of a list file into lines as they come, in pieces of any size, and keeps the
// entries they hold. A line ends at CR or LF; the empty line between the two of a CR LF has no '>'
// and is skipped like any other.
class LineReader {
  public:
    void take(QByteArrayView bytes) {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        scan(false);
    }

    EntryStore finish() {
        scan(true);
        takeLine(QByteArrayView(pending_.data(), static_cast<qsizetype>(pending_.size())));
        pending_.clear();
        return std::move(entries_);
    }

  private:
    // Takes every ended line of what is pending. The byte-order mark is looked for once three
    // bytes are there, or at the end of a shorter file.
    void scan(bool atEnd) {
        size_t lineStart = 0;
        if (!markChecked_) {
            if (pending_.size() < 3 && !atEnd) {
                return;
            }
            markChecked_ = true;
            if (startsWithMark(
                    QByteArrayView(pending_.data(), static_cast<qsizetype>(pending_.size())))) {
                lineStart = 3;
            }
        }
        const char* const data = pending_.data();
        const char* const end = data + pending_.size();
        // Line ends are found with memchr: the next LF, found again only once passed, and a CR
        // before it. No byte is looked at twice, whichever line breaks the file uses.
        const char* lf = nullptr;  // the next LF, or end when there is none
        for (const char* at = data + std::max(scanned_, lineStart); at < end;) {
            if (lf == nullptr || lf < at) {
                lf = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
                lf = lf ? lf : end;
            }
            const auto* cr =
                static_cast<const char*>(std::memchr(at, '\r', static_cast<size_t>(lf - at)));
            const char* const lineEnd = cr ? cr : lf;
            if (lineEnd == end) {
                break;
            }
            takeLine(QByteArrayView(data + lineStart, lineEnd - (data + lineStart)));
            // The LF of a CR LF would end an empty line, which holds no entry.
            const char* next = lineEnd + 1;
            if (lineEnd == cr && next < end && *next == '\n') {
                ++next;
            }
            lineStart = static_cast<size_t>(next - data);
            at = next;
        }
        // Only the line not yet ended stays, already looked through.
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(lineStart));
        scanned_ = pending_.size();
    }

    void takeLine(QByteArrayView line) {
        if (line.isEmpty()) {
            return;
        }
        const auto* const found = static_cast<const char*>(
            std::memchr(line.data(), '>', static_cast<size_t>(line.size())));
        if (!found) {
            return;
        }
        const qsizetype mark = found - line.data();
        // Most lines are UTF-8: they are kept as they are, with no text decoded. The line's
        // decoding always dropped a byte-order mark that began it, so the title does.
        if (line.isValidUtf8()) {
            QByteArrayView title = line.first(mark);
            if (startsWithMark(title)) {
                title = title.sliced(3);
            }
            entries_.appendUtf8(title, line.sliced(mark + 1));
            return;
        }
        if (const std::optional<QString> text = decodeUtf8OrCp932Strictly(line)) {
            // '>' is never part of a multibyte character in either encoding, so it is still there.
            const qsizetype decodedMark = text->indexOf(u'>');
            entries_.push_back({text->left(decodedMark), text->sliced(decodedMark + 1)});
            return;
        }
        entries_.push_back({decodeUtf8OrCp932(line.first(mark)),
                            decodeUtf8OrCp932(line.sliced(mark + 1)), line.toByteArray()});
    }

    std::vector<char> pending_;
    size_t scanned_ = 0;
    bool markChecked_ = false;
    EntryStore entries_;
};

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
