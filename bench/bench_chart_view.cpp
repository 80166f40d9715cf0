// The chart view's cost and timing: plays a dense generated 7-key chart (full reading) on the real
// SDL output (SDL_AUDIODRIVER=dummy where there is no sound card) with the chart view open at
// 1280 x 800, and reports over the measured seconds:
// - the CPU time of the window thread (the view's frames, the playback's passes and Qt's event
//   loop) and of the whole process, as % of one core, and the frames painted per second;
// - for each note, how far the sound heard had got past it when the frame that first drew it at
//   the judgement line was painted (heardPositionMs at the paint's end minus the note's time).
//   That is the lateness of the picture behind the sound up to the point where the frame is handed
//   to the window system; the window system's and the display's own delay come on top.
// Options: --seconds N (30), --no-view (the same run without the window: the baseline), --shot
// FILE (a picture of the window at the end).
#include <time.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "chartview/chart_view_window.h"
#include "media/sdl_output.h"
#include "playback/playback_driver.h"
#include "playback/player_controller.h"

namespace {

class OneChart final : public carvel::ChartQueue {
  public:
    std::optional<QString> stepForward() override { return std::nullopt; }
    std::optional<QString> stepBack() override { return std::nullopt; }
};

double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// 60 measures at 150 BPM (1.6 s each): 32nd notes spread over the seven keys and the scratch,
// long notes on two lanes, background sounds on every 16th: about 170 notes a second; a tempo
// mark every 4 measures and a short stop every 8.
QByteArray denseChart() {
    QByteArray text = "#TITLE dense\n#BPM 150\n#BPM01 150\n#STOP01 12\n#WAV01 none.wav\n";
    const char* keys[] = {"11", "12", "13", "14", "15", "18", "19", "16"};
    for (int m = 0; m < 60; ++m) {
        const QByteArray measure = QByteArray::number(m).rightJustified(3, '0');
        for (int k = 0; k < 8; ++k) {
            QByteArray data;
            for (int slot = 0; slot < 32; ++slot) {
                data += (slot % 8 == k || (slot + 3) % 8 == k) ? "01" : "00";
            }
            text += '#' + measure + keys[k] + ':' + data + '\n';
        }
        text += '#' + measure + "53:0100000000000000\n";  // a long note over half a measure
        text += '#' + measure + "59:0000000001000000\n";  // one over a measure, into the next
        text += '#' + measure + "01:" + QByteArray("01").repeated(16) + '\n';
        if (m % 4 == 0) {
            text += '#' + measure + "08:0001\n";
        }
        if (m % 8 == 0) {
            text += '#' + measure + "09:000001\n";
        }
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 30;
    bool view = true;
    QString shot;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--shot") == 0 && i + 1 < argc) {
            shot = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--no-view") == 0) {
            view = false;
        }
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dense.bms"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(denseChart()) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }

    carvel::media::SdlOutput output;
    OneChart queue;
    carvel::PlayerView noView;
    carvel::PlayerController controller(output, output, queue, noView);
    carvel::PlaybackDriver driver([&] { return controller.pass(); }, output);
    controller.setWakeHandler([&] { driver.wake(); });
    controller.setReadOptions({carvel::ReadingMode::Full, 1});
    controller.setLoadsInBackground(false);

    carvel::ChartViewWindow window(controller, {});
    std::vector<double> notes;  // every key note's time, ascending
    std::vector<double> offsets;
    std::size_t nextNote = 0;
    if (view) {
        window.resize(1280, 800);
        window.show();
        window.lanes->onPainted = [&](double drawnMs) {
            const double heard = controller.heardPositionMs();
            for (; nextNote < notes.size() && notes[nextNote] <= drawnMs; ++nextNote) {
                offsets.push_back(heard - notes[nextNote]);
            }
        };
    }
    controller.open(path);
    window.refresh();
    for (const carvel::ChartLane& lane : window.chartLayout().lanes) {
        if (lane.side != 0) {
            notes.insert(notes.end(), lane.notesMs.begin(), lane.notesMs.end());
        }
    }
    std::sort(notes.begin(), notes.end());

    // One second to settle, then the measurement.
    double thread0 = 0;
    double process0 = 0;
    int paints0 = 0;
    std::size_t offsets0 = 0;
    QTimer::singleShot(1000, &app, [&] {
        thread0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        process0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        paints0 = window.lanes->paintCount();
        offsets0 = offsets.size();
    });
    QTimer::singleShot(1000 + seconds * 1000, &app, [&] {
        const double thread = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - thread0;
        const double process = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process0;
        const int paints = window.lanes->paintCount() - paints0;
        std::printf("%s, %d s of the dense chart at 1280x800 (%s output):\n",
                    view ? "chart view open" : "no view (baseline)", seconds,
                    output.isSilent() ? "silent" : "SDL");
        std::printf("  window thread %.2f %% of one core, process %.2f %%, %.1f frames/s\n",
                    100 * thread / seconds, 100 * process / seconds,
                    static_cast<double>(paints) / seconds);
        std::vector<double> measured(offsets.begin() + static_cast<std::ptrdiff_t>(offsets0),
                                     offsets.end());
        if (!measured.empty()) {
            std::sort(measured.begin(), measured.end());
            double sum = 0;
            for (const double o : measured) {
                sum += o;
            }
            std::printf(
                "  note drawn at the line after its sound is heard, %zu notes: min %.2f ms, "
                "mean %.2f ms, median %.2f ms, 99th percentile %.2f ms, max %.2f ms (heard delay "
                "of the output %.2f ms)\n",
                measured.size(), measured.front(), sum / static_cast<double>(measured.size()),
                measured[measured.size() / 2], measured[measured.size() * 99 / 100],
                measured.back(), output.heardDelayMs());
        }
        if (view && !shot.isEmpty()) {
            if (!window.grab().save(shot)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(shot));
            }
        }
        QApplication::quit();
    });
    return QApplication::exec();
}
