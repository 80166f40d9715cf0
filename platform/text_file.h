#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace carvel {

// Splits text into lines. CR LF, LF and CR each end a line; the break is not part of the line.
// A final line without a break is a line; a break at the very end adds no empty line.
QStringList splitLines(const QString& text);

// Calls line(QStringView) for each line of text, split as splitLines does, without copying.
template <typename LineFunction>
void forEachLine(QStringView text, LineFunction&& line) {
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            line(text.sliced(start, i - start));
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < n) {
        line(text.sliced(start));
    }
}

// Text files larger than this are not read whole.
inline constexpr qint64 kMaxTextFileBytes = qint64{64} << 20;

// Reads a whole regular text file and decodes it (decodeText). Empty when the file is missing, is
// no regular file, is larger than kMaxTextFileBytes, or cannot be read.
std::optional<QString> readTextFile(const QString& path);

}  // namespace carvel
