#include "platform/text_file.h"

#include "platform/regular_file.h"
#include "platform/text_decoding.h"

namespace carvel {

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
