#include "playback/offline_render.h"

#include <cmath>
#include <limits>

#include "playback/chart_loader.h"
#include "playback/playback_engine.h"
#include "playback/timed_playback_engine.h"

namespace carvel {

RenderResult renderChart(const QString& path, int sampleRate, media::RenderSink& sink,
                         std::int64_t maxFrames, const RenderSettings& settings) {
    MediaOptions options;
    options.sampleRate = sampleRate;
    options.precision = media::SamplePrecision::Exact;
    LoadedChart loaded = loadChart(path, options, nullptr, settings.reading);
    RenderResult result;
    result.found = loaded.found;
    result.messages = loaded.messages;
    if (!loaded.found) {
        return result;
    }
    if (!sink.open()) {
        result.sinkFailed = true;
        return result;
    }

    media::RenderOutput output(sampleRate, sink, maxFrames);
    output.setLimited(settings.limited);
    Playback::Host host;  // no window, and one chart only
    PlaybackEngine classic(loaded.chart, loaded.media, output, output, host);
    TimedPlaybackEngine timed(loaded.chart, loaded.media, output, output, host);
    Playback& engine =
        loaded.chart.mode == ReadingMode::Full ? static_cast<Playback&>(timed) : classic;
    engine.play();
    while (!output.stopped()) {
        const Step step = engine.pass();
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
    result.frames = output.framesMixed();
    result.cutShort = output.cutShort();
    result.sinkFailed = output.sinkFailed();
    return result;
}

}  // namespace carvel
