#include "playlist/title_probe.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

#include "chart/text_helpers.h"
#include "platform/file_name.h"
#include "platform/regular_file.h"
#include "platform/text_decoding.h"
#include "platform/text_file.h"
#include "playback/display_texts.h"

namespace carvel {

QString probeTitle(const QString& path) {
    return probeTitleAt(nativePath(path).value_or(QByteArray()));
}

QString probeTitleAt(const QByteArray& nativePath) {
    const QString untitled = untitledText();
    RegularFile regular(nativePath);
    QFile file;
    if (!regular.isOpen() ||
        !file.open(regular.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        return untitled;
    }
    if (nativePath.toLower().endsWith(".bmson")) {
        return bmsonTitleIn(file.read(kProbeLimit));
    }
    // A title line stands near the top: the file is read in growing pieces until that line has
    // ended, which for most charts is the first 4 KiB.
    QByteArray head;
    for (qint64 piece = 4096; head.size() < kProbeLimit; piece *= 2) {
        const QByteArray more = file.read(std::min<qint64>(piece, kProbeLimit - head.size()));
        if (more.isEmpty()) {
            break;
        }
        head += more;
        if (const std::optional<qsizetype> end = titleLineEnd(head)) {
            return titleInText(head.first(*end));
        }
    }
    return titleInText(head);
}

std::optional<qsizetype> titleLineEnd(QByteArrayView head) {
    qsizetype start = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < head.size()) {
        qsizetype end = start;
        while (end < head.size() && head[end] != '\r' && head[end] != '\n') {
            ++end;
        }
        if (head.sliced(start, std::min<qsizetype>(6, end - start))
                .compare("#TITLE", Qt::CaseInsensitive) == 0) {
            return end < head.size() ? std::optional<qsizetype>(end) : std::nullopt;
        }
        start = end + 1;
    }
    return std::nullopt;
}

QString bmsonTitleIn(const QByteArray& head) {
    // Only the title's own string is parsed, so the notes that may come before it cost nothing
    // but the search.
    const QString untitled = untitledText();
    const qsizetype key = head.indexOf("\"title\"");
    if (key < 0) {
        return untitled;
    }
    qsizetype at = key + 7;
    while (at < head.size() && QByteArrayView(" \t\r\n:").contains(head[at])) {
        ++at;
    }
    if (at >= head.size() || head[at] != '"') {
        return untitled;
    }
    // The string runs to the first quote that no backslash escapes.
    qsizetype end = at + 1;
    while (end < head.size() && head[end] != '"') {
        end += head[end] == '\\' ? 2 : 1;
    }
    if (end >= head.size()) {
        return untitled;
    }
    const QString title =
        QJsonDocument::fromJson('[' + head.mid(at, end + 1 - at) + ']').array().at(0).toString();
    return title.isEmpty() ? untitled : title;
}

QString titleInText(const QByteArray& head) {
    QString title = untitledText();
    bool found = false;
    forEachLine(decodeText(head), [&](QStringView line) {
        if (!found && line.left(6).compare(u"#TITLE", Qt::CaseInsensitive) == 0) {
            title = trimSpaces(line.mid(7).toString());
            found = true;
        }
    });
    return title;
}

}  // namespace carvel
