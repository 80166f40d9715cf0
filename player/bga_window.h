#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

namespace carvel {

// The picture area in a window of its own, to watch a chart's pictures and videos large: the
// picture is scaled to the window with its aspect kept, on black. F11 or a double-click switches
// full screen; Esc leaves it.
class BgaWindow : public QWidget {
  public:
    explicit BgaWindow(QWidget* parent = nullptr);

    void showPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    // The square, in pixels, that a picture fills at the window's size now.
    int pictureSide() const;

    // The window's picture side changed, or the window closed (with 0).
    std::function<void(int side)> onSideChanged;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void toggleFullScreen();

    QImage picture_;
};

}  // namespace carvel
