#include "playlist/line_reader.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/text_decoding.h"

namespace carvel {

bool startsWithMark(QByteArrayView bytes) {
    return bytes.size() >= 3 && std::memcmp(bytes.data(), kByteOrderMark, 3) == 0;
}

void LineReader::take(QByteArrayView bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    scan(false);
}

EntryStore LineReader::finish() {
    scan(true);
    takeLine(QByteArrayView(pending_.data(), static_cast<qsizetype>(pending_.size())));
    pending_.clear();
    return std::move(entries_);
}

// Takes every ended line of what is pending. The byte-order mark is looked for once three bytes
// are there, or at the end of a shorter file.
void LineReader::scan(bool atEnd) {
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

void LineReader::takeLine(QByteArrayView line) {
    if (line.isEmpty()) {
        return;
    }
    const auto* const found =
        static_cast<const char*>(std::memchr(line.data(), '>', static_cast<size_t>(line.size())));
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

}  // namespace carvel
