#pragma once

#include <QString>
#include <QStringList>
#include <algorithm>
#include <optional>

namespace carvel {

// Splits text into lines. CR LF, LF and CR each end a line; the break is not part of the line.
// A final line without a break is a line; a break at the very end adds no empty line.
QStringList splitLines(const QString& text);

// Calls line(QStringView) for each line of text, split as splitLines does, without copying.
template <typename LineFunction>
void forEachLine(QStringView text, LineFunction&& line) {
    // The breaks are found with indexOf, which is much faster on long text than a loop of our own;
    // the next CR and the next LF are each searched for again only once passed.
    const qsizetype n = text.size();
    qsizetype nextCr = text.indexOf(u'\r');
    qsizetype nextLf = text.indexOf(u'\n');
    qsizetype start = 0;
    while (start < n) {
        if (nextCr >= 0 && nextCr < start) {
            nextCr = text.indexOf(u'\r', start);
        }
        if (nextLf >= 0 && nextLf < start) {
            nextLf = text.indexOf(u'\n', start);
        }
        qsizetype end = nextCr < 0 ? nextLf : nextLf < 0 ? nextCr : std::min(nextCr, nextLf);
        if (end < 0) {
            line(text.sliced(start));
            return;
        }
        line(text.sliced(start, end - start));
        start = end + (text[end] == u'\r' && end + 1 < n && text[end + 1] == u'\n' ? 2 : 1);
    }
}

// Text files larger than this are not read whole.
inline constexpr qint64 kMaxTextFileBytes = qint64{64} << 20;

// Reads a whole regular text file and decodes it (decodeText). Empty when the file is missing, is
// no regular file, is larger than kMaxTextFileBytes, or cannot be read.
std::optional<QString> readTextFile(const QString& path);

}  // namespace carvel
