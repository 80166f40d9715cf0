// Carvel: builds the two windows, wires them to the playback, and acts on the command line.
#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QFont>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>

#include "media/sdl_output.h"
#include "platform/file_name.h"
#include "playback/playback_driver.h"
#include "playback/player_controller.h"
#include "player/player_window.h"
#include "playlist/list_file.h"
#include "playlist/playlist_window.h"

namespace {

int signalPipe[2] = {-1, -1};

// SIGTERM (a session ending) and SIGINT close the program the way its Exit button does, so the
// playlist is saved. The handler only writes a byte; the event loop does the rest.
void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("carvel"));
    QApplication::setQuitOnLastWindowClosed(false);
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"), font.family()});
    font.setPointSize(9);
    QApplication::setFont(font);

    carvel::media::SdlOutput output;
    if (output.isSilent()) {
        const QByteArray line = (QStringLiteral("carvel: サウンドデバイスを開けません (") +
                                 output.failure() + QStringLiteral(")。音を出さずに再生します。\n"))
                                    .toUtf8();
        std::fputs(line.constData(), stderr);
    }
    carvel::ChartState chart;
    chart.Reset();
    carvel::Playlist playlist;
    carvel::PlayerView noView;
    carvel::PlayerController controller(chart, playlist, output, output, noView);
    carvel::PlayerWindow player(controller, playlist);
    controller.setView(player);
    carvel::PlaybackDriver driver(controller.engine(), output);
    controller.setWakeHandler([&driver] { driver.wake(); });

    carvel::PlaylistWindow playlistWindow(playlist, player, controller, carvel::listFilePath());
    playlistWindow.onExit = [] { QApplication::quit(); };
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &playlistWindow, [&] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
            // Nobody may be there to answer a message box: a failed save is told on stderr.
            playlistWindow.showMessage = [](const QString&, const QString& text) {
                std::fputs((QStringLiteral("carvel: ") + text + u'\n').toUtf8().constData(),
                           stderr);
            };
            playlistWindow.close();
        });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    // From argv itself: QApplication::arguments() loses bytes that are no UTF-8, and file names
    // in CP932 are just such bytes. QApplication has taken its own options out of argv.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(carvel::decodeFileName(argv[i]));
    }
    playlistWindow.Form_Load(arguments.join(u' '));
    if (!player.isVisible()) {
        playlistWindow.show();
    }
    return QApplication::exec();
}
