// Carvel: builds the program on the sound card and acts on the command line.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QFont>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/program.h"
#include "media/sdl_output.h"
#include "platform/command_line.h"
#include "playlist/list_file.h"

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
    // Read before QApplication takes its own options out of argv. --full reads this run's charts
    // in full, leaving the remembered mode as it is; what remains is the command-line text.
    QStringList arguments = carvel::argumentsOf(argc, argv);
    const bool full = arguments.removeAll(QStringLiteral("--full")) > 0;
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
    carvel::Program program(output, output, carvel::listFilePath(),
                            carvel::ReadingSetting::defaultFile());
    if (full) {
        program.useReadingMode(carvel::ReadingMode::Full);
    }
    program.onQuit = [] { QApplication::quit(); };
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &app, [&] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
            // Nobody may be there to answer a message box: a failed save is told on stderr.
            program.playlistWindow().showMessage = [](const QString&, const QString& text) {
                std::fputs((QStringLiteral("carvel: ") + text + u'\n').toUtf8().constData(),
                           stderr);
            };
            program.exit();
        });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    program.start(arguments.join(u' '));
    return QApplication::exec();
}
