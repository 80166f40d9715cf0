#include "chartview/lane_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace carvel {

namespace {

constexpr int kNumberMargin = 40;  // left of the lanes: the measure numbers
constexpr int kMarkMargin = 96;    // right of the lanes: the tempo changes and stops
constexpr int kJudgementFromBottom = 28;
constexpr int kNoteHeight = 5;
constexpr int kSideGap = 24;
constexpr int kBackgroundGap = 8;
constexpr double kMaxScale = 2.0;
constexpr int kClickSlop = 4;

const QColor kCanvas(12, 12, 16);
const QColor kMeasureLine(110, 110, 120);
const QColor kJudgement(230, 40, 40);
const QColor kTempo(90, 220, 120);
const QColor kStop(240, 160, 60);
const QColor kLoopFill(255, 210, 0, 36);
const QColor kLoopEdge(255, 210, 0);

struct LaneStyle {
    int width;
    QColor lane;
    QColor note;
};

LaneStyle styleOf(LaneKind kind) {
    switch (kind) {
        case LaneKind::Background:
            return {12, QColor(24, 24, 28), QColor(150, 150, 160)};
        case LaneKind::Scratch:
            return {44, QColor(34, 20, 20), QColor(240, 70, 70)};
        case LaneKind::WhiteKey:
            return {30, QColor(28, 28, 34), QColor(235, 235, 235)};
        case LaneKind::BlackKey:
            return {24, QColor(22, 22, 30), QColor(80, 150, 255)};
        case LaneKind::PopWhite:
            return {28, QColor(28, 28, 32), QColor(235, 235, 235)};
        case LaneKind::PopYellow:
            return {28, QColor(30, 30, 20), QColor(245, 220, 60)};
        case LaneKind::PopGreen:
            return {28, QColor(20, 30, 22), QColor(80, 220, 100)};
        case LaneKind::PopBlue:
            return {28, QColor(20, 24, 34), QColor(80, 150, 255)};
        case LaneKind::PopRed:
            return {28, QColor(34, 20, 20), QColor(240, 70, 70)};
    }
    return {24, kCanvas, Qt::white};
}

// A y coordinate as a pixel row, clamped to a little outside the widget so that a chart time
// however large never overflows an int.
int row(double y, int height) {
    return static_cast<int>(std::floor(std::clamp(y, -4.0, height + 4.0)));
}

}  // namespace

LaneView::LaneView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 160);
    arrangeColumns();
}

void LaneView::setChartLayout(const ChartLayout* layout) {
    layout_ = layout;
    arrangeColumns();
    paintBackground();
    update();
}

void LaneView::setPositionMs(double ms) {
    positionMs_ = std::isfinite(ms) ? ms : 0;
    if (std::abs(positionMs_ - paintedMs_) * pixelsPerMs() >= 0.5) {
        paintedMs_ = positionMs_;
        // Only the lanes and their margins move; the empty sides stay as they are.
        const int left = std::max(0, lanesLeft_ - kNumberMargin);
        update(left, 0, std::min(width(), lanesRight_ + kMarkMargin) - left, height());
    }
}

void LaneView::setVisibleSpanMs(double ms) {
    spanMs_ = std::isfinite(ms) ? std::max(100.0, ms) : spanMs_;
    update();
}

void LaneView::setLoop(std::optional<double> aMs, std::optional<double> bMs) {
    if (aMs != loopA_ || bMs != loopB_) {
        loopA_ = aMs;
        loopB_ = bMs;
        update();
    }
}

int LaneView::judgementY() const {
    return std::max(1, height() - kJudgementFromBottom);
}

double LaneView::pixelsPerMs() const {
    return judgementY() / spanMs_;
}

double LaneView::yOf(double ms) const {
    return judgementY() - (ms - positionMs_) * pixelsPerMs();
}

double LaneView::timeAt(double y) const {
    return positionMs_ + (judgementY() - y) / pixelsPerMs();
}

QRect LaneView::laneRect(std::size_t lane) const {
    return lane < columns_.size() ? QRect(columns_[lane].x, 0, columns_[lane].width, height())
                                  : QRect();
}

void LaneView::arrangeColumns() {
    columns_.clear();
    if (layout_ == nullptr) {
        lanesLeft_ = lanesRight_ = kNumberMargin;
        return;
    }
    // Widths in units, scaled to fill the room between the margins (never beyond kMaxScale).
    std::vector<int> gaps;
    int units = 0;
    for (size_t i = 0; i < layout_->lanes.size(); ++i) {
        const ChartLane& lane = layout_->lanes[i];
        int gap = 0;
        if (i > 0) {
            gap = lane.side != layout_->lanes[i - 1].side
                      ? (layout_->lanes[i - 1].side == 0 ? kBackgroundGap : kSideGap)
                      : 0;
        }
        gaps.push_back(gap);
        units += gap + styleOf(lane.kind).width;
    }
    const int room = std::max(1, width() - kNumberMargin - kMarkMargin);
    const double scale = std::min(kMaxScale, static_cast<double>(room) / std::max(1, units));
    double x = kNumberMargin + std::max(0.0, (room - units * scale) / 2);
    lanesLeft_ = static_cast<int>(x);
    for (size_t i = 0; i < layout_->lanes.size(); ++i) {
        const LaneStyle style = styleOf(layout_->lanes[i].kind);
        x += gaps[i] * scale;
        const int left = static_cast<int>(x);
        x += style.width * scale;
        columns_.push_back(
            {left, std::max(2, static_cast<int>(x) - left), style.note, style.note.darker(190)});
    }
    lanesRight_ = static_cast<int>(x);
}

void LaneView::paintBackground() {
    const qreal ratio = devicePixelRatioF();
    background_ = QPixmap(size() * ratio);
    background_.setDevicePixelRatio(ratio);
    background_.fill(kCanvas);
    QPainter p(&background_);
    if (layout_ != nullptr) {
        for (size_t i = 0; i < columns_.size(); ++i) {
            const Column& c = columns_[i];
            p.fillRect(c.x, 0, c.width, height(), styleOf(layout_->lanes[i].kind).lane);
            p.fillRect(c.x + c.width - 1, 0, 1, height(), QColor(48, 48, 56));
        }
    }
}

void LaneView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrangeColumns();
    paintBackground();
}

void LaneView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, background_);
    if (layout_ != nullptr) {
        paintLoop(p);
        paintMeasureLines(p);
        paintMarks(p);
        for (size_t i = 0; i < columns_.size(); ++i) {
            paintLane(p, layout_->lanes[i], columns_[i]);
        }
    }
    p.fillRect(lanesLeft_, judgementY(), std::max(0, lanesRight_ - lanesLeft_), 2, kJudgement);
    ++paints_;
    if (onPainted) {
        onPainted(positionMs_);
    }
}

void LaneView::paintLoop(QPainter& p) const {
    const int h = height();
    const int w = lanesRight_ - lanesLeft_;
    if (loopA_ && loopB_) {
        const int top = row(yOf(std::max(*loopA_, *loopB_)), h);
        const int bottom = row(yOf(std::min(*loopA_, *loopB_)), h);
        p.fillRect(lanesLeft_, top, w, bottom - top, kLoopFill);
    }
    p.setPen(kLoopEdge);
    const std::pair<const std::optional<double>&, QString> points[] = {
        {loopA_, QStringLiteral("A")}, {loopB_, QStringLiteral("B")}};
    for (const auto& [point, name] : points) {
        if (point) {
            const int y = row(yOf(*point), h);
            p.fillRect(lanesLeft_, y, w, 1, kLoopEdge);
            p.drawText(lanesRight_ + 4, y - 2, name);
        }
    }
}

void LaneView::paintMeasureLines(QPainter& p) const {
    const std::vector<double>& lines = layout_->measureLinesMs;
    const int h = height();
    const double low = timeAt(h + 1);
    const double high = timeAt(-16);  // a number hangs above its line
    const int textHeight = fontMetrics().height();
    int lastText = h + textHeight;
    p.setPen(kMeasureLine);
    auto it = std::lower_bound(lines.begin(), lines.end(), low);
    while (it != lines.end() && *it <= high) {
        const int y = row(yOf(*it), h);
        p.fillRect(lanesLeft_, y, lanesRight_ - lanesLeft_, 1, kMeasureLine);
        if (lastText - y >= textHeight) {
            const int number = static_cast<int>(it - lines.begin());
            const QString text = QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
            p.drawText(std::max(2, lanesLeft_ - fontMetrics().horizontalAdvance(text) - 6), y - 2,
                       text);
            lastText = y;
        }
        // Lines that would land on this row again are passed over.
        it = std::upper_bound(it + 1, lines.end(), std::max(*it, timeAt(y)));
    }
}

void LaneView::paintMarks(QPainter& p) const {
    const std::vector<TimingMark>& marks = layout_->marks;
    const int h = height();
    const int textHeight = fontMetrics().height();
    const auto earlier = [](const TimingMark& m, double ms) { return m.timeMs < ms; };
    auto it = std::lower_bound(marks.begin(), marks.end(), timeAt(h + 1), earlier);
    const double high = timeAt(-textHeight);
    int lastText = h + textHeight;
    while (it != marks.end() && it->timeMs <= high) {
        const int y = row(yOf(it->timeMs), h);
        if (lastText - y >= textHeight) {
            QString text;
            if (it->bpm > 0) {
                text = QStringLiteral("BPM ") + QString::number(it->bpm, 'g', 5);
            }
            if (it->stopMs > 0) {
                text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + QStringLiteral("停止");
            }
            const QColor color = it->stopMs > 0 ? kStop : kTempo;
            p.fillRect(lanesRight_, y, 6, 2, color);
            p.setPen(color);
            // Clipped to the margin, which is all that a frame repaints.
            p.drawText(QRect(lanesRight_ + 10, y - textHeight / 2, kMarkMargin - 12, textHeight),
                       Qt::AlignLeft | Qt::AlignVCenter, text);
            lastText = y;
        }
        const double next = std::max(it->timeMs, timeAt(y - textHeight + 1));
        it = std::upper_bound(it + 1, marks.end(), next,
                              [](double ms, const TimingMark& m) { return ms < m.timeMs; });
    }
}

void LaneView::paintLane(QPainter& p, const ChartLane& lane, const Column& column) const {
    const int h = height();
    const double low = timeAt(h + 1);
    const double high = timeAt(-kNoteHeight - 1);
    // Long notes: barReach finds the first that reaches into view. After drawing one, those that
    // begin after it and end within the rows it covers are passed over.
    const int barInset = std::max(1, column.width / 5);
    size_t i = static_cast<size_t>(
        std::lower_bound(lane.barReach.begin(), lane.barReach.end(), low) - lane.barReach.begin());
    while (i < lane.bars.size() && lane.bars[i].startMs <= high) {
        const NoteBar& bar = lane.bars[i];
        const int top = row(yOf(bar.endMs), h);
        if (bar.endMs >= low) {
            const int bottom = row(yOf(bar.startMs), h);
            p.fillRect(column.x + barInset, top, column.width - 2 * barInset,
                       std::max(1, bottom - top), column.bar);
        }
        const double covered = std::max(bar.endMs, timeAt(top));
        i = static_cast<size_t>(std::upper_bound(lane.barReach.begin() + static_cast<long>(i) + 1,
                                                 lane.barReach.end(), covered) -
                                lane.barReach.begin());
    }
    const std::vector<double>& notes = lane.notesMs;
    auto it = std::lower_bound(notes.begin(), notes.end(), low);
    const int noteHeight = lane.kind == LaneKind::Background ? 2 : kNoteHeight;
    while (it != notes.end() && *it <= high) {
        const int y = row(yOf(*it), h);
        p.fillRect(column.x + 1, y - noteHeight + 1, column.width - 2, noteHeight, column.note);
        it = std::upper_bound(it + 1, notes.end(), std::max(*it, timeAt(y)));
    }
}

void LaneView::mousePressEvent(QMouseEvent* event) {
    if (layout_ == nullptr || event->button() != Qt::LeftButton || !onMeasureClicked) {
        QWidget::mousePressEvent(event);
        return;
    }
    const double y = event->position().y();
    const std::vector<double>& lines = layout_->measureLinesMs;
    const double at = timeAt(y);
    const auto after = std::lower_bound(lines.begin(), lines.end(), at);
    double best = NAN;
    for (auto it = after == lines.begin() ? after : after - 1; it != lines.end() && it <= after;
         ++it) {
        if (std::abs(yOf(*it) - y) <= kClickSlop &&
            (std::isnan(best) || std::abs(yOf(*it) - y) < std::abs(yOf(best) - y))) {
            best = *it;
        }
    }
    if (!std::isnan(best)) {
        onMeasureClicked(best);
    }
}

}  // namespace carvel
