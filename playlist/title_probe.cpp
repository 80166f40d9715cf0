#include "playlist/title_probe.h"

#include <QFile>

#include "chart/text_helpers.h"
#include "platform/file_name.h"
#include "platform/regular_file.h"
#include "platform/text_decoding.h"
#include "platform/text_file.h"

namespace carvel {

QString probeTitle(const QString& path) {
    return probeTitleAt(nativePath(path).value_or(QByteArray()));
}

QString probeTitleAt(const QByteArray& nativePath) {
    const QString untitled = QStringLiteral("無題");
    RegularFile regular(nativePath);
    QFile file;
    if (!regular.isOpen() ||
        !file.open(regular.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        return untitled;
    }
    // A title line stands near the top; the cap keeps a huge file that is no chart cheap.
    return titleInText(file.read(1 << 20));
}

QString titleInText(const QByteArray& head) {
    QString title = QStringLiteral("無題");
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
