#include "playlist/title_probe.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

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
    // A title line stands near the top; the cap keeps a huge file that is no chart cheap.
    const QByteArray head = file.read(1 << 20);
    return nativePath.toLower().endsWith(".bmson") ? bmsonTitleIn(head) : titleInText(head);
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
