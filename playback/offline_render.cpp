#include "playback/offline_render.h"

#include <cmath>
#include <limits>

#include "media/render_output.h"
#include "playback/chart_loader.h"
#include "playback/playback_engine.h"

namespace carvel {

RenderResult renderChart(const QString& path, int sampleRate) {
    MediaOptions options;
    options.sampleRate = sampleRate;
    LoadedChart loaded = loadChart(path, options);
    RenderResult result;
    result.found = loaded.found;
    result.messages = loaded.messages;

    media::RenderOutput output(sampleRate);
    PlaybackEngine::Host host;  // no window, and one chart only
    PlaybackEngine engine(loaded.chart, loaded.media, output, output, host);
    engine.play();
    for (;;) {
        const Step step = engine.pass();
        if (step.kind == Step::Kind::Idle) {
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
    output.finish();
    result.samples = output.takeSamples();
    return result;
}

}  // namespace carvel
