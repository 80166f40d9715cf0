#pragma once

#include <sndfile.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <vector>

namespace carvel::testing {

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(bytes);
    }
}

// A 16-bit mono WAV of `frames` samples at `rate`, every sample `value`.
inline void writeWav(const QString& path, int frames, int rate = 44100, short value = 1000) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    const QByteArray name = QFile::encodeName(path);
    SNDFILE* f = sf_open(name.constData(), SFM_WRITE, &info);
    if (f == nullptr) {
        return;
    }
    std::vector<short> samples(static_cast<size_t>(frames), value);
    sf_writef_short(f, samples.data(), frames);
    sf_close(f);
}

inline void writeImage(const QString& path, const char* format, QColor color = Qt::red) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(color);
    image.save(path, format);
}

}  // namespace carvel::testing
