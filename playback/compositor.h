#pragma once

#include <QImage>
#include <QSize>

#include "media/picture.h"

namespace carvel {

// The picture area's surfaces: base and layer (channel 4 and 7 pictures) and the primary picture
// that the player shows. All three have the size of the picture area.
class Compositor {
  public:
    explicit Compositor(QSize size = QSize(256, 256));

    // Keeps what the surfaces show, scaled to the new size.
    void resize(QSize size);
    QSize size() const { return primary_.size(); }

    // Fills base, layer and primary with black.
    void clear();

    // Copies picture onto the base (layer = false) or the layer surface; no picture makes that
    // surface black.
    void setPicture(const media::PicturePtr& picture, bool layer);
    // The same for a video frame; a frame of the surface's size is shared, not copied.
    void setFrame(const QImage& frame, bool layer);

    // Draws the primary: the overlay picture when there is one, else base, then the layer with
    // black transparent.
    void compose(const media::PicturePtr& overlay);

    const QImage& primary() const { return primary_; }

  private:
    QImage base_;
    bool layerBlack_ = true;  // the layer surface is all black: it adds nothing to the primary
    QImage layer_;
    QImage primary_;
};

}  // namespace carvel
