#include "chartview/position_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace carvel {

PositionBar::PositionBar(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(14);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void PositionBar::setDurationMs(double ms) {
    durationMs_ = std::isfinite(ms) ? std::max(0.0, ms) : 0;
    filled_ = -1;
    update();
}

void PositionBar::setPositionMs(double ms) {
    positionMs_ = ms;
    if (xOf(ms) != filled_) {
        update();
    }
}

void PositionBar::setLoop(std::optional<double> aMs, std::optional<double> bMs) {
    if (aMs != loopA_ || bMs != loopB_) {
        loopA_ = aMs;
        loopB_ = bMs;
        update();
    }
}

double PositionBar::timeAt(double x) const {
    return width() <= 1 ? 0 : std::clamp(x / (width() - 1), 0.0, 1.0) * durationMs_;
}

int PositionBar::xOf(double ms) const {
    if (!(durationMs_ > 0) || !std::isfinite(ms)) {
        return 0;
    }
    return static_cast<int>(std::clamp(ms / durationMs_, 0.0, 1.0) * (width() - 1));
}

void PositionBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int h = height();
    p.fillRect(rect(), QColor(40, 40, 48));
    filled_ = xOf(positionMs_);
    p.fillRect(0, 2, filled_, h - 4, QColor(70, 130, 220));
    if (loopA_ && loopB_) {
        const int a = xOf(std::min(*loopA_, *loopB_));
        const int b = xOf(std::max(*loopA_, *loopB_));
        p.fillRect(a, 0, std::max(1, b - a), h, QColor(255, 210, 0, 70));
    }
    for (const std::optional<double>& point : {loopA_, loopB_}) {
        if (point) {
            p.fillRect(xOf(*point), 0, 2, h, QColor(255, 210, 0));
        }
    }
    p.fillRect(filled_, 0, 2, h, Qt::white);
}

void PositionBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        lastSeekX_ = -1;
        seekAt(event->position().x());
    }
}

void PositionBar::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        seekAt(event->position().x());
    }
}

// A drag seeks once per pixel it crosses.
void PositionBar::seekAt(double x) {
    const int pixel = static_cast<int>(std::clamp(x, 0.0, static_cast<double>(width())));
    if (pixel == lastSeekX_ || !onSeek) {
        return;
    }
    lastSeekX_ = pixel;
    onSeek(timeAt(pixel));
}

}  // namespace carvel
