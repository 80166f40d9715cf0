#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

namespace carvel::testing {

// Writes bytes to path, making its folder first.
void writeBytes(const QString& path, const QByteArray& bytes);

// The bytes of the regular file at path (links followed); empty for anything else or nothing.
QByteArray readBytes(const QString& path);

// A 16-bit WAV of `frames` frames at `rate` with `channels` channels, every sample `value`.
void writeWav(const QString& path, int frames, int rate = 44100, short value = 1000,
              int channels = 1);

// An 8-bit mono PCM WAV whose header announces `frames` at `rate`; the data is a hole in a sparse
// file, so a long sound costs no disk.
void writeSparseWav(const QString& path, quint32 rate, quint32 frames);

// A 16 x 16 picture of one colour in the given format ("BMP", "PNG", "JPG").
void writeImage(const QString& path, const char* format, QColor color = Qt::red);

// The third-party test charts (testdata/third-party, named by CARVEL_TESTDATA); a test that needs
// them fails when they are missing rather than passing without having looked.
QString testdataFolder();

}  // namespace carvel::testing
