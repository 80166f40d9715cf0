#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "chart/chart.h"
#include "chart/load_message.h"
#include "chart/reading_mode.h"
#include "media/render_output.h"
#include "playback/chart_media.h"
#include "playback/playback.h"

namespace carvel {

struct RenderResult {
    bool found = false;                 // false when the chart does not exist
    std::vector<LoadMessage> messages;  // the load's messages
    std::int64_t frames = 0;            // frames handed to the sink
    bool cutShort = false;    // the chart would have gone on past maxFrames (not the range's end)
    bool sinkFailed = false;  // the sink did not open or refused a block
    bool rangeUnplaced = false;  // a measure of the range has no time in the chart: no render
};

// The picture area of a render: composed as the player composes it, videos included (each of
// their frames waited for), and handed over at every change.
struct RenderPictures {
    QSize size{256, 256};
    // The picture area's picture from clock reading dueMs (ms from the render's start) on; the
    // readings never go back.
    std::function<void(const QImage& picture, double dueMs)> changed;
};

// A part of a chart to render, and what of it to hear.
struct RenderRange {
    // Full reading only: the chart time of the render's first frame, at which every sound that
    // rings there is at the sample it has reached.
    double fromMs = 0;
    // Full reading only: the chart time at which the render ends, cutting the sounds that still
    // ring; infinity for none. A render whose sounds have all ended before it ends there.
    double toMs = std::numeric_limits<double>::infinity();
    Playback::Mute mute;
    // Measure positions (measureTimeMs) that, when given, take the place of fromMs and toMs.
    std::optional<double> fromMeasure;
    std::optional<double> toMeasure;
    // A section loop from the first chart time to the second (Playback::setLoop). toMs still counts
    // the render's clock, which the loop does not turn back: a looped render ends at toMs or
    // maxFrames.
    std::optional<std::pair<double, double>> loopMs;
    // The speed of the performance (media::RenderOutput::setSpeed); the range and the loop are in
    // chart time.
    media::Speed speed;
};

struct RenderSettings {
    ReadOptions reading;
    // Off: the mix is not limited, so that a render scaled afterwards keeps its shape.
    bool limited = true;
    // Set: the pictures are rendered too.
    const RenderPictures* pictures = nullptr;
    RenderRange range;
};

// Plays a chart once on a virtual clock that starts at 0 and jumps from due time to due time,
// mixing every key sound at its frame, until the last sound has ended or maxFrames frames are
// written. The mix (interleaved stereo at sampleRate) goes to the sink block by block; the sink is
// opened only when the chart exists. The same chart and settings (a seed for a full reading with
// #RANDOM included) give the same samples every time.
RenderResult renderChart(const QString& path, int sampleRate, media::RenderSink& sink,
                         std::int64_t maxFrames = media::RenderOutput::kUnlimited,
                         const RenderSettings& settings = {});

// The same for a chart already loaded (decoded at sampleRate), whose sink is open. maxFrames counts
// from the range's first frame.
RenderResult renderLoaded(const Chart& chart, const ChartMedia& media, int sampleRate,
                          media::RenderSink& sink,
                          std::int64_t maxFrames = media::RenderOutput::kUnlimited,
                          bool limited = true, const RenderPictures* pictures = nullptr,
                          const RenderRange& range = {});

}  // namespace carvel
