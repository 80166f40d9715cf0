#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <vector>

namespace carvel::testing {

enum class VideoCodec { Mpeg1, Mpeg4Part2, H264 };

// Writes a video file (its container from the path's extension) whose frame i is filled with
// frameColour(i) and has the time stamp frameTimesMs[i] (so a variable rate is a list with uneven
// steps). declaredFps, when not 0, is written as the stream's frame rate whatever the stamps say.
// False, with a failure message from the test framework, when the file cannot be written.
bool writeTestVideo(const QString& path, VideoCodec codec, QSize size,
                    const std::vector<double>& frameTimesMs, double declaredFps = 0);

// Frame numbers 0 to 63 in colours far enough apart to survive lossy coding.
QColor frameColour(int frame);
// The frame number whose colour is closest to the centre pixel of picture; -1 for a null or black
// picture.
int frameNumberOf(const QImage& picture);

}  // namespace carvel::testing
