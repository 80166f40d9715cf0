#pragma once

#include <QSize>
#include <stop_token>
#include <vector>

#include "chart/load_message.h"
#include "chart/media_request.h"
#include "media/decode_budget.h"
#include "media/sound_decoder.h"
#include "playback/chart_media.h"
#include "playback/first_use.h"

namespace carvel {

inline constexpr QSize kPictureSize{256, 256};
inline constexpr QSize kStageSize{640, 480};

struct MediaOptions {
    int sampleRate = 44100;  // sounds are converted to this rate
    int threads = 0;         // decoding threads; 0: one per core
    // The decoded samples of all the chart's sounds together; past it, sounds are refused in the
    // order they are decoded (line order, or first use for a load that plays as it decodes).
    std::size_t soundBudgetBytes = media::kChartSoundBudgetBytes;
    // The same for the pictures (BMP and stage pictures together), while they are read and as
    // they are kept.
    std::size_t pictureBudgetBytes = media::kMaxChartPictureBytes;
    // Compact for playing through the sound card; exact where a render must not depend on it.
    media::SamplePrecision precision = media::SamplePrecision::Compact;
    // Pictures named as videos, and picture files that are videos by their content, are probed
    // and kept as videos (the full reading); otherwise every picture is a picture.
    bool videos = false;
    // The chart and then its media go to the load's observer as they are ready (chartRead).
    bool playAsDecoded = false;
    // Once a stop is requested, no further file is decoded; the load's result is to be discarded.
    std::stop_token stop;
};

// Decodes what a chart's media lines name, on a worker pool (a file named by several lines, in
// whatever spelling, is decoded once for each use: sound, BMP picture, stage picture), and fills
// the tables in line order: a later line for an index replaces an earlier one only when its file
// loads (a picture replaces a video of its index, and the reverse). Appends one message per line
// that failed, in line order. A failed allocation fails only the file at hand.
//
// A load that plays as it decodes passes `progress` and the chart's first uses: the files are then
// decoded in the order the chart first uses them (the stage picture first, files no event uses
// last), which is also the order in which the budgets admit them, and each index is handed to
// `progress` from a decoding thread once every line naming it is decoded.
class MediaProgress {
  public:
    virtual ~MediaProgress() = default;
    virtual void mediaReady(MediaItem item) = 0;
};
ChartMedia loadMedia(const std::vector<MediaRequest>& requests, const MediaOptions& options,
                     std::vector<LoadMessage>& messages, MediaProgress* progress = nullptr,
                     const std::vector<FirstUse>& order = {});

// The tables of a load that has not decoded anything yet: every index that a line names with a
// file to decode is marked pending.
ChartMedia pendingMedia(const std::vector<MediaRequest>& requests);

}  // namespace carvel
