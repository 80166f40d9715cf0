#include "playback/offline_render.h"

#include <cmath>
#include <limits>

#include "chart/chart_loader.h"
#include "playback/playback_engine.h"

namespace carvel {

RenderResult renderChart(const QString& path, int sampleRate, media::RenderSink& sink,
                         std::int64_t maxFrames) {
    RenderResult result;
    ChartState chart;
    LoadOptions options;
    options.sampleRate = sampleRate;
    result.loadResult = OpenChart(path, result.messages, chart, nullptr, options);
    if (result.loadResult == 1) {
        return result;
    }
    if (!sink.open()) {
        result.sinkFailed = true;
        return result;
    }

    media::RenderOutput output(sampleRate, sink, maxFrames);
    PlaybackEngine::Host host;  // no window, and one chart only
    PlaybackEngine engine(chart, output, output, host);
    engine.cmdPlay_Click();
    while (!output.stopped()) {
        const PlaybackEngine::Step step = engine.pass();
        if (step.kind == PlaybackEngine::Step::Kind::Idle) {
            output.finish();
            break;
        }
        if (step.kind == PlaybackEngine::Step::Kind::WaitUntil) {
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
