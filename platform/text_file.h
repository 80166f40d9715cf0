#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <optional>
#include <type_traits>

namespace carvel {

// Splits text into lines. CR LF, LF and CR each end a line; the break is not part of the line.
// A final line without a break is a line; a break at the very end adds no empty line.
QStringList splitLines(const QString& text);

// Calls line(QStringView) for each line of text, split as splitLines does, without copying.
// forEachLineOf is the shared body, for QStringView and QByteArrayView.
template <typename Text, typename LineFunction>
void forEachLineOf(Text text, LineFunction&& line) {
    // The breaks are found with indexOf, which is much faster on long text than a loop of our own;
    // the next CR and the next LF are each searched for again only once passed.
    using Unit = std::conditional_t<std::is_same_v<Text, QStringView>, char16_t, char>;
    constexpr Unit cr = '\r';
    constexpr Unit lf = '\n';
    const qsizetype n = text.size();
    qsizetype nextCr = text.indexOf(cr);
    qsizetype nextLf = text.indexOf(lf);
    qsizetype start = 0;
    while (start < n) {
        if (nextCr >= 0 && nextCr < start) {
            nextCr = text.indexOf(cr, start);
        }
        if (nextLf >= 0 && nextLf < start) {
            nextLf = text.indexOf(lf, start);
        }
        qsizetype end = nextCr < 0 ? nextLf : nextLf < 0 ? nextCr : std::min(nextCr, nextLf);
        if (end < 0) {
            line(text.sliced(start));
            return;
        }
        line(text.sliced(start, end - start));
        start = end + (text[end] == cr && end + 1 < n && text[end + 1] == lf ? 2 : 1);
    }
}

template <typename LineFunction>
void forEachLine(QStringView text, LineFunction&& line) {
    forEachLineOf(text, line);
}

// The same for bytes: CR and LF are the breaks, whatever the encoding (neither is ever part of a
// UTF-8 or CP932 sequence).
template <typename LineFunction>
void forEachLine(QByteArrayView bytes, LineFunction&& line) {
    forEachLineOf(bytes, line);
}

// Decodes a whole file's bytes line by line, exactly as decodeText decodes them whole and
// forEachLine splits the result, so that a reader can look at the bytes and decode only what a
// person reads. The encoding is decided for the whole file: UTF-8 when all of it (after a UTF-8
// mark) is valid UTF-8, otherwise CP932. Files with a UTF-16 mark are not read by lines.
class LineDecoder {
  public:
    explicit LineDecoder(QByteArrayView bytes);

    // False for UTF-16: decode the whole file with decodeText instead.
    bool byLines() const { return byLines_; }
    // The bytes whose lines are decoded (without the UTF-8 mark).
    QByteArrayView text() const { return text_; }
    // Whether a byte decodes to the character of the same code: the printable ASCII characters,
    // in both encodings.
    static bool isPlain(char byte) { return byte > ' ' && byte < '\x7F'; }
    // Whether every byte is plain.
    static bool isPlain(QByteArrayView bytes);

    // A line of text(), as forEachLine gives it, decoded.
    QString decode(QByteArrayView line) const;

  private:
    QByteArrayView text_;
    bool byLines_ = true;
    bool utf8_ = true;
    bool latin1_ = false;  // CP932 without a converter, as decodeText falls back to
};

// Text files larger than this are not read whole.
inline constexpr qint64 kMaxTextFileBytes = qint64{64} << 20;

// Reads a whole regular text file and decodes it (decodeText). Empty when the file is missing, is
// no regular file, is larger than kMaxTextFileBytes, or cannot be read.
std::optional<QString> readTextFile(const QString& path);

}  // namespace carvel
