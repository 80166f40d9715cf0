#pragma once

#include <QSize>
#include <QString>
#include <cstdint>

#include "chart/reading_mode.h"

namespace carvel {

struct VideoRenderOptions {
    ReadOptions reading;
    int sampleRate = 44100;
    std::int64_t maxFrames = 0;  // sample frames
    int fps = 30;
    QSize size{256, 256};
};

// Renders a chart's sound and picture area into a video file (carvel-render with an .mp4 or .mkv
// target): the picture area is composed as a square of the shorter side and placed on black in
// the middle of the frame. Prints the load messages and progress on stderr; returns the exit
// status.
int renderVideo(const QString& chartPath, const QString& outPath,
                const VideoRenderOptions& options);

}  // namespace carvel
