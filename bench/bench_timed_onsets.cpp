// The onsets of the full reading's playback offline, on hand-built times: a chart of one-frame
// clicks at random fractional times on every sound channel (some at one time, some in one frame,
// with picture events between them) is rendered as carvel-render does, and the distinct frames
// that hold a click are compared with round(time x rate / 1000), a half rounding up.
// Usage: bench_timed_onsets [EVENTS [RATE]]   (default 20000 events over 60 s at 44100 Hz)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <tuple>

#include "playback/offline_render.h"

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 44100;
    if (count <= 0 || rate < 8000) {
        std::fputs("usage: bench_timed_onsets [EVENTS [RATE]]\n", stderr);
        return 2;
    }
    std::mt19937 rng(7);
    carvel::Chart chart;
    chart.setMode(carvel::ReadingMode::Full);
    carvel::ChartMedia media;
    media.sounds.resize(1296);
    for (int i = 1; i < 1296; i += 37) {
        auto click = std::make_shared<carvel::media::Sound>();
        click->sampleRate = rate;
        click->channels = 1;
        click->pcm = {0.125f};
        media.sounds[static_cast<size_t>(i)] = click;
    }
    const int channels[] = {1, 37, 41, 45, 73, 77, 81, 181, 185, 189, 217, 221, 225};
    std::uniform_real_distribution<double> time(0, 60000);
    std::uniform_int_distribution<int> pick(0, 12);
    std::uniform_int_distribution<int> sound(0, 34);
    std::set<long long> expected;
    for (int i = 0; i < count; ++i) {
        // Every tenth event shares the time of the one before; every seventh is a picture.
        const double t =
            i % 10 == 9 ? static_cast<double>(chart.timeline().events.back().timeMs) : time(rng);
        if (i % 7 == 6) {
            chart.timeline().events.push_back({t, 4, 1});
            continue;
        }
        chart.timeline().events.push_back(
            {t, static_cast<std::uint16_t>(channels[pick(rng)]), 1 + 37 * sound(rng)});
        expected.insert(static_cast<long long>(std::floor(t * rate / 1000.0 + 0.5)));
    }
    std::sort(chart.timeline().events.begin(), chart.timeline().events.end(),
              [](const auto& a, const auto& b) {
                  return std::tie(a.timeMs, a.channel, a.value) <
                         std::tie(b.timeMs, b.channel, b.value);
              });

    carvel::media::CollectingSink sink;
    const auto start = std::chrono::steady_clock::now();
    carvel::renderLoaded(chart, media, rate, sink);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::set<long long> found;
    for (size_t i = 0; i < sink.samples.size(); i += 2) {
        if (sink.samples[i] != 0) {
            found.insert(static_cast<long long>(i / 2));
        }
    }
    long long missing = 0;
    for (long long f : expected) {
        missing += found.count(f) == 0 ? 1 : 0;
    }
    long long extra = 0;
    for (long long f : found) {
        extra += expected.count(f) == 0 ? 1 : 0;
    }
    const double length = static_cast<double>(sink.samples.size() / 2) / rate;
    std::printf("timed events %d; onset frames expected %zu, found %zu, missing %lld, extra %lld\n",
                count, expected.size(), found.size(), missing, extra);
    std::printf("render of %.1f s in %.3f s (%.0f x real time)\n", length, seconds,
                length / seconds);
    return missing == 0 && extra == 0 ? 0 : 1;
}
