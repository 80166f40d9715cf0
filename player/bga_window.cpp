#include "player/bga_window.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace carvel {

BgaWindow::BgaWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("BGA"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(64, 64);
    resize(768, 768);
}

void BgaWindow::showPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

int BgaWindow::pictureSide() const {
    return std::min(width(), height());
}

void BgaWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (picture_.isNull()) {
        return;
    }
    const QSize size = picture_.size().scaled(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture_);
}

void BgaWindow::resizeEvent(QResizeEvent*) {
    if (onSideChanged) {
        onSideChanged(pictureSide());
    }
}

void BgaWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F11) {
        toggleFullScreen();
    } else if (event->key() == Qt::Key_Escape && isFullScreen()) {
        showNormal();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void BgaWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        toggleFullScreen();
    }
}

void BgaWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (onSideChanged) {
        onSideChanged(0);
    }
}

void BgaWindow::toggleFullScreen() {
    if (isFullScreen()) {
        showNormal();
    } else {
        showFullScreen();
    }
}

}  // namespace carvel
