#include "platform/text_decoding.h"

#include <QStringDecoder>

namespace carvel {

QString decodeText(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) {
        view = view.sliced(3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(view);
    if (!utf8.hasError()) {
        return text;
    }
    QStringDecoder cp932("windows-31j");
    if (!cp932.isValid()) {
        // Qt built without ICU: keep the text readable rather than failing the whole file.
        return QString::fromLatin1(bytes);
    }
    return cp932(bytes);
}

}  // namespace carvel
