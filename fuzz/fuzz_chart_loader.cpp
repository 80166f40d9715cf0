// libFuzzer target: the chart reader on arbitrary bytes, with a few real media files beside the
// chart so that definition lines can reach the decoders.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "chart/chart_loader.h"

namespace {

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    static const bool ready = [] {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::blue);
        image.save(dir.filePath(QStringLiteral("a.bmp")), "BMP");
        QFile wav(dir.filePath(QStringLiteral("a.wav")));
        if (wav.open(QIODevice::WriteOnly)) {
            // 44-byte header of a 16-bit mono 44.1 kHz WAV with four samples.
            static const unsigned char header[] = {
                'R', 'I', 'F',  'F',  44, 0, 0, 0, 'W', 'A', 'V', 'E',  'f',
                'm', 't', ' ',  16,   0,  0, 0, 1, 0,   1,   0,   0x44, 0xAC,
                0,   0,   0x88, 0x58, 1,  0, 2, 0, 16,  0,   'd', 'a',  't',
                'a', 8,   0,    0,    0,  1, 0, 2, 0,   3,   0,   4,    0};
            wav.write(reinterpret_cast<const char*>(header), sizeof header);
        }
        return true;
    }();
    (void)ready;
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = folder().filePath(QStringLiteral("chart.bms"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    carvel::ChartState state;
    QStringList messages;
    carvel::LoadOptions options;
    options.threads = 1;
    carvel::OpenChart(path, messages, state, nullptr, options);
    return 0;
}
