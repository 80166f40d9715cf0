// Reading chart text into the event table, without media, for 20k, 200k and 2M events.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include "chart/chart_reader.h"

namespace {

// 1000 measures; events spread over twelve key channels and the background channel; every 50th
// measure is shortened to 0.75.
QString writeChart(const QTemporaryDir& dir, int events) {
    const QString path = dir.filePath(QStringLiteral("bench-%1.bms").arg(events));
    if (QFile::exists(path)) {
        return path;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return path;
    }
    file.write("#TITLE bench\r\n#BPM 150\r\n");
    const int channels[] = {1, 11, 12, 13, 14, 15, 16, 21, 22, 23, 24, 25, 26};
    const int perMeasure = events / 1000;
    for (int m = 0; m < 1000; ++m) {
        const QByteArray measure = QByteArray::number(m).rightJustified(3, '0');
        if (m % 50 == 7) {
            file.write("#" + measure + "02:0.75\r\n");
        }
        // perMeasure events over the thirteen channels, as evenly as the counts allow.
        for (int c = 0; c < 13; ++c) {
            const int n = perMeasure / 13 + (c < perMeasure % 13 ? 1 : 0);
            if (n == 0) {
                continue;
            }
            QByteArray line =
                "#" + measure + QByteArray::number(channels[c]).rightJustified(2, '0') + ":";
            for (int i = 0; i < n; ++i) {
                line += QByteArray::number(1 + (i + c) % 250, 16).rightJustified(2, '0');
            }
            file.write(line + "\r\n");
        }
    }
    return path;
}

void BM_LoadChartText(benchmark::State& state) {
    static QTemporaryDir dir;
    const QString path = writeChart(dir, static_cast<int>(state.range(0)));
    size_t events = 0;
    for (auto _ : state) {
        const carvel::ReadResult read = carvel::readChart(path);
        events = read.chart.table().events.size();
        benchmark::DoNotOptimize(events);
    }
    state.counters["events"] = static_cast<double>(events);
    state.SetComplexityN(static_cast<benchmark::IterationCount>(events));
}
BENCHMARK(BM_LoadChartText)
    ->Arg(20'000)
    ->Arg(200'000)
    ->Arg(2'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

}  // namespace

BENCHMARK_MAIN();
