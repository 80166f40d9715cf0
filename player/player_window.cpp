#include "player/player_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QUrl>
#include <algorithm>

#include "platform/file_name.h"
#include "platform/text_file.h"
#include "platform/text_viewer.h"
#include "platform/twips.h"
#include "playback/display_texts.h"
#include "player/transport_icons.h"

namespace carvel {

namespace {

const QString kDetailCode = QStringLiteral("項目ﾒﾓﾘ");
const QString kSourceCode = QStringLiteral("ﾛｸﾞ出力");
const QString kFullReadingCode = QStringLiteral("拡張BMS");
const QString kChartViewCode = QStringLiteral("譜面");

QPushButton* transportButton(const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setIconSize(QSize(20, 20));
    button->setAccessibleName(caption);
    button->setToolTip(QString(caption).remove(u'&'));
    button->setObjectName(QString(caption).remove(u'&'));
    // The caption's mnemonic still works without showing the text.
    button->setShortcut(QKeySequence::mnemonic(caption));
    return button;
}

}  // namespace

QRect PlayerWindow::at(int left, int top, int width, int height) const {
    return twipsRect(left, top, width, height, dpi_);
}

PlayerWindow::PlayerWindow(PlayerController& controller, QWidget* parent)
    : QWidget(parent),
      controller_(controller),
      events_(controller.chart(), this),
      pictures_(
          [this](const QImage& picture) {
              Picture1->showPicture(picture);
              if (bga_ != nullptr && bga_->isVisible()) {
                  bga_->showPicture(picture);
              }
          },
          this) {
    dpi_ = screen() ? screen()->logicalDotsPerInch() : 96;
    setWindowTitle(QStringLiteral("Orv Carvel"));
    setAcceptDrops(true);

    chkCmpct = new QCheckBox(QStringLiteral("ｺﾝﾊﾟｸﾄ(&C)"), this);
    chkCmpct->setGeometry(at(1440, 120, 1095, 255));
    chkCmpct->setChecked(true);
    chkImage = new QCheckBox(QStringLiteral("BG&A"), this);
    chkImage->setGeometry(at(2760, 120, 735, 255));
    chkImage->setEnabled(false);
    Label1 = new QLabel(QStringLiteral("0"), this);
    Label1->setGeometry(at(120, 240, 735, 255));
    Label1->installEventFilter(this);
    Text1 = new QPlainTextEdit(this);
    Text1->setGeometry(at(120, 480, 3375, 855));
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setReadOnly(true);

    cmdBack = transportButton(QStringLiteral("&Back"), this);
    cmdRev = transportButton(QStringLiteral("&Rev"), this);
    cmdStop = transportButton(QStringLiteral("&Stop"), this);
    cmdPlay = transportButton(QStringLiteral("&Play"), this);
    cmdFF = transportButton(QStringLiteral("&FF"), this);
    cmdNext = transportButton(QStringLiteral("&Next"), this);
    paintTransportIcons();
    const QPushButton* buttons[] = {cmdBack, cmdRev, cmdStop, cmdPlay, cmdFF, cmdNext};
    for (int i = 0; i < 6; ++i) {
        const_cast<QPushButton*>(buttons[i])->setGeometry(at(360 + 480 * i, 1440, 495, 615));
    }
    connect(cmdBack, &QPushButton::clicked, this, [this] { controller_.back(); });
    connect(cmdRev, &QPushButton::clicked, this, [this] { controller_.rewind(); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { controller_.stop(); });
    connect(cmdPlay, &QPushButton::clicked, this, [this] { controller_.play(); });
    connect(cmdFF, &QPushButton::clicked, this, [this] { controller_.fastForward(); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { controller_.next(); });

    Frame1 = new QFrame(this);
    Frame1->setFrameShape(QFrame::Box);
    Frame1->setGeometry(at(120, 2040, 3375, 735));
    Frame1->installEventFilter(this);
    Label2 = new QLabel(QStringLiteral("読み込み状況 : 待機"), Frame1);
    Label2->setGeometry(at(120, 240, 3255, 255));
    Label3 = new QLabel(QStringLiteral("ｽﾃｰﾀｽ : ﾌｧｲﾙは開かれていません"), Frame1);
    Label3->setGeometry(at(120, 480, 3255, 255));
    Label4 = new QLabel(QStringLiteral("ｴﾗｰ"), this);
    Label4->setGeometry(at(120, 2880, 375, 255));
    List1 = new QListWidget(this);
    List1->setGeometry(at(120, 3120, 3375, 600));
    List1->setHidden(true);
    connect(List1, &QListWidget::itemClicked, this, [this] { List1_Click(); });
    connect(List1, &QListWidget::currentRowChanged, this, [this] { List1_Click(); });

    lblWave = new QLabel(this);
    // 240 twips high, not 255: the window's inner area ends at 4080.
    lblWave->setGeometry(at(2400, 3840, 735, 240));
    lblWave->setFrameShape(QFrame::Panel);
    lblWave->setAlignment(Qt::AlignCenter);
    lblWave->installEventFilter(this);
    lblPlay = new QLabel(this);
    lblPlay->setGeometry(at(3240, 3840, 255, 240));
    lblPlay->setFrameShape(QFrame::Panel);
    lblPlay->setAlignment(Qt::AlignCenter);
    lblPlay->installEventFilter(this);

    Picture1 = new PictureArea(this);
    Picture1->setGeometry(at(3720, 120, 3960, 3960));
    Picture1->setToolTip(QStringLiteral("Wait : On"));
    controller_.setPictureSize(Picture1->size());
    Picture1->onDoubleClick = [this] { showBgaWindow(); };
    TitleBGA = new ClickLabel(QStringLiteral("ﾀｲﾄﾙ画像"), Picture1);
    TitleBGA->setGeometry(at(120, 120, 855, 255));
    MissBGA = new ClickLabel(QStringLiteral("Miss画像"), Picture1);
    MissBGA->setGeometry(at(1080, 120, 735, 255));
    WaitBGA = new ClickLabel(QStringLiteral("Wait-On/Off"), Picture1);
    WaitBGA->setGeometry(at(1920, 120, 975, 255));
    for (ClickLabel* label : {TitleBGA, MissBGA, WaitBGA}) {
        label->setCursor(Qt::PointingHandCursor);
        label->setStyleSheet(QStringLiteral("color: white; background: rgba(0, 0, 0, 110);"));
        label->setAlignment(Qt::AlignCenter);
    }
    TitleBGA->onClick = [this] { TitleBGA_Click(); };
    MissBGA->onClick = [this] { MissBGA_Click(); };
    WaitBGA->onClick = [this] { WaitBGA_Click(); };

    List2 = new QListView(this);
    List2->setGeometry(at(120, 4200, 3375, 2040));
    List2->setModel(&events_);
    List2->setUniformItemSizes(true);
    List2->setHidden(true);
    cmdClose = new QPushButton(QStringLiteral("詳細ｸﾛｰｽﾞ"), this);
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });

    // The chart view opens from the context menu of any part of the window that has none of its
    // own, and from Ctrl+T while the player is the active window.
    chartViewAction = new QAction(QStringLiteral("譜面"), this);
    chartViewAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(chartViewAction, &QAction::triggered, this, [this] { requestChartView(); });
    addAction(chartViewAction);
    // Space holds the run where it stands and lets it go on, as a CD player's Pause does.
    pauseAction = new QAction(QStringLiteral("一時停止"), this);
    pauseAction->setShortcut(QKeySequence(Qt::Key_Space));
    connect(pauseAction, &QAction::triggered, this, [this] {
        if (controller_.paused()) {
            controller_.play();
        } else {
            controller_.pause();
        }
    });
    addAction(pauseAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    connect(chkCmpct, &QCheckBox::toggled, this, [this] { chkCmpct_Click(); });
    connect(chkImage, &QCheckBox::toggled, this, [this] { chkImage_Click(); });

    countTimer_.setSingleShot(true);
    connect(&countTimer_, &QTimer::timeout, this,
            [this] { Label1->setText(QString::number(pendingCount_)); });

    askCode = [this] {
        return QInputDialog::getText(this, QStringLiteral("Carvel"), QStringLiteral("ｺｰﾄﾞを入力"));
    };
    openTextViewer = [](const QString& path) { return carvel::openInTextViewer(path); };
    showMessage = [this](const QString& title, const QString& text) {
        QMessageBox::warning(this, title, text);
    };
    showInformation = [this](const QString& title, const QString& text) {
        QMessageBox::information(this, title, text);
    };

    setOuterWidth(kWidthNarrow);
    setOuterHeight(kHeightCompact);

    // Every file drop on the player is a chart drop: no control takes one for itself.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setAcceptDrops(false);
    }
}

void PlayerWindow::paintTransportIcons() {
    const std::pair<QPushButton*, TransportIcon> buttons[] = {
        {cmdBack, TransportIcon::Back}, {cmdRev, TransportIcon::Rev},
        {cmdStop, TransportIcon::Stop}, {cmdPlay, TransportIcon::Play},
        {cmdFF, TransportIcon::FF},     {cmdNext, TransportIcon::Next},
    };
    // The window's palette: the buttons take theirs from it only after its change event.
    const QColor color = palette().color(QPalette::ButtonText);
    for (const auto& [button, icon] : buttons) {
        button->setIcon(transportIcon(icon, 64, color));
    }
}

void PlayerWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        paintTransportIcons();
    }
    QWidget::changeEvent(event);
}

void PlayerWindow::setOuterHeight(int twips) {
    outerHeight_ = twips;
    // The designed size of each layout, and no other: the controls stand at fixed places.
    setFixedSize(width(), twipsToPixels(twips - kFrameHeightTwips, dpi_));
}

void PlayerWindow::setOuterWidth(int twips) {
    outerWidth_ = twips;
    setFixedSize(twipsToPixels(twips - kFrameWidthTwips, dpi_), height());
    // The design's place of 詳細ｸﾛｰｽﾞ, right of the detail list, lies outside the narrow window:
    // there it goes below the list, right-aligned with it.
    cmdClose->setGeometry(twips < kWidthWide ? at(1440, 6300, 2055, 255)
                                             : at(3600, 6000, 2055, 255));
    if (outerHeight_ == kHeightDetails || outerHeight_ == kHeightDetailsNarrow) {
        setOuterHeight(detailsHeight());
    }
}

int PlayerWindow::detailsHeight() const {
    return outerWidth_ < kWidthWide ? kHeightDetailsNarrow : kHeightDetails;
}

void PlayerWindow::chkCmpct_Click() {
    const bool compact = chkCmpct->isChecked();
    chkImage->setEnabled(!compact);
    List1->setHidden(compact);
    setOuterHeight(compact ? kHeightCompact : kHeightNormal);
    chkImage->setChecked(false);  // runs chkImage_Click when it was checked
}

void PlayerWindow::chkImage_Click() {
    controller_.setPicturesShown(chkImage->isChecked());
    setOuterWidth(chkImage->isChecked() ? kWidthWide : kWidthNarrow);
}

void PlayerWindow::Frame1_Click() {
    Frame1->hide();
}

void PlayerWindow::Label1_Click() {
    Frame1->show();
}

void PlayerWindow::List1_Click() {
    if (List1->currentItem() != nullptr) {
        List1->setToolTip(List1->currentItem()->text());
    }
}

void PlayerWindow::TitleBGA_Click() {
    using Overlay = PlayerController::Overlay;
    controller_.setOverlay(controller_.overlay() == Overlay::Title ? Overlay::None
                                                                   : Overlay::Title);
}

void PlayerWindow::MissBGA_Click() {
    using Overlay = PlayerController::Overlay;
    controller_.setOverlay(controller_.overlay() == Overlay::Miss ? Overlay::None : Overlay::Miss);
}

void PlayerWindow::WaitBGA_Click() {
    const bool skip = !controller_.skipsLateEvents();
    controller_.setSkipLateEvents(skip);
    Picture1->setToolTip(skip ? QStringLiteral("Wait : Off") : QStringLiteral("Wait : On"));
}

void PlayerWindow::cmdClose_Click() {
    List2->hide();
    // Back to the layout the detail list was opened from: the compact one while 「ｺﾝﾊﾟｸﾄ」 is
    // ticked, else the normal height (not the design's 4215 twips, which cut off the preview
    // labels and the foot of the picture area).
    setOuterHeight(chkCmpct->isChecked() ? kHeightCompact : kHeightNormal);
}

void PlayerWindow::Label1_DblClick() {
    const QString code = askCode ? askCode() : QString();
    if (code == kDetailCode) {
        setOuterHeight(detailsHeight());
        events_.reset();
        List2->show();
    } else if (code == kSourceCode) {
        showSource();
    } else if (code == kFullReadingCode) {
        toggleReading();
    } else if (code == kChartViewCode) {
        requestChartView();
    }
}

void PlayerWindow::requestChartView() {
    if (onChartViewRequested) {
        onChartViewRequested();
    }
}

void PlayerWindow::toggleReading() {
    ReadOptions reading = controller_.readOptions();
    const bool full = reading.mode != ReadingMode::Full;
    reading.mode = full ? ReadingMode::Full : ReadingMode::Classic;
    controller_.setReadOptions(reading);
    const bool kept = !onReadingModeChanged || onReadingModeChanged(reading.mode);
    QString text = full ? QStringLiteral(
                              "拡張BMSﾓｰﾄﾞになりました。\n"
                              "次に開くBMSから、拡張BMSとして読み込みます。")
                        : QStringLiteral(
                              "通常ﾓｰﾄﾞになりました。\n"
                              "次に開くBMSから、通常のBMSとして読み込みます。");
    if (!kept) {
        text += QStringLiteral("\n設定を保存できませんでした。次の起動では元のﾓｰﾄﾞに戻ります。");
    }
    showInformation(QStringLiteral("Carvel"), text);
}

void PlayerWindow::showSource() {
    const QString path = controller_.chartPath();
    if (path.isEmpty()) {
        return;
    }
    if (openTextViewer && openTextViewer(path)) {
        return;
    }
    const std::optional<QString> text = readTextFile(path);
    if (!text) {
        return;
    }
    QApplication::clipboard()->setText(*text);
    QMessageBox::information(this, QStringLiteral("Carvel"),
                             QStringLiteral("ｸﾘｯﾌﾟﾎﾞｰﾄﾞにｺﾋﾟｰしました。"));
}

void PlayerWindow::dropFiles(const QStringList& paths) {
    if (!paths.isEmpty() && onChartDropped) {
        onChartDropped(paths.first());
    }
}

void PlayerWindow::eventCountChanged(qsizetype count) {
    // A load reports every line; the label shows the latest count once the load lets it paint.
    pendingCount_ = count;
    if (!countTimer_.isActive()) {
        countTimer_.start(0);
    }
}

void PlayerWindow::loadStateChanged(LoadState state) {
    Label2->setText(loadStateText(state));
}

void PlayerWindow::statusChanged(PlayerStatus status) {
    status_ = status;
    Label3->setText(statusText(status));
    if (onStatusChanged) {
        onStatusChanged(status);
    }
}

void PlayerWindow::messagesChanged(const std::vector<LoadMessage>& messages) {
    List1->clear();
    List1->setToolTip(QString());
    // In one insertion: a chart may bring tens of thousands of messages.
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(messages.size()));
    for (const LoadMessage& message : messages) {
        texts.append(messageText(message));
    }
    List1->addItems(texts);
    events_.reset();
}

void PlayerWindow::showNotice(const QString& text) {
    notice_ = text;
    Text1->setPlainText(text);
}

void PlayerWindow::informationChanged(const QString& fields) {
    // A chart that could not be read has no fields worth showing. The compact layout hides the
    // status line and the message list, so the box says why, first, where its narrow width shows
    // the words whole, then the chart's path.
    const bool failed = status_ == PlayerStatus::NotFound || status_ == PlayerStatus::TooLarge ||
                        status_ == PlayerStatus::Unreadable || status_ == PlayerStatus::OutOfMemory;
    const QString shown = failed ? statusText(status_).section(QStringLiteral(" : "), 1) +
                                       QStringLiteral("\n") + controller_.chartPath()
                                 : fields;
    // A notice stands before the first chart's fields, then goes.
    const QString text = notice_.isEmpty() ? shown : notice_ + QStringLiteral("\n") + shown;
    notice_.clear();
    Text1->setPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void PlayerWindow::pictureChanged(const QImage& primary, double dueMs) {
    pictures_.add(primary, dueMs);
}

void PlayerWindow::showBgaWindow() {
    if (bga_ == nullptr) {
        bga_ = new BgaWindow(this);
        // Composed at the larger window's size, the picture area's picture is scaled down, and
        // videos are decoded at the size they are watched at.
        bga_->onSideChanged = [this](int side) {
            const int own = std::min(Picture1->width(), Picture1->height());
            controller_.setPictureSize(QSize(std::max(side, own), std::max(side, own)));
        };
    }
    bga_->showPicture(Picture1->picture());
    bga_->show();
    bga_->raise();
    bga_->activateWindow();
    bga_->onSideChanged(bga_->pictureSide());
}

void PlayerWindow::closePlayer() {
    close();
}

void PlayerWindow::closeEvent(QCloseEvent* event) {
    if (blnExiting) {
        controller_.releaseSounds();
        event->accept();
        return;
    }
    event->ignore();
    controller_.stop();
    if (onClosed) {
        onClosed();
    }
    hide();
    controller_.releaseSounds();
}

void PlayerWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void PlayerWindow::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        return;
    }
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.append(localFileName(url));
        }
    }
    event->acceptProposedAction();
    dropFiles(paths.mid(0, 1));
}

bool PlayerWindow::eventFilter(QObject* watched, QEvent* event) {
    SoundPreview& preview = controller_.preview();
    if (watched == Label1) {
        if (event->type() == QEvent::MouseButtonRelease) {
            Label1_Click();
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            Label1_DblClick();
            return true;
        }
    } else if (watched == Frame1 && event->type() == QEvent::MouseButtonRelease) {
        Frame1_Click();
    } else if (watched == lblWave) {
        if (event->type() == QEvent::MouseButtonPress) {
            preview.press();
        } else if (event->type() == QEvent::MouseMove) {
            const auto buttons = static_cast<QMouseEvent*>(event)->buttons();
            preview.drag(((buttons & Qt::LeftButton) ? SoundPreview::kLeftButton : 0) |
                         ((buttons & Qt::RightButton) ? SoundPreview::kRightButton : 0));
        }
        lblWave->setText(preview.indexText());
        lblPlay->setText(preview.armed() ? QStringLiteral("■") : QString());
    } else if (watched == lblPlay && event->type() == QEvent::MouseButtonRelease) {
        preview.play();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace carvel
