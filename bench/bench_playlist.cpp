// A playlist of 30,000 entries in the playlist window: refreshing the list after an edit, moving an
// entry, removing marked entries, and saving the list file.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include "app/program.h"
#include "media/render_output.h"
#include "playlist/list_file.h"

namespace {

struct Fixture {
    Fixture() : program(output, output, dir.filePath(QStringLiteral("cuebook.dat"))) {
        std::vector<carvel::Playlist::Entry> entries;
        for (int i = 0; i < 30000; ++i) {
            entries.push_back({QStringLiteral("曲 %1").arg(i),
                               QStringLiteral("/music/folder %1/chart.bms").arg(i)});
        }
        playlist.appendAll(carvel::EntryStore(entries));
        window.show();
    }
    QTemporaryDir dir;
    carvel::media::CollectingSink sink;
    carvel::media::RenderOutput output{44100, sink};
    carvel::Program program;
    carvel::Playlist& playlist = program.playlist();
    carvel::PlaylistWindow& window = program.playlistWindow();
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_MoveEntryDown(benchmark::State& state) {
    Fixture& f = fixture();
    f.window.lstBMS->setCurrentIndex(f.window.lstBMS->model()->index(15000, 0));
    for (auto _ : state) {
        f.window.cmdDown_Click();
        f.window.cmdUp_Click();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_MoveEntryDown)->Unit(benchmark::kMillisecond);

void BM_ScrollThrough(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        for (int row = 0; row < 30000; row += 500) {
            f.window.lstBMS->scrollTo(f.window.lstBMS->model()->index(row, 0));
            f.window.lstBMS->viewport()->repaint();
        }
    }
}
BENCHMARK(BM_ScrollThrough)->Unit(benchmark::kMillisecond);

void BM_SaveListFile(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(carvel::writeListFile(
            f.dir.filePath(QStringLiteral("cuebook.dat")), f.playlist.entries()));
    }
}
BENCHMARK(BM_SaveListFile)->Unit(benchmark::kMillisecond);

void BM_ReadListFile(benchmark::State& state) {
    Fixture& f = fixture();
    carvel::writeListFile(f.dir.filePath(QStringLiteral("cuebook.dat")), f.playlist.entries());
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            carvel::readListFile(f.dir.filePath(QStringLiteral("cuebook.dat"))));
    }
}
BENCHMARK(BM_ReadListFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
