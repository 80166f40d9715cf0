#pragma once

#include <QSize>
#include <stop_token>
#include <vector>

#include "chart/load_message.h"
#include "chart/media_request.h"
#include "media/decode_budget.h"
#include "media/sound_decoder.h"
#include "playback/chart_media.h"

namespace carvel {

inline constexpr QSize kPictureSize{256, 256};
inline constexpr QSize kStageSize{640, 480};

struct MediaOptions {
    int sampleRate = 44100;  // sounds are converted to this rate
    int threads = 0;         // decoding threads; 0: one per core
    // The decoded samples of all the chart's sounds together; past it, sounds are refused in line
    // order.
    std::size_t soundBudgetBytes = media::kChartSoundBudgetBytes;
    // The same for the pictures (BMP and stage pictures together), while they are read and as
    // they are kept.
    std::size_t pictureBudgetBytes = media::kMaxChartPictureBytes;
    // Compact for playing through the sound card; exact where a render must not depend on it.
    media::SamplePrecision precision = media::SamplePrecision::Compact;
    // Pictures named as videos, and picture files that are videos by their content, are probed
    // and kept as videos (the full reading); otherwise every picture is a picture.
    bool videos = false;
    // Once a stop is requested, no further file is decoded; the load's result is to be discarded.
    std::stop_token stop;
};

// Decodes what a chart's media lines name, on a worker pool (a file named by several lines, in
// whatever spelling, is decoded once for each use: sound, BMP picture, stage picture), and fills
// the tables in line order: a later line for an index replaces an earlier one only when its file
// loads (a picture replaces a video of its index, and the reverse). Appends one message per line
// that failed, in line order. A failed allocation fails only the file at hand.
ChartMedia loadMedia(const std::vector<MediaRequest>& requests, const MediaOptions& options,
                     std::vector<LoadMessage>& messages);

}  // namespace carvel
