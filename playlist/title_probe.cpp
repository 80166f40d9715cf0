#include "playlist/title_probe.h"

#include <QFile>

#include "chart/text_helpers.h"
#include "platform/file_name.h"
#include "platform/regular_file.h"
#include "platform/text_decoding.h"
#include "platform/text_file.h"

namespace carvel {

QString ProbeTitle(const QString& path) {
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
    const QByteArray head = file.read(1 << 20);
    for (const QString& line : splitLines(decodeText(head))) {
        if (QStringView(line).left(6).compare(u"#TITLE", Qt::CaseInsensitive) == 0) {
            return trimSpaces(line.mid(7));
        }
    }
    return untitled;
}

}  // namespace carvel
