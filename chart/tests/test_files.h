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

// An 8-bit mono PCM WAV whose header announces `frames` at `rate`; the data is a hole in a sparse
// file, so a long sound costs no disk.
inline void writeSparseWav(const QString& path, quint32 rate, quint32 frames) {
    QByteArray header;
    const auto put = [&header](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            header.append(static_cast<char>((value >> (8 * i)) & 0xff));
        }
    };
    header.append("RIFF");
    put(36 + frames, 4);
    header.append("WAVEfmt ");
    put(16, 4);
    put(1, 2);  // PCM
    put(1, 2);  // mono
    put(rate, 4);
    put(rate, 4);  // bytes per second
    put(1, 2);     // bytes per frame
    put(8, 2);     // bits per sample
    header.append("data");
    put(frames, 4);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(header);
        f.resize(header.size() + frames);
    }
}

inline void writeImage(const QString& path, const char* format, QColor color = Qt::red) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(color);
    image.save(path, format);
}

}  // namespace carvel::testing
