#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "playlist/entry_list_model.h"
#include "playlist/folder_search.h"
#include "playlist/playlist.h"

namespace carvel {

// The playlist window, the first one shown: the playlist, the found charts, folder browsing and
// search, Start, the readme and Exit. Start and the end of the program go out through callbacks
// that the program wires to the player. Closing it ends the program, saving the playlist first
// (once it has been read).
class PlaylistWindow : public QWidget {
  public:
    // listFile is read and written; previousListFile ("" for none) is read instead while
    // listFile does not exist.
    PlaylistWindow(Playlist& playlist, QString listFile, QString previousListFile = {},
                   QWidget* parent = nullptr);
    ~PlaylistWindow() override;

    // Reads the list file, then acts on the command-line text (empty: nothing). A list file that
    // cannot be read whole is never written: the box says so, and the list is saved beside it as
    // listFile + ".new".
    void Form_Load(const QString& commandLine);
    // This run never writes a list file (another program keeps it).
    void neverWriteListFile() { saveFile_.clear(); }
    // The command-line start: a chart already in the playlist plays from there, any other
    // existing chart file is added and played (empty text: nothing).
    void commandLineStart(const QString& commandLine);

    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdUp_Click();
    void cmdDown_Click();
    void cmdStart_Click();
    void cmdReadReadMe_Click();
    void cmdSearch_Click();
    void cmdRefresh_Click();
    void cmdAppPath_Click();
    void AddFromFileName(const QString& path);

    // The folder that Dir1 has open (the search root).
    QString Dir1Path() const { return dirPath_; }
    void openFolder(const QString& path);
    bool searching() const { return searchThread_ != nullptr; }
    // Which charts the search collects: .bms files, or in the full reading also .bme, .bml, .pms.
    void setSearchMode(ReadingMode mode) { searchMode_ = mode; }

    // Called after a search has filled the found list (tests wait on it).
    std::function<void()> onSearchFinished;
    // Start: the playlist's current entry is one before the chosen one; the player steps onto it.
    std::function<void()> onStart;
    // Ends the program once the window has closed and the playlist is saved.
    std::function<void()> onExit;
    // Starts the text viewer on the readme; replaceable for tests. False when there is no viewer.
    std::function<bool(const QString&)> openTextViewer;
    // The chart that a first start (no list file yet) puts in the list: the bundled demo.
    QString firstChart;
    // Shows a folder in the desktop's file manager; replaceable for tests.
    std::function<void(const QString& folder)> showFolder;
    // Shows a message; replaceable for tests.
    std::function<void(const QString& title, const QString& text)> showMessage;

    Playlist& foundList() { return found_; }

    QLabel* Label1 = nullptr;
    QListView* lstBMS = nullptr;
    QLabel* Label2 = nullptr;
    QListView* List1 = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdRemove = nullptr;
    QPushButton* cmdUp = nullptr;
    QPushButton* cmdDown = nullptr;
    QGroupBox* Frame1 = nullptr;
    QComboBox* Drive1 = nullptr;
    QListWidget* Dir1 = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* cmdAppPath = nullptr;
    QPushButton* cmdSearch = nullptr;
    QPushButton* cmdStart = nullptr;
    QPushButton* cmdReadReadMe = nullptr;
    QPushButton* cmdExit = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Chart files dropped on the window join the playlist, in the order given.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void fillDrives();
    void driveChosen();
    void finishSearch(SearchResult found);
    void joinSearch();
    QRect at(int left, int top, int width, int height) const;

    Playlist& playlist_;
    Playlist found_;
    QString listFile_;
    QString previousListFile_;
    QString saveFile_;  // where closing saves the playlist; empty: nowhere
    bool loaded_ = false;
    EntryListModel playlistModel_;
    static constexpr int kSaveDelayMs = 1000;
    QTimer saveTimer_;
    EntryListModel foundModel_;
    QString dirPath_;
    std::unique_ptr<std::thread> searchThread_;
    std::atomic<bool> cancelSearch_{false};
    ReadingMode searchMode_ = ReadingMode::Classic;
    double dpi_ = 96;
};

}  // namespace carvel
