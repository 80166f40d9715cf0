// From Play to the first sound mixed, for a chart with 300 sounds already loaded. Runs the real
// SDL output (set SDL_AUDIODRIVER=dummy or disk where there is no sound card) and the real driver.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "player_rig.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QByteArray chart = "#BPM 150\n";
    const std::vector<short> samples(4410, 3000);
    for (int i = 1; i <= 300; ++i) {
        const QString name = QStringLiteral("s%1.wav").arg(i);
        carvel::bench::writeWav(dir.filePath(name), samples);
        chart += "#WAV" + carvel::bench::chartIndex(i) + " " + name.toLatin1() + "\n";
    }
    chart += "#00011:01020304\n";
    const QString path = carvel::bench::writeChart(dir, QStringLiteral("c.bms"), chart);

    carvel::bench::PlayerRig rig;
    carvel::media::SdlOutput& output = rig.output();
    carvel::PlayerController& controller = rig.controller();
    controller.setLoadsInBackground(false);
    controller.open(path);  // loads and plays once, so everything is warm
    controller.stop();

    std::vector<double> delays;
    int round = 0;
    std::function<void()> next;
    carvel::bench::NextMixTimer played(output, [&](double ms) {
        delays.push_back(ms);
        if (++round == 20) {
            app.quit();
            return;
        }
        next();
    });
    next = [&] {
        QTimer::singleShot(300, &app, [&] {
            controller.stop();
            output.stopAll();
            QTimer::singleShot(200, &app, [&] { played.start([&] { controller.play(); }); });
        });
    };
    next();
    app.exec();
    std::sort(delays.begin(), delays.end());
    std::printf(
        "Play to first sound mixed (300 sounds loaded, %d runs): median %.1f ms, worst %.1f ms%s\n",
        static_cast<int>(delays.size()), delays[delays.size() / 2], delays.back(),
        output.isSilent() ? " [no sound device: not measured]" : "");
    return 0;
}
