// Carvel: builds the program on the sound card and acts on the command line.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/app_icon.h"
#include "app/mpris_service.h"
#include "app/program.h"
#include "app/single_instance.h"
#include "app/start_options.h"
#include "media/sdl_output.h"
#include "platform/command_line.h"
#include "platform/file_system.h"
#include "platform/install_layout.h"
#include "playback/display_texts.h"

namespace {

int signalPipe[2] = {-1, -1};

// SIGTERM (a session ending) and SIGINT close the program the way its Exit button does, so the
// playlist is saved. The handler only writes a byte; the event loop does the rest.
void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

void printError(const QString& text) {
    carvel::printText(stderr, QStringLiteral("carvel: ") + text + u'\n');
}

// CARVEL_PICTURE_LOG=FILE: a line "due shown" (output clock, ms) for every picture shown, so a
// capture can hold the pictures against the sound (bench/picture_sync.sh).
void logPictures(carvel::PictureSchedule& schedule) {
    const QString path = qEnvironmentVariable("CARVEL_PICTURE_LOG");
    if (path.isEmpty()) {
        return;
    }
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return;
    }
    schedule.onShown = [file](double due, double shown) {
        file->write(QByteArray::number(due, 'f', 3) + ' ' + QByteArray::number(shown, 'f', 3) +
                    '\n');
        file->flush();
    };
}

}  // namespace

int main(int argc, char** argv) {
    // First of all, so that a SIGTERM at any moment of the start ends the program through its
    // Exit path: a signal that comes before the event loop runs waits in the pipe until then.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) == 0) {
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    // Read before QApplication takes its own options out of argv; --help and --version need no
    // display.
    const QStringList arguments = carvel::withoutQtOptions(carvel::argumentsOf(argc, argv));
    carvel::StartOptions options;
    if (const std::optional<int> status = carvel::parseStartOptions(arguments, options)) {
        return *status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("carvel"));
    QApplication::setApplicationVersion(carvel::programVersion());
    QApplication::setDesktopFileName(QStringLiteral("org.carvel_player.Carvel"));
    QApplication::setWindowIcon(carvel::appIcon());
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's own texts (OK and Cancel, the edit menus) in the language of the program's own.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    if (!options.chart.isEmpty() &&
        !carvel::fileExists(QDir::current().absoluteFilePath(options.chart))) {
        printError(carvel::messageText(
            {carvel::LoadMessage::Kind::ChartNotFound, options.chart, QString()}));
    }
    const carvel::InstallLayout layout = carvel::installLayout();
    QDir().mkpath(carvel::parentFolder(layout.listFile));
    carvel::SingleInstance instance(layout.listFile);
    const carvel::SingleInstance::Claim claim =
        instance.claim(QStringList{QDir::currentPath()} + arguments);
    switch (claim) {
        case carvel::SingleInstance::Claim::HandedOver:
            return 0;
        case carvel::SingleInstance::Claim::NoAnswer: {
            const QString text = QStringLiteral("起動中の Carvel が応答しません。ﾘｽﾄ ") +
                                 layout.listFile +
                                 QStringLiteral(" はその Carvel が使っているので、終了します。");
            printError(text);
            QMessageBox::warning(nullptr, QStringLiteral("ｴﾗｰ"), text);
            return 1;
        }
        case carvel::SingleInstance::Claim::First:
        case carvel::SingleInstance::Claim::Unguarded:
            break;
    }

    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"), font.family()});
    font.setPointSize(9);
    QApplication::setFont(font);

    carvel::media::SdlOutput output;
    if (output.isSilent()) {
        printError(carvel::noSoundDeviceText(output.failure()));
    }
    carvel::Program program(output, output, layout.listFile, layout.previousListFile,
                            carvel::ReadingSetting::defaultFile());
    if (output.isSilent()) {
        program.reportNoSoundDevice(carvel::noSoundDeviceText(output.failure()));
    }
    program.playlistWindow().firstChart = layout.demoChart;
    if (claim == carvel::SingleInstance::Claim::Unguarded) {
        const QString text = QStringLiteral("ﾘｽﾄ ") + layout.listFile +
                             QStringLiteral(" をﾛｯｸできません (") + instance.lockError() +
                             QStringLiteral(")。このﾘｽﾄには保存しません。");
        printError(text);
        program.neverWriteListFile(text);
    }
    if (options.full) {
        program.useReadingMode(carvel::ReadingMode::Full);
    }
    program.onQuit = [] { QApplication::quit(); };
    instance.onMessage = [&program](const QStringList& message) { program.handOver(message); };
    logPictures(program.player().pictureSchedule());

    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (signalPipe[0] >= 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &app, [&] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
            // Nobody may be there to answer a message box: a failed save is told on stderr.
            program.playlistWindow().showMessage = [](const QString&, const QString& text) {
                printError(text);
            };
            program.exit();
        });
    }
    program.start(options.chart);

    // The media keys: once the first window is up, so a slow bus never delays it.
    carvel::MprisService mpris(program);
    program.onPlayerChanged = [&mpris] { mpris.update(); };
    QTimer::singleShot(0, &app, [&mpris] { mpris.attach(); });
    const int status = QApplication::exec();
    program.onPlayerChanged = nullptr;
    return status;
}
