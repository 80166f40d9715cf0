#pragma once

#include <QWidget>
#include <functional>
#include <optional>

namespace carvel {

// A track from the chart's start to its end, filled up to the position, with the section loop
// shaded on it. A click or a drag on it asks to seek there.
class PositionBar : public QWidget {
  public:
    explicit PositionBar(QWidget* parent = nullptr);

    void setDurationMs(double ms);
    // Repaints only when the filled width changes.
    void setPositionMs(double ms);
    void setLoop(std::optional<double> aMs, std::optional<double> bMs);

    // The chart time at x (0 at the left edge, the duration at the right), and back.
    double timeAt(double x) const;
    int xOf(double ms) const;

    // The user clicked or dragged to chart time ms.
    std::function<void(double ms)> onSeek;

    QSize sizeHint() const override { return {400, 18}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void seekAt(double x);

    double durationMs_ = 0;
    double positionMs_ = 0;
    int filled_ = -1;
    int lastSeekX_ = -1;
    std::optional<double> loopA_;
    std::optional<double> loopB_;
};

}  // namespace carvel
