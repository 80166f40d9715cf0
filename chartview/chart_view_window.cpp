#include "chartview/chart_view_window.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "chartview/position_text.h"
#include "chartview/view_settings.h"
#include "playback/playback.h"

namespace carvel {

namespace {

QPushButton* button(const QString& text, const QString& tip, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setToolTip(tip);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

}  // namespace

ChartViewWindow::ChartViewWindow(PlayerController& controller, QString settingsFile,
                                 QWidget* parent)
    : QWidget(parent),
      controller_(controller),
      settingsFile_(std::move(settingsFile)),
      marks_(Playback::kShortestLoopMs) {
    setWindowTitle(QStringLiteral("譜面"));

    auto* tools = new QHBoxLayout;
    tools->addWidget(new QLabel(QStringLiteral("表示時間"), this));
    spanBox = new QSpinBox(this);
    spanBox->setRange(kShortestSpanMs, kLongestSpanMs);
    spanBox->setSingleStep(100);
    spanBox->setSuffix(QStringLiteral(" ms"));
    spanBox->setToolTip(QStringLiteral("判定ﾗｲﾝから上端までの時間 (小さいほど速く流れます)"));
    spanBox->setFocusPolicy(Qt::ClickFocus);
    tools->addWidget(spanBox);
    tools->addSpacing(16);
    tools->addWidget(new QLabel(QStringLiteral("速度"), this));
    slowerButton = button(QStringLiteral("－"), QStringLiteral("遅く (-)"), this);
    speedLabel = new QLabel(this);
    speedLabel->setAlignment(Qt::AlignCenter);
    speedLabel->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0.00×__")));
    fasterButton = button(QStringLiteral("＋"), QStringLiteral("速く (+)"), this);
    normalSpeedButton = button(QStringLiteral("等速"), QStringLiteral("1.00× に戻す"), this);
    keepPitchBox = new QCheckBox(QStringLiteral("ﾋﾟｯﾁ保持"), this);
    keepPitchBox->setFocusPolicy(Qt::NoFocus);
    for (QWidget* w : std::initializer_list<QWidget*>{slowerButton, speedLabel, fasterButton,
                                                      normalSpeedButton, keepPitchBox}) {
        tools->addWidget(w);
    }
    tools->addSpacing(16);
    tools->addWidget(new QLabel(QStringLiteral("区間ﾙｰﾌﾟ"), this));
    markAButton =
        button(QStringLiteral("A"), QStringLiteral("始点 ([)  Shift: 小節線に合わせない"), this);
    markBButton =
        button(QStringLiteral("B"), QStringLiteral("終点 (])  Shift: 小節線に合わせない"), this);
    clearLoopButton = button(QStringLiteral("解除"), QStringLiteral("区間ﾙｰﾌﾟを解除"), this);
    tools->addWidget(markAButton);
    tools->addWidget(markBButton);
    tools->addWidget(clearLoopButton);
    tools->addStretch(1);

    lanes = new LaneView(this);
    lanes->setFocusPolicy(Qt::StrongFocus);
    lanes->setChartLayout(&layout_);
    mixer = new LaneMixer(controller_, this);
    auto* mixerBox = new QGroupBox(QStringLiteral("ﾐｷｻｰ"), this);
    auto* mixerLayout = new QVBoxLayout(mixerBox);
    mixerLayout->addWidget(mixer);
    mixerLayout->addStretch(1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(lanes, 1);
    middle->addWidget(mixerBox);

    auto* bottom = new QHBoxLayout;
    positionLabel = new QLabel(positionText(0, 0, 0), this);
    positionLabel->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("00:00 / 00:00  小節 000__")));
    positionBar = new PositionBar(this);
    bottom->addWidget(positionLabel);
    bottom->addWidget(positionBar, 1);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(tools);
    outer->addLayout(middle, 1);
    outer->addLayout(bottom);

    connect(spanBox, &QSpinBox::valueChanged, this,
            [this](int ms) { lanes->setVisibleSpanMs(ms); });
    connect(slowerButton, &QPushButton::clicked, this, [this] { changeSpeed(-1); });
    connect(fasterButton, &QPushButton::clicked, this, [this] { changeSpeed(1); });
    connect(normalSpeedButton, &QPushButton::clicked, this, [this] { resetSpeed(); });
    connect(keepPitchBox, &QCheckBox::toggled, this, [this](bool keep) {
        media::Speed speed = controller_.speed();
        speed.keepPitch = keep;
        controller_.setSpeed(speed);
        showSpeed();
    });
    const auto shift = [] { return QApplication::keyboardModifiers().testFlag(Qt::ShiftModifier); };
    connect(markAButton, &QPushButton::clicked, this, [this, shift] { markA(shift()); });
    connect(markBButton, &QPushButton::clicked, this, [this, shift] { markB(shift()); });
    connect(clearLoopButton, &QPushButton::clicked, this, [this] { clearLoop(); });
    positionBar->onSeek = [this](double ms) {
        controller_.seekTo(ms);
        refresh();
    };
    lanes->onMeasureClicked = [this](double ms) {
        controller_.seekTo(ms);
        refresh();
    };

    const ViewSettings settings = loadViewSettings(settingsFile_);
    spanBox->setValue(static_cast<int>(settings.spanMs));
    lanes->setVisibleSpanMs(spanBox->value());
    resize(900, 720);
    if (!settings.geometry.isEmpty()) {
        restoreGeometry(settings.geometry);
    }

    frames_.setTimerType(Qt::PreciseTimer);
    connect(&frames_, &QTimer::timeout, this, [this] { refresh(); });
    showSpeed();
    refresh();
}

ChartViewWindow::~ChartViewWindow() {
    if (isVisible()) {
        saveSettings();
    }
}

void ChartViewWindow::refresh() {
    if (serial_ != controller_.chartSerial()) {
        serial_ = controller_.chartSerial();
        layout_ = layoutChart(controller_.chart(), isPmsPath(controller_.chartPath()));
        lanes->setChartLayout(&layout_);
        positionBar->setDurationMs(layout_.durationMs);
        marks_.clear();
    }
    if (isVisible()) {
        const int interval = controller_.running() ? kFrameMs : kIdleMs;
        if (!frames_.isActive() || frames_.interval() != interval) {
            frames_.start(interval);
        }
    }
    const double heard = controller_.heardPositionMs();
    // A frame stays on screen until the next one: drawn for the middle of that time, a note meets
    // the line within about half a frame of its sound, early or late.
    const double ahead = controller_.running() ? kFrameMs * 0.5 * controller_.speed().speed : 0;
    lanes->setPositionMs(heard + ahead);
    positionBar->setPositionMs(heard);
    const QString text = positionText(heard, layout_.durationMs, layout_.measureAt(heard));
    if (text != positionLabel->text()) {
        positionLabel->setText(text);
    }
    showLoop();
}

void ChartViewWindow::showLoop() {
    std::optional<double> a = marks_.a();
    std::optional<double> b = marks_.b();
    if (const std::optional<PlayerController::Loop> loop = controller_.loop()) {
        a = loop->aMs;
        b = loop->bMs;
    } else if (marks_.complete()) {
        // The controller let the loop go (another chart was opened).
        marks_.clear();
        a = b = std::nullopt;
    }
    lanes->setLoop(a, b);
    positionBar->setLoop(a, b);
}

void ChartViewWindow::markA(bool exact) {
    const double heard = controller_.heardPositionMs();
    apply(marks_.markA(exact ? heard : snapToLine(heard, layout_.measureLinesMs)));
}

void ChartViewWindow::markB(bool exact) {
    const double heard = controller_.heardPositionMs();
    apply(marks_.markB(exact ? heard : snapToLine(heard, layout_.measureLinesMs)));
}

void ChartViewWindow::apply(LoopMarks::Change change) {
    if (change.clear) {
        controller_.clearLoop();
    }
    if (change.loop) {
        controller_.setLoop(change.loop->aMs, change.loop->bMs);
    }
    showLoop();
}

void ChartViewWindow::clearLoop() {
    marks_.clear();
    controller_.clearLoop();
    showLoop();
}

void ChartViewWindow::changeSpeed(int steps) {
    media::Speed speed = controller_.speed();
    speed.speed = std::clamp(speed.speed + steps * PlayerController::kSpeedStep,
                             media::Speed::kSlowest, media::Speed::kFastest);
    controller_.setSpeed(speed);
    showSpeed();
}

void ChartViewWindow::resetSpeed() {
    media::Speed speed = controller_.speed();
    speed.speed = 1;
    controller_.setSpeed(speed);
    showSpeed();
}

void ChartViewWindow::showSpeed() {
    const media::Speed speed = controller_.speed();
    speedLabel->setText(QString::number(speed.speed, 'f', 2) + QStringLiteral("×"));
    const QSignalBlocker blocker(keepPitchBox);
    keepPitchBox->setChecked(speed.keepPitch);
    slowerButton->setEnabled(speed.speed > media::Speed::kSlowest + 1e-9);
    fasterButton->setEnabled(speed.speed < media::Speed::kFastest - 1e-9);
}

void ChartViewWindow::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    switch (event->key()) {
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft:  // [ with Shift on most layouts
            markA(shift || event->key() == Qt::Key_BraceLeft);
            return;
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight:
            markB(shift || event->key() == Qt::Key_BraceRight);
            return;
        case Qt::Key_Minus:
            changeSpeed(-1);
            return;
        case Qt::Key_Plus:
        case Qt::Key_Equal:  // + without Shift on most layouts
            changeSpeed(1);
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void ChartViewWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    mixer->refresh();
    showSpeed();
    refresh();
}

void ChartViewWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    frames_.stop();
    saveSettings();
}

void ChartViewWindow::saveSettings() {
    if (!settingsFile_.isEmpty()) {
        saveViewSettings(settingsFile_, {saveGeometry(), static_cast<double>(spanBox->value())});
    }
}

}  // namespace carvel
