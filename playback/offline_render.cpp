#include "playback/offline_render.h"

#include <cmath>
#include <limits>
#include <memory>

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
                                  settings.limited, settings.pictures);
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

}  // namespace

RenderResult renderLoaded(const Chart& chart, const ChartMedia& media, int sampleRate,
                          media::RenderSink& sink, std::int64_t maxFrames, bool limited,
                          const RenderPictures* pictures) {
    media::RenderOutput output(sampleRate, sink, maxFrames);
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
    if (chart.mode() == ReadingMode::Full) {
        engine =
            std::make_unique<TimedPlaybackEngine>(chart, media, output, output, host, &display);
    } else {
        engine = std::make_unique<PlaybackEngine>(chart, media, output, output, host, &display);
    }
    engine->play();
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
    result.frames = output.framesMixed();
    result.cutShort = output.cutShort();
    result.sinkFailed = output.sinkFailed();
    return result;
}

}  // namespace carvel
