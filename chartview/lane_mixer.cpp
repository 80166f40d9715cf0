#include "chartview/lane_mixer.h"

#include <QGridLayout>
#include <cmath>
#include <limits>

namespace carvel {

double gainDbOfStep(int step) {
    return step <= kLowestGainStep
               ? -std::numeric_limits<double>::infinity()
               : std::min(static_cast<double>(step), PlayerController::kMaxGainDb);
}

int stepOfGainDb(double gainDb) {
    if (std::isnan(gainDb) || gainDb < kLowestGainStep + 0.5) {
        return kLowestGainStep;
    }
    return static_cast<int>(std::lround(std::min(gainDb, PlayerController::kMaxGainDb)));
}

QString gainText(double gainDb) {
    if (!(gainDb > -std::numeric_limits<double>::infinity())) {
        return QStringLiteral("-∞ dB");
    }
    const long rounded = std::lround(gainDb);
    return (rounded >= 0 ? QStringLiteral("+") : QString()) + QString::number(rounded) +
           QStringLiteral(" dB");
}

LaneMixer::LaneMixer(PlayerController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    const std::pair<media::Lane, QString> lanes[kStrips] = {
        {media::Lane::Background, QStringLiteral("BGM")},
        {media::Lane::Keys1P, QStringLiteral("1P")},
        {media::Lane::Keys2P, QStringLiteral("2P")}};
    for (std::size_t i = 0; i < kStrips; ++i) {
        const auto row = static_cast<int>(i);
        Strip& s = strips_[i];
        s.lane = lanes[i].first;
        grid->addWidget(new QLabel(lanes[i].second, this), row, 0);
        s.mute = new QCheckBox(QStringLiteral("ﾐｭｰﾄ"), this);
        s.mute->setFocusPolicy(Qt::NoFocus);
        grid->addWidget(s.mute, row, 1);
        s.gain = new QSlider(Qt::Horizontal, this);
        s.gain->setRange(kLowestGainStep, static_cast<int>(PlayerController::kMaxGainDb));
        s.gain->setPageStep(6);
        s.gain->setFocusPolicy(Qt::NoFocus);
        s.gain->setMinimumWidth(100);
        s.gain->setToolTip(lanes[i].second + QStringLiteral(" の音量"));
        grid->addWidget(s.gain, row, 2);
        s.value = new QLabel(this);
        s.value->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("-∞ dB__")));
        grid->addWidget(s.value, row, 3);
        connect(s.mute, &QCheckBox::toggled, this,
                [this, lane = s.lane](bool muted) { controller_.setLaneMuted(lane, muted); });
        connect(s.gain, &QSlider::valueChanged, this, [this, i](int step) {
            const Strip& strip = strips_[i];
            controller_.setLaneGainDb(strip.lane, gainDbOfStep(step));
            strip.value->setText(gainText(controller_.laneGainDb(strip.lane)));
        });
    }
    refresh();
}

void LaneMixer::refresh() {
    for (const Strip& s : strips_) {
        const QSignalBlocker muteBlocker(s.mute);
        const QSignalBlocker gainBlocker(s.gain);
        s.mute->setChecked(controller_.laneMuted(s.lane));
        s.gain->setValue(stepOfGainDb(controller_.laneGainDb(s.lane)));
        s.value->setText(gainText(controller_.laneGainDb(s.lane)));
    }
}

}  // namespace carvel
