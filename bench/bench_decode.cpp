// Decoding the key sounds of a chart: 500 generated 16-bit WAV files of 200 KB each, with the
// worker pool (one thread per core) and with a single thread.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <vector>

#include "playback/chart_loader.h"
#include "player_rig.h"

namespace {

constexpr int kFiles = 500;
constexpr int kFrames = 50'000;  // 16-bit stereo: 200,000 bytes of samples

QString prepare() {
    static QTemporaryDir dir;
    static bool done = false;
    const QString chart = dir.filePath(QStringLiteral("decode.bms"));
    if (done) {
        return chart;
    }
    std::vector<short> samples(kFrames * 2);
    QByteArray text = "#TITLE decode\r\n";
    for (int f = 0; f < kFiles; ++f) {
        for (size_t i = 0; i < samples.size(); ++i) {
            samples[i] =
                static_cast<short>(8000 * std::sin(0.001 * static_cast<double>(i * (f + 1))));
        }
        const QString name = QStringLiteral("s%1.wav").arg(f);
        carvel::bench::writeWav(dir.filePath(name), samples, 2);
        // Indices beyond FF wrap onto earlier ones; every file is still decoded once.
        text += "#WAV" + QByteArray::number(f % 256, 16).rightJustified(2, '0') + " " +
                name.toLatin1() + "\r\n";
    }
    text += "#00111:01\r\n";
    QFile file(chart);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(text);
    }
    done = true;
    return chart;
}

void BM_DecodeSounds(benchmark::State& state) {
    const QString chart = prepare();
    carvel::MediaOptions options;
    options.threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const carvel::LoadedChart loaded = carvel::loadChart(chart, options);
        benchmark::DoNotOptimize(loaded.media.sounds.size());
    }
}
BENCHMARK(BM_DecodeSounds)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
