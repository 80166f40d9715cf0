#include "platform/text_file.h"

#include <QStringDecoder>
#include <cstdint>
#include <cstring>

#include "platform/regular_file.h"
#include "platform/text_decoding.h"

namespace carvel {

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHighBits = kOnes * 0x80;

// Whether every byte passes: eight bytes at a time, a byte failing when flags(word) sets its high
// bit, four words to a branch (the loads overlap, and the branch is taken once at most); the bytes
// after the last word by passes(byte).
template <typename Flags, typename Passes>
bool everyByte(QByteArrayView bytes, Flags flags, Passes passes) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    for (; end - p >= 32; p += 32) {
        std::uint64_t words[4];
        std::memcpy(words, p, sizeof words);
        if (((flags(words[0]) | flags(words[1]) | flags(words[2]) | flags(words[3])) & kHighBits) !=
            0) {
            return false;
        }
    }
    for (; end - p >= 8; p += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, sizeof word);
        if ((flags(word) & kHighBits) != 0) {
            return false;
        }
    }
    for (; p != end; ++p) {
        if (!passes(*p)) {
            return false;
        }
    }
    return true;
}

bool isAscii(QByteArrayView bytes) {
    return everyByte(
        bytes, [](std::uint64_t word) { return word; },
        [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether decodeText's UTF-8 decoder takes the bytes without an error. They are decoded in pieces
// that end after an ASCII byte, which no sequence spans, so that no copy of the whole text is made.
bool isUtf8(QByteArrayView bytes) {
    constexpr qsizetype kPiece = qsizetype{1} << 16;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = std::min(start + kPiece, bytes.size());
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end - 1]) >= 0x80) {
            ++end;
        }
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString piece = utf8(bytes.sliced(start, end - start));
        if (utf8.hasError()) {
            return false;
        }
        start = end;
    }
    return true;
}

}  // namespace

LineDecoder::LineDecoder(QByteArrayView bytes) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        byLines_ = false;
        return;
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes = bytes.sliced(3);
    }
    text_ = bytes;
    utf8_ = isAscii(bytes) || isUtf8(bytes);
    latin1_ = !utf8_ && !QStringDecoder("windows-31j").isValid();
}

bool LineDecoder::isPlain(QByteArrayView bytes) {
    // A byte below 0x21 or above 0x7E sets its high bit in the test word.
    const auto outside = [](std::uint64_t word) {
        const std::uint64_t below = (word - kOnes * 0x21) & ~word;
        const std::uint64_t above = (word + kOnes * (0x7F - 0x7E)) | word;
        return below | above;
    };
    return everyByte(bytes, outside, [](char c) { return isPlain(c); });
}

QString LineDecoder::decode(QByteArrayView line) const {
    if (utf8_) {
        // Only the start of the text may lose a byte-order mark, as in the whole text.
        const bool first = line.data() == text_.data();
        QStringDecoder utf8(
            QStringDecoder::Utf8,
            first ? QStringDecoder::Flag::Stateless
                  : QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        return utf8(line);
    }
    if (latin1_) {
        return QString::fromLatin1(line);
    }
    // A lead byte without its second byte decodes otherwise before a break than at the end of the
    // text, so the break is decoded with the line (it always decodes to itself) and taken off.
    const qsizetype end = line.data() - text_.data() + line.size();
    qsizetype breakLength = 0;
    if (end < text_.size()) {
        breakLength =
            text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n' ? 2 : 1;
    }
    QStringDecoder cp932("windows-31j");
    QString text = cp932(QByteArrayView(line.data(), line.size() + breakLength));
    text.chop(breakLength);
    return text;
}

QStringList splitLines(const QString& text) {
    QStringList lines;
    forEachLine(text, [&](QStringView line) { lines.append(line.toString()); });
    return lines;
}

std::optional<QString> readTextFile(const QString& path) {
    const FileBytes file = readFileBytes(path, kMaxTextFileBytes);
    if (file.status != FileBytes::Status::Ok) {
        return std::nullopt;
    }
    return decodeText(file.bytes);
}

}  // namespace carvel
