#pragma once

#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QListView>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "app/program.h"
#include "testing/application.h"
#include "testing/fakes.h"
#include "testing/test_files.h"

namespace carvel::testing {

struct WithApplication {
    WithApplication() { ensureApplication(); }
};

// The program on a fake clock and a recording output, its list file and charts in a temporary
// folder; its message and information boxes ("title|text") and the files it views are recorded.
struct ProgramRig : private WithApplication {
    explicit ProgramRig(const QString& settings = {})
        : program(output, clock, dir.filePath(u"cuebook.dat"_qs), {}, settings) {
        window.showMessage = [this](const QString& title, const QString& text) {
            messages.append(title + u'|' + text);
        };
        player.showMessage = player.showInformation = window.showMessage;
        player.openTextViewer = [this](const QString& path) {
            viewed.append(path);
            return true;
        };
        window.openTextViewer = player.openTextViewer;
        program.onQuit = [this] { ++quits; };
    }
    // A chart of one sound event titled title, in title + ".bms" unless name is given.
    QString chart(const QString& title, QString name = {}) {
        const QString path = dir.filePath(name.isEmpty() ? title + u".bms"_qs : name);
        writeBytes(path, (u"#TITLE "_qs + title + u"\n#00111:01\n"_qs).toUtf8());
        return path;
    }
    // Waits for the chart that is loading to play; false when its load did not end in time.
    bool loaded() { return controller.waitForLoad(kLoadWaitMs); }
    // The titles of a list one after the other (the tests use one-letter titles).
    static QString titles(const Playlist& list) {
        QString all;
        for (const auto& e : list.entries()) {
            all += e.title;
        }
        return all;
    }
    QString titles() const { return titles(playlist); }
    static void mark(QListView* view, std::initializer_list<int> rows) {
        view->selectionModel()->clearSelection();
        for (int row : rows) {
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select);
        }
    }
    void setCurrent(int row) {
        window.lstBMS->selectionModel()->setCurrentIndex(window.lstBMS->model()->index(row, 0),
                                                         QItemSelectionModel::NoUpdate);
    }
    // Searches the open folder; false when the search did not end within 10 s.
    bool search() {
        QEventLoop loop;
        window.onSearchFinished = [&] { loop.exit(1); };
        window.cmdSearch_Click();
        EXPECT_FALSE(window.cmdSearch->isEnabled());
        QTimer::singleShot(10000, &loop, [&] { loop.exit(0); });
        const bool finished = loop.exec() == 1;
        window.onSearchFinished = nullptr;
        return finished;
    }
    // A drag of files that also offers the first one's path as text, dropped as the window system
    // delivers it: to the player's window, which finds the control under the point, or without a
    // control straight to the player.
    void drop(const QList<QUrl>& urls, QWidget* control = nullptr) {
        QMimeData data;
        data.setUrls(urls);
        data.setText(urls.first().toLocalFile());
        QObject* target = control ? static_cast<QObject*>(player.windowHandle()) : &player;
        const QPointF at =
            control ? control->mapTo(&player, control->rect().center()) : QPointF(10, 10);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
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
    QStringList viewed;
    int quits = 0;
};

}  // namespace carvel::testing
