#include "playback/offline_render.h"

#include <cmath>
#include <limits>

#include "chart/chart_loader.h"
#include "media/render_output.h"
#include "playback/playback_engine.h"

namespace carvel {

RenderResult renderChart(const QString& path, int sampleRate) {
    RenderResult result;
    ChartState chart;
    LoadOptions options;
    options.sampleRate = sampleRate;
    result.loadResult = OpenChart(path, result.messages, chart, nullptr, options);

    media::RenderOutput output(sampleRate);
    PlaybackEngine::Host host;  // no window, and one chart only
    PlaybackEngine engine(chart, output, output, host);
    engine.cmdPlay_Click();
    for (;;) {
        const PlaybackEngine::Step step = engine.pass();
        if (step.kind == PlaybackEngine::Step::Kind::Idle) {
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
    output.finish();
    result.samples = output.takeSamples();
    return result;
}

}  // namespace carvel
