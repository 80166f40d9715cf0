#include "platform/text_decoding.h"

#include <QStringDecoder>

namespace carvel {

namespace {

std::optional<QString> decodeUtf8(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

QString decodeUtf8OrCp932(QByteArrayView bytes) {
    if (std::optional<QString> text = decodeUtf8(bytes)) {
        return *std::move(text);
    }
    QStringDecoder cp932("windows-31j");
    if (!cp932.isValid()) {
        // Qt built without ICU: keep the text readable rather than failing the whole file.
        return QString::fromLatin1(bytes);
    }
    return cp932(bytes);
}

std::optional<QString> decodeUtf8OrCp932Strictly(QByteArrayView bytes) {
    if (std::optional<QString> text = decodeUtf8(bytes)) {
        return text;
    }
    QStringDecoder cp932("windows-31j", QStringDecoder::Flag::Stateless);
    if (!cp932.isValid()) {
        return std::nullopt;
    }
    QString text = cp932(bytes);
    if (cp932.hasError()) {
        return std::nullopt;
    }
    return text;
}

QString decodeText(QByteArrayView bytes) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                          : QStringDecoder::Utf16BE);
        return utf16(bytes.sliced(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes = bytes.sliced(3);
    }
    return decodeUtf8OrCp932(bytes);
}

}  // namespace carvel
