#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "chartview/chart_layout.h"

namespace carvel {

// The lanes of the chart view: notes fall towards a judgement line near the bottom, which stands
// at the chart time given by setPositionMs. Only what lies in view is drawn (the lists are
// searched by time, and notes that would land on a row already drawn are passed over), on a
// cached picture of the empty lanes.
class LaneView : public QWidget {
  public:
    explicit LaneView(QWidget* parent = nullptr);

    // The layout to draw; it must outlive the view or be replaced first (nullptr: empty lanes).
    void setChartLayout(const ChartLayout* layout);
    // The chart time at the judgement line. Repaints only when the picture moves by half a pixel
    // or more.
    void setPositionMs(double ms);
    double positionMs() const { return positionMs_; }
    // The chart time shown between the judgement line and the top edge (clamped to 100 ms and
    // more): the smaller, the faster notes fall.
    void setVisibleSpanMs(double ms);
    double visibleSpanMs() const { return spanMs_; }
    // The section loop, or the one point marked so far.
    void setLoop(std::optional<double> aMs, std::optional<double> bMs);

    // A click on (or within a few pixels of) a measure line: the line's chart time.
    std::function<void(double lineMs)> onMeasureClicked;
    // After each paint, with the chart time drawn at the judgement line.
    std::function<void(double positionMs)> onPainted;

    int judgementY() const;
    // The y of chart time ms in the current picture (below the judgement line for earlier times).
    double yOf(double ms) const;
    // The chart time at y.
    double timeAt(double y) const;
    int paintCount() const { return paints_; }
    // The column of layout lane `lane` (its full height); empty when there is none.
    QRect laneRect(std::size_t lane) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    struct Column {
        int x = 0;
        int width = 0;
        QColor note;
        QColor bar;
    };
    void arrangeColumns();
    void paintBackground();
    double pixelsPerMs() const;
    void paintLoop(class QPainter& p) const;
    void paintMeasureLines(QPainter& p) const;
    void paintMarks(QPainter& p) const;
    void paintLane(QPainter& p, const ChartLane& lane, const Column& column) const;

    const ChartLayout* layout_ = nullptr;
    std::vector<Column> columns_;
    int lanesLeft_ = 0;
    int lanesRight_ = 0;
    QPixmap background_;
    double positionMs_ = 0;
    double paintedMs_ = 0;  // the position of the last repaint asked for
    double spanMs_ = 2000;
    std::optional<double> loopA_;
    std::optional<double> loopB_;
    int paints_ = 0;
};

}  // namespace carvel
