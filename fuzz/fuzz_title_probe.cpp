// libFuzzer target: the title probe on arbitrary file contents.
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "playlist/title_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("probe.bms"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const QString title = carvel::ProbeTitle(path);
    return title.contains(u'\n') ? -1 : 0;
}
