// Seeking and the loop seam on the real SDL output (run with SDL_AUDIODRIVER=disk and
// SDL_DISKAUDIOFILE=FILE where there is no sound card; the seam is read back from that file).
//  1. From a seek to the first resumed sound mixed, for a chart of 1,000 sounds, and heard (one
//     more block of the card); 20 seeks.
//  3. Pause and Play in the same stream: the count must go on by one across the silence.
//  2. The loop's seam: a long sound whose samples count its own frames rings through a loop of
//     A = 1 s to B = 2 s; at each turn the captured stream must go from frame B - 1 to frame A with
//     nothing missing (a gap) or added (an overlap).
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "player_rig.h"

namespace {

using carvel::bench::chartIndex;
using carvel::bench::writeChart;
using carvel::bench::writeWav;

// The counting sound's sample at frame i: never 0, so that silence stands out, and small enough
// that the limiter leaves it alone.
short counted(int i) {
    return static_cast<short>(i % 8000 + 100);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // 1,000 sounds of 2 s, one every 50 ms: about 40 ring at any moment.
    QByteArray many = "#BPM 150\n";
    writeWav(dir.filePath(QStringLiteral("s.wav")), std::vector<short>(88200, 300));
    for (int i = 1; i <= 1000; ++i) {
        many += "#WAV" + chartIndex(i) + " s.wav\n";
    }
    for (int m = 0; m < 125; ++m) {
        QByteArray data;
        for (int k = 0; k < 8; ++k) {
            data += chartIndex(m * 8 + k + 1);
        }
        many += "#" + QByteArray::number(m).rightJustified(3, '0') + "01:" + data + "\n";
    }
    std::vector<short> count(44100 * 4);
    for (int i = 0; i < static_cast<int>(count.size()); ++i) {
        count[static_cast<std::size_t>(i)] = counted(i);
    }
    writeWav(dir.filePath(QStringLiteral("count.wav")), count);
    const QString loopChart =
        writeChart(dir, QStringLiteral("loop.bms"),
                   "#BPM 120\n#WAV01 count.wav\n#00001:01\n#00201:0000000001\n");
    const QString seekChart = writeChart(dir, QStringLiteral("many.bms"), many);

    carvel::bench::PlayerRig rig;
    carvel::media::SdlOutput& output = rig.output();
    carvel::PlayerController& controller = rig.controller();
    controller.setLoadsInBackground(false);
    carvel::ReadOptions full;
    full.mode = carvel::ReadingMode::Full;
    controller.setReadOptions(full);

    std::vector<double> delays;
    std::function<void()> seekAgain;
    carvel::bench::NextMixTimer resumed(output, [&](double ms) {
        delays.push_back(ms);
        if (delays.size() < 20) {
            seekAgain();
            return;
        }
        // The loop: three turns of 1 s to 2 s.
        controller.stop();
        controller.open(loopChart);
        controller.setLoop(1000, 2000);
        // Then Pause for 300 ms at 0.5 s into a fresh run, and Play.
        QTimer::singleShot(4500, &app, [&] {
            controller.clearLoop();
            controller.stop();
            controller.open(loopChart);
            QTimer::singleShot(500, &app, [&] {
                controller.pause();
                QTimer::singleShot(300, &app, [&] {
                    controller.play();
                    QTimer::singleShot(500, &app, [&] { app.quit(); });
                });
            });
        });
    });
    seekAgain = [&] {
        QTimer::singleShot(150, &app, [&] {
            resumed.start(
                [&] { controller.seekTo(10000 + 500.0 * static_cast<double>(delays.size())); });
        });
    };
    controller.open(seekChart);
    QTimer::singleShot(1000, &app, seekAgain);
    app.exec();
    controller.stop();
    const double block = output.heardDelayMs() - carvel::media::SdlOutput::kLatencyMs;
    std::sort(delays.begin(), delays.end());
    std::printf(
        "seek to first resumed sound mixed (1,000 sounds, %zu seeks): median %.1f ms, "
        "worst %.1f ms; heard one block (%.1f ms) later: median %.1f ms, worst %.1f ms%s\n",
        delays.size(), delays[delays.size() / 2], delays.back(), block,
        delays[delays.size() / 2] + block, delays.back() + block,
        output.isSilent() ? " [no sound device: not measured]" : "");

    const char* capture = std::getenv("SDL_DISKAUDIOFILE");
    if (capture == nullptr) {
        std::printf("loop seam: set SDL_AUDIODRIVER=disk and SDL_DISKAUDIOFILE to measure it\n");
        return 0;
    }
    QFile raw(QFile::decodeName(capture));
    if (!raw.open(QIODevice::ReadOnly)) {
        std::printf("loop seam: no capture in %s\n", capture);
        return 1;
    }
    const QByteArray bytes = raw.readAll();
    const auto* samples = reinterpret_cast<const float*>(bytes.constData());
    const auto frames = static_cast<std::int64_t>(bytes.size() / 8);
    // Each captured frame back to the counting sound's frame (mod 8000); the seams are where the
    // count does not go on by one.
    const auto value = [&](std::int64_t i) { return std::lround(samples[2 * i] * 32768.0f); };
    std::int64_t first = 1;
    while (first + 1 < frames && !(value(first) == counted(0) && value(first + 1) == counted(1))) {
        ++first;
    }
    // The loop chart's run ends where the capture falls silent.
    int seams = 0;
    int exact = 0;
    std::int64_t loopEnd = first + 1;
    for (; loopEnd < frames; ++loopEnd) {
        const std::int64_t i = loopEnd;
        const long v = value(i);
        const long u = value(i - 1);
        if (v == 0) {
            break;
        }
        const long step = (v - u + 8000) % 8000;
        if (step != 1) {
            ++seams;
            // From frame 88199 (value 88199 % 8000) to frame 44100 (value 44100 % 8000).
            if (u == counted(88199) && v == counted(44100)) {
                ++exact;
            } else {
                std::printf("  seam at captured frame %lld: %ld -> %ld\n",
                            static_cast<long long>(i), u, v);
            }
        }
    }
    std::printf(
        "loop seam: %d turns seen, %d exact (frame B - 1 then frame A: 0 frames of gap or "
        "overlap)\n",
        seams, exact);
    // The next run of the counting sound holds once: the last frame heard before the silence and
    // the first after it.
    std::int64_t run = loopEnd;
    while (run < frames && !(value(run) == counted(0) && value(run + 1) == counted(1))) {
        ++run;
    }
    std::int64_t held = run;
    while (held < frames && value(held) != 0) {
        ++held;
    }
    std::int64_t back = held;
    while (back < frames && value(back) == 0) {
        ++back;
    }
    if (back >= frames) {
        std::printf("pause: no resumed sound in the capture\n");
        return 1;
    }
    const long lastHeard = value(held - 1);
    const long firstAgain = value(back);
    const long step = (firstAgain - lastHeard + 8000) % 8000;
    std::printf(
        "pause then play: held %.1f ms of silence; the sound went on %ld frame(s) after "
        "the last one heard (1: from the very sample, no gap or repeat)\n",
        static_cast<double>(back - held) * 1000 / 44100, step);
    return 0;
}
