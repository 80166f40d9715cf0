#pragma once

#include <sndfile.h>

#include <QByteArray>
#include <QDataStream>
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
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        return;
    }
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32{36 + frames};
    out.writeRawData("WAVEfmt ", 8);
    out << quint32{16} << quint16{1} << quint16{1} << rate << rate << quint16{1} << quint16{8};
    out.writeRawData("data", 4);
    out << frames;
    f.resize(f.pos() + frames);
}

inline void writeImage(const QString& path, const char* format, QColor color = Qt::red) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(color);
    image.save(path, format);
}

}  // namespace carvel::testing
