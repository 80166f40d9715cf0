#include "platform/text_file.h"

#include "platform/regular_file.h"
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
    const FileBytes file = readFileBytes(path, kMaxTextFileBytes);
    if (file.status != FileBytes::Status::Ok) {
        return std::nullopt;
    }
    return decodeText(file.bytes);
}

}  // namespace carvel
