#include "app/program.h"

#include "playlist/title_probe.h"

namespace carvel {

Program::Program(media::SoundOutput& output, Clock& clock, const QString& listFile,
                 const QString& settingsFile)
    : readingSetting_(settingsFile),
      controller_(output, clock, playlist_, noView_),
      driver_([this] { return controller_.pass(); }, clock),
      player_(controller_),
      playlistWindow_(playlist_, listFile) {
    controller_.setView(player_);
    controller_.setWakeHandler([this] { driver_.wake(); });
    playlistWindow_.onStart = [this] {
        player_.show();
        controller_.next();
    };
    playlistWindow_.onExit = [this] {
        player_.blnExiting = true;
        player_.close();
        if (onQuit) {
            onQuit();
        }
    };
    player_.onClosed = [this] { playlistWindow_.show(); };
    player_.onChartDropped = [this](const QString& path) { chartDropped(path); };
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
    playlistWindow_.Form_Load(commandLine);
    if (!player_.isVisible()) {
        playlistWindow_.show();
    }
}

void Program::exit() {
    playlistWindow_.close();
}

void Program::chartDropped(const QString& path) {
    if (holdsLineBreak(path)) {
        player_.showMessage(QStringLiteral("ｴﾗｰ"), QString::fromUtf16(kLineBreakInPathMessage));
        return;
    }
    playlist_.append({probeTitle(path), path});
    if (!controller_.playing()) {
        playlist_.setCurrent(playlist_.count() - 1);
        controller_.open(path);
    }
}

}  // namespace carvel
