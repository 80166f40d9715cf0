#pragma once

#include <QListView>
#include <QTemporaryDir>

#include "app/program.h"
#include "testing/application.h"
#include "testing/fakes.h"
#include "testing/test_files.h"

namespace carvel::testing {

// The program on a fake clock and a recording output, its list file and charts in a temporary
// folder, its message boxes recorded.
struct WithApplication {
    WithApplication() { ensureApplication(); }
};

struct ProgramRig : private WithApplication {
    ProgramRig() : program(output, clock, dir.filePath(u"cuebook.dat"_qs)) {
        program.playlistWindow().showMessage = [this](const QString&, const QString& text) {
            messages.append(text);
        };
        program.player().showMessage = program.playlistWindow().showMessage;
    }
    // A chart of one sound event, titled title; named title + ".bms" unless name is given.
    QString chart(const QString& title, QString name = {}) {
        const QString path = dir.filePath(name.isEmpty() ? title + u".bms"_qs : name);
        writeBytes(path, (u"#TITLE "_qs + title + u"\n#00111:01\n"_qs).toUtf8());
        return path;
    }
    static void mark(QListView* view, std::initializer_list<int> rows) {
        view->selectionModel()->clearSelection();
        for (int row : rows) {
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select);
        }
    }
    static QList<int> marks(QListView* view) {
        QList<int> rows;
        for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
            rows.append(index.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
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
