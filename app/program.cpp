#include "app/program.h"

#include "app/window_places.h"

#include <QDir>

#include "app/start_options.h"
#include "playlist/title_probe.h"

namespace carvel {

Program::Program(media::SoundOutput& output, Clock& clock, const QString& listFile,
                 const QString& previousListFile, const QString& settingsFile)
    : readingSetting_(settingsFile),
      controller_(output, clock, playlist_, noView_),
      driver_([this] { return controller_.pass(); }, clock),
      player_(controller_),
      playlistWindow_(playlist_, listFile, previousListFile),
      settingsFile_(settingsFile) {
    controller_.setView(player_);
    player_.setPictureClock(clock, [&output] { return output.heardDelayMs(); });
    controller_.setWakeHandler([this] { driver_.wake(); });
    screenCheck_.setInterval(1000);
    QObject::connect(&screenCheck_, &QTimer::timeout, &screenKeeper_,
                     [this] { screenKeeper_.keepOn(picturesInSight()); });
    screenCheck_.start();
    playlistWindow_.onStart = [this] {
        player_.show();
        controller_.next();
    };
    playlistWindow_.onExit = [this] {
        savePlace(playlistWindow_, settingsFile_, QStringLiteral("playlist"));
        savePlace(player_, settingsFile_, QStringLiteral("player"));
        player_.blnExiting = true;
        player_.close();
        if (chartView_) {
            chartView_->close();
        }
        if (onQuit) {
            onQuit();
        }
    };
    player_.onClosed = [this] { playlistWindow_.show(); };
    player_.onChartViewRequested = [this] { showChartView(); };
    player_.onChartDropped = [this](const QString& path) { chartDropped(path); };
    player_.onStatusChanged = [this](PlayerStatus) {
        if (onPlayerChanged) {
            onPlayerChanged();
        }
    };
    player_.onReadingModeChanged = [this](ReadingMode mode) {
        playlistWindow_.setSearchMode(mode);
        return readingSetting_.save(mode);
    };
    useReadingMode(readingSetting_.load());
}

void Program::useReadingMode(ReadingMode mode) {
    ReadOptions reading;
    reading.mode = mode;  // no seed: #RANDOM is drawn anew at each load
    controller_.setReadOptions(reading);
    playlistWindow_.setSearchMode(mode);
}

void Program::start(const QString& commandLine) {
    restorePlace(playlistWindow_, settingsFile_, QStringLiteral("playlist"));
    restorePlace(player_, settingsFile_, QStringLiteral("player"));
    playlistWindow_.Form_Load(commandLine);
    if (!player_.isVisible()) {
        playlistWindow_.show();
    }
}

void Program::handOver(const QStringList& message) {
    StartOptions options;
    if (message.isEmpty() || parseStartOptions(message.mid(1), options)) {
        return;
    }
    // A relative chart names a file in the folder the later start was made in.
    const QString& folder = message.first();
    const QString chart = options.chart.isEmpty() || QDir::isAbsolutePath(options.chart)
                              ? options.chart
                              : QDir(folder).filePath(options.chart);
    if (options.full) {
        useReadingMode(ReadingMode::Full);
    }
    playlistWindow_.commandLineStart(chart);
    raise();
}

void Program::neverWriteListFile(const QString& why) {
    playlistWindow_.neverWriteListFile();
    playlistWindow_.showMessage(QStringLiteral("ｴﾗｰ"), why);
}

void Program::exit() {
    playlistWindow_.close();
}

void Program::play() {
    if (controller_.chartPath().isEmpty()) {
        playlistWindow_.cmdStart_Click();
        return;
    }
    showPlayer();
    controller_.play();
}

void Program::stop() {
    controller_.stop();
}

void Program::next() {
    if (!playlist_.isEmpty()) {
        showPlayer();
        controller_.next();
    }
}

void Program::previous() {
    if (!playlist_.isEmpty()) {
        showPlayer();
        controller_.back();
    }
}

void Program::raise() {
    QWidget& window = player_.isVisible() ? static_cast<QWidget&>(player_)
                                          : static_cast<QWidget&>(playlistWindow_);
    window.show();
    window.raise();
    window.activateWindow();
}

void Program::showChartView() {
    if (!chartView_) {
        chartView_ = std::make_unique<ChartViewWindow>(controller_, settingsFile_);
    }
    chartView_->show();
    chartView_->raise();
    chartView_->activateWindow();
}

void Program::showPlayer() {
    if (!player_.isVisible()) {
        playlistWindow_.hide();
        player_.show();
    }
}

void Program::chartDropped(const QString& path) {
    if (holdsLineBreak(path)) {
        player_.showMessage(QStringLiteral("ｴﾗｰ"), QString::fromUtf16(kLineBreakInPathMessage));
        return;
    }
    playlist_.append({probeTitle(path), path});
    if (!controller_.running()) {
        playlist_.setCurrent(playlist_.count() - 1);
        controller_.open(path);
    }
}

void Program::reportNoSoundDevice(const QString& text) {
    player_.showNotice(text);
    playlistWindow_.setWindowTitle(playlistWindow_.windowTitle() +
                                   QStringLiteral(" (音声出力なし)"));
}

bool Program::picturesInSight() const {
    const PlayerController& controller = controller_;
    if (!controller.playing() || controller.paused()) {
        return false;
    }
    const BgaWindow* bga = player_.bgaWindow();
    return (player_.isVisible() && player_.chkImage->isChecked()) || (bga && bga->isVisible());
}

}  // namespace carvel
