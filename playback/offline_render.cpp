#include "playback/offline_render.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "chart/measure_time.h"
#include "playback/chart_loader.h"
#include "playback/playback_engine.h"
#include "playback/timed_playback_engine.h"

namespace carvel {

RenderResult renderChart(const QString& path, int sampleRate, media::RenderSink& sink,
                         std::int64_t maxFrames, const RenderSettings& settings) {
    MediaOptions options;
    options.sampleRate = sampleRate;
    options.precision = media::SamplePrecision::Exact;
    const LoadedChart loaded = loadChart(path, options, nullptr, settings.reading);
    RenderResult result;
    if (loaded.found) {
        if (sink.open()) {
            result = renderLoaded(loaded.chart, loaded.media, sampleRate, sink, maxFrames,
                                  settings.limited, settings.pictures, settings.range);
        } else {
            result.sinkFailed = true;
        }
    }
    result.found = loaded.found;
    result.messages = loaded.messages;
    return result;
}

namespace {

// No window, and one chart only; pictures go to the render's pictures, if any.
class RenderHost final : public Playback::Host {
  public:
    explicit RenderHost(const RenderPictures* pictures) : pictures_(pictures) {}
    void pictureChanged(const QImage& primary, double dueMs) override {
        if (pictures_ != nullptr && pictures_->changed) {
            pictures_->changed(primary, dueMs);
        }
    }

  private:
    const RenderPictures* pictures_;
};

// The frame at ms as RenderOutput places it, kUnlimited when that lies beyond what an int64 holds.
std::int64_t frameAt(double ms, int rate) {
    const double frame = std::floor(ms * rate / 1000.0 + 0.5);
    return frame < 9e18 ? static_cast<std::int64_t>(frame) : media::RenderOutput::kUnlimited;
}

}  // namespace

RenderResult renderLoaded(const Chart& chart, const ChartMedia& media, int sampleRate,
                          media::RenderSink& sink, std::int64_t maxFrames, bool limited,
                          const RenderPictures* pictures, const RenderRange& asked) {
    const bool full = chart.mode() == ReadingMode::Full;
    RenderRange range = asked;
    if (full) {
        const std::pair<const std::optional<double>&, double&> ends[] = {
            {asked.fromMeasure, range.fromMs}, {asked.toMeasure, range.toMs}};
        for (const auto& [measure, ms] : ends) {
            if (measure) {
                const std::optional<double> time = measureTimeMs(chart.timeline(), *measure);
                if (!time) {
                    RenderResult result;
                    result.found = true;
                    result.rangeUnplaced = true;
                    return result;
                }
                ms = *time;
            }
        }
    }
    const double fromMs = full && range.fromMs > 0 ? std::min(range.fromMs, double{1 << 30}) : 0;
    const std::int64_t first = frameAt(fromMs, sampleRate);
    std::int64_t limit = maxFrames > media::RenderOutput::kUnlimited - first
                             ? media::RenderOutput::kUnlimited
                             : first + maxFrames;
    const std::int64_t end =
        full ? std::max(first, frameAt(range.toMs, sampleRate)) : media::RenderOutput::kUnlimited;
    const bool endsAtRange = end < limit;
    limit = std::min(limit, end);
    media::RenderOutput output(sampleRate, sink, limit);
    output.setSpeed(range.speed);
    if (fromMs > 0) {
        output.startAt(fromMs);
    }
    output.setLimited(limited);
    RenderHost host(pictures);
    DisplayState display;
    if (pictures != nullptr) {
        display.picturesShown = true;
        display.compositor.resize(pictures->size);
        display.videos.setMode(VideoLayers::Mode::Offline);
        display.videos.setSize(display.compositor.size());
    }
    std::unique_ptr<Playback> engine;
    TimedPlaybackEngine* timed = nullptr;
    if (full) {
        auto engineOfTimes =
            std::make_unique<TimedPlaybackEngine>(chart, media, output, output, host, &display);
        timed = engineOfTimes.get();
        engine = std::move(engineOfTimes);
    } else {
        engine = std::make_unique<PlaybackEngine>(chart, media, output, output, host, &display);
    }
    if (range.loopMs) {
        engine->setLoop(range.loopMs->first, range.loopMs->second);
    }
    engine->setMute(range.mute);
    engine->play();
    if (fromMs > 0) {
        // The clock already reads fromMs: chart time t falls due at reading t, as from the start.
        timed->seekTo(fromMs);
    }
    while (!output.stopped()) {
        const Step step = engine->pass();
        if (step.kind == Step::Kind::Idle) {
            output.finish();
            break;
        }
        if (step.kind == Step::Kind::WaitUntil) {
            const double now = output.nowMs();
            // A wait that has already passed (rounding at a sound's end) still moves time on.
            output.advanceTo(step.untilMs > now
                                 ? step.untilMs
                                 : std::nextafter(now, std::numeric_limits<double>::infinity()));
        }
    }
    RenderResult result;
    result.found = true;
    result.frames = output.framesMixed() - first;
    result.cutShort = output.cutShort() && !endsAtRange;
    result.sinkFailed = output.sinkFailed();
    return result;
}

}  // namespace carvel
