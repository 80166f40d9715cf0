#include "platform/text_file.h"

#include <QFile>

#include "platform/text_decoding.h"

namespace carvel {

QStringList splitLines(const QString& text) {
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines.append(text.sliced(start, i - start));
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < n) {
        lines.append(text.sliced(start));
    }
    return lines;
}

std::optional<QString> readTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return decodeText(bytes);
}

std::optional<QStringList> readTextLines(const QString& path) {
    std::optional<QString> text = readTextFile(path);
    if (!text) {
        return std::nullopt;
    }
    return splitLines(*text);
}

}  // namespace carvel
