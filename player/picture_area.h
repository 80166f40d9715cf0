#pragma once

#include <QImage>
#include <QLabel>
#include <QWidget>
#include <functional>

namespace carvel {

// The picture area: shows the last composed picture, scaled to the area. A repaint always draws
// from that picture, so an uncovered area never shows stale pixels; updates are coalesced by Qt's
// paint cycle, so it repaints at most once per frame however often pictures change.
class PictureArea : public QWidget {
  public:
    explicit PictureArea(QWidget* parent = nullptr);

    void showPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

    std::function<void()> onDoubleClick;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QImage picture_;
};

// A label inside the picture area that acts as a button: pointing-hand cursor, click callback.
class ClickLabel : public QLabel {
  public:
    ClickLabel(const QString& text, QWidget* parent);
    std::function<void()> onClick;
    std::function<void()> onDoubleClick;

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace carvel
