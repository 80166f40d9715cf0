#include "testing/test_files.h"

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <vector>

namespace carvel::testing {

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readBytes(const QString& path) {
    struct stat info {};
    QFile f(path);
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
        !f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

void writeWav(const QString& path, int frames, int rate, short value, int channels) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    const QByteArray name = QFile::encodeName(path);
    SNDFILE* f = sf_open(name.constData(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << path.toStdString();
    const std::vector<short> samples(static_cast<size_t>(frames) * static_cast<size_t>(channels),
                                     value);
    sf_writef_short(f, samples.data(), frames);
    sf_close(f);
}

void writeSparseWav(const QString& path, quint32 rate, quint32 frames) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
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

void writeImage(const QString& path, const char* format, QColor color) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(path, format)) << path.toStdString();
}

QString testdataFolder() {
    const QString folder = qEnvironmentVariable("CARVEL_TESTDATA") + QStringLiteral("/");
    EXPECT_TRUE(QDir(folder).exists())
        << "the third-party test charts are missing: " << folder.toStdString();
    return folder;
}

}  // namespace carvel::testing
