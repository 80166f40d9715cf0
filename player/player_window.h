#pragma once

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "playback/player_controller.h"
#include "player/bga_window.h"
#include "player/event_list_model.h"
#include "player/picture_area.h"
#include "player/picture_schedule.h"

namespace carvel {

// The player window. Its controls bind to the PlayerController: clicks become commands, and what
// the controller reports (messages, information, states, pictures) is shown here. What concerns the
// playlist (a drop, the window closing) goes out through callbacks that the program wires. Closing
// it only hides it, unless the program is exiting.
class PlayerWindow : public QWidget, public PlayerView {
  public:
    static constexpr int kHeightCompact = 2460;
    static constexpr int kHeightNormal = 4470;
    static constexpr int kHeightDetails = 6810;
    // In the narrow window 詳細ｸﾛｰｽﾞ moves below the detail list, which takes this much more.
    static constexpr int kHeightDetailsNarrow = 7065;
    static constexpr int kWidthNarrow = 3675;
    static constexpr int kWidthWide = 7800;

    explicit PlayerWindow(PlayerController& controller, QWidget* parent = nullptr);

    // Set when the playlist window ends the program; closing then really closes.
    bool blnExiting = false;
    // The user closed the player (it has stopped and hidden itself).
    std::function<void()> onClosed;
    // A chart file was dropped on the player.
    std::function<void(const QString& path)> onChartDropped;
    // The status line changed.
    std::function<void(PlayerStatus status)> onStatusChanged;
    // The user asked for the chart view (the context menu's 譜面, Ctrl+T, or the hidden code 譜面).
    std::function<void()> onChartViewRequested;
    // The hidden tools' input box; replaceable for tests. Returns the text typed ("" on Cancel).
    std::function<QString()> askCode;
    // Starts the text viewer on a chart; replaceable for tests. False when there is no viewer.
    std::function<bool(const QString&)> openTextViewer;
    // Shows a message; replaceable for tests.
    std::function<void(const QString& title, const QString& text)> showMessage;
    // Shows a notice (an information box); replaceable for tests.
    std::function<void(const QString& title, const QString& text)> showInformation;
    // The hidden tools switched the reading of the charts opened from now on; returns false when
    // the choice could not be remembered for the next start.
    std::function<bool(ReadingMode mode)> onReadingModeChanged;

    // Pictures are shown when their sound is heard: clock is the sound output's, delayMs how long
    // after its due time a sound is heard. Until this is called they show at once.
    void setPictureClock(Clock& clock, std::function<double()> delayMs) {
        pictures_.setClock(&clock, std::move(delayMs));
    }
    PictureSchedule& pictureSchedule() { return pictures_; }
    // The picture area in a window of its own (a double-click on the picture area opens it).
    void showBgaWindow();
    BgaWindow* bgaWindow() const { return bga_; }

    // A notice for the user (no sound device): shown in the information box until the first
    // chart's fields arrive, and above them.
    void showNotice(const QString& text);

    // Outer window size in twips (the frame takes kFrameWidthTwips x kFrameHeightTwips of it).
    int outerHeightTwips() const { return outerHeight_; }
    int outerWidthTwips() const { return outerWidth_; }

    // Handlers, public so that the tests drive them as a user would.
    void chkCmpct_Click();
    void chkImage_Click();
    void Frame1_Click();
    void Label1_Click();
    void Label1_DblClick();
    void List1_Click();
    void TitleBGA_Click();
    void MissBGA_Click();
    void WaitBGA_Click();
    void cmdClose_Click();
    // A drop of files (paths as decoded text); only the first counts. A path holding a line break
    // is refused with a message.
    void dropFiles(const QStringList& paths);

    // PlayerView
    void eventCountChanged(qsizetype count) override;
    void loadStateChanged(LoadState state) override;
    void statusChanged(PlayerStatus status) override;
    void messagesChanged(const std::vector<LoadMessage>& messages) override;
    void informationChanged(const QString& text) override;
    void pictureChanged(const QImage& primary, double dueMs) override;
    bool playerVisible() override { return isVisible(); }
    void closePlayer() override;

    QCheckBox* chkCmpct = nullptr;
    QCheckBox* chkImage = nullptr;
    QLabel* Label1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QPushButton* cmdBack = nullptr;
    QPushButton* cmdRev = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdPlay = nullptr;
    QPushButton* cmdFF = nullptr;
    QPushButton* cmdNext = nullptr;
    QFrame* Frame1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QListWidget* List1 = nullptr;
    QLabel* lblWave = nullptr;
    QLabel* lblPlay = nullptr;
    PictureArea* Picture1 = nullptr;
    ClickLabel* TitleBGA = nullptr;
    ClickLabel* MissBGA = nullptr;
    ClickLabel* WaitBGA = nullptr;
    QListView* List2 = nullptr;
    QPushButton* cmdClose = nullptr;
    // 譜面 in the window's context menu, with its shortcut Ctrl+T.
    QAction* chartViewAction = nullptr;
    QAction* pauseAction = nullptr;  // Space: Pause, and Play again

  protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void setOuterHeight(int twips);
    void setOuterWidth(int twips);
    int detailsHeight() const;
    void paintTransportIcons();
    void showSource();
    void toggleReading();
    void requestChartView();
    QRect at(int left, int top, int width, int height) const;

    PlayerController& controller_;
    EventListModel events_;
    PictureSchedule pictures_;
    BgaWindow* bga_ = nullptr;
    int outerHeight_ = kHeightCompact;
    int outerWidth_ = kWidthNarrow;
    PlayerStatus status_ = PlayerStatus::NoFile;
    qsizetype pendingCount_ = 0;
    QTimer countTimer_;
    double dpi_ = 96;
    QString notice_;
};

}  // namespace carvel
