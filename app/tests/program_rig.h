#pragma once

#include <QListView>
#include <QTemporaryDir>

#include "app/program.h"
#include "testing/application.h"
#include "testing/fakes.h"
#include "testing/test_files.h"

namespace carvel::testing {

struct WithApplication {
    WithApplication() { ensureApplication(); }
};

// The program on a fake clock and a recording output, its list file and charts in a temporary
// folder, its message boxes recorded.
struct ProgramRig : private WithApplication {
    ProgramRig() : program(output, clock, dir.filePath(u"cuebook.dat"_qs)) {
        program.playlistWindow().showMessage = [this](const QString&, const QString& text) {
            messages.append(text);
        };
        program.player().showMessage = program.playlistWindow().showMessage;
    }
    // A chart of one sound event titled title, in title + ".bms" unless name is given.
    QString chart(const QString& title, QString name = {}) {
        const QString path = dir.filePath(name.isEmpty() ? title + u".bms"_qs : name);
        writeBytes(path, (u"#TITLE "_qs + title + u"\n#00111:01\n"_qs).toUtf8());
        return path;
    }
    // The playlist's titles, one after the other (the tests use one-letter titles).
    QString titles() const {
        QString all;
        for (const auto& e : playlist.entries()) {
            all += e.title;
        }
        return all;
    }

    QTemporaryDir dir;
    FakeClock clock;
    RecordingOutput output{clock};
    Program program;
    Playlist& playlist = program.playlist();
    PlayerController& controller = program.controller();
    PlayerWindow& player = program.player();
    PlaylistWindow& window = program.playlistWindow();
    QStringList messages;
};

}  // namespace carvel::testing
