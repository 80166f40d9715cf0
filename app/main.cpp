// Carvel: builds the two windows, wires them to the playback, and acts on the command line.
#include <QApplication>
#include <QFont>
#include <cstdio>

#include "media/sdl_output.h"
#include "playback/playback_driver.h"
#include "playback/player_controller.h"
#include "player/player_window.h"
#include "playlist/list_file.h"
#include "playlist/playlist_window.h"

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
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    playlistWindow.Form_Load(arguments.join(u' '));
    if (!player.isVisible()) {
        playlistWindow.show();
    }
    return QApplication::exec();
}
