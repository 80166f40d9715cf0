#include "playlist/list_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <new>

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

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// Cuts the bytes of a list file into lines as they come, in pieces of any size. A line ends at CR
// or LF; the empty line between the two of a CR LF has no '>' and is skipped like any other.
class LineReader {
  public:
    void take(QByteArrayView bytes) {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        scan(false);
    }

    std::vector<Playlist::Entry> finish() {
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
            if (pending_.size() >= 3 && QByteArrayView(pending_.data(), 3) == kByteOrderMark) {
                lineStart = 3;
            }
        }
        // Locals, so the loop is not held back by the entries it appends to.
        const char* const data = pending_.data();
        for (size_t i = scanned_, size = pending_.size(); i < size; ++i) {
            if (data[i] == '\r' || data[i] == '\n') {
                takeLine(QByteArrayView(data + lineStart, static_cast<qsizetype>(i - lineStart)));
                lineStart = i + 1;
            }
        }
        // Only the line not yet ended stays, already looked through.
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(lineStart));
        scanned_ = pending_.size();
    }

    void takeLine(QByteArrayView line) {
        const qsizetype mark = line.indexOf('>');
        if (mark >= 0) {
            entries_.push_back(parseLine(line, mark));
        }
    }

    std::vector<char> pending_;
    size_t scanned_ = 0;
    bool markChecked_ = false;
    std::vector<Playlist::Entry> entries_;
};

}  // namespace

std::vector<Playlist::Entry> parseListFile(const QByteArray& bytes) {
    LineReader reader;
    reader.take(bytes);
    return reader.finish();
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

std::vector<Playlist::Entry> readListFile(const QString& path) {
    return loadListFile(path).entries;
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
