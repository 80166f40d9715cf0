#pragma once

#include <QImage>
#include <QSize>

#include "chart/chart_state.h"

namespace carvel {

// The picture area's surfaces: base and layer (channel 4 and 7 pictures) and the primary picture
// that the player shows. All three have the size of the picture area.
class Compositor {
  public:
    explicit Compositor(QSize size = QSize(256, 256));

    void resize(QSize size);
    QSize size() const { return primary_.size(); }

    // Fills base, layer and primary with black.
    void clear();

    // Copies picture `index` of the chart onto the base (layer = false) or the layer surface; an
    // index that is out of range or not loaded makes that surface black.
    void loadPicture(const ChartState& chart, long long index, bool layer);

    // Draws the primary: the stage picture while the title toggle is on and one is loaded; else
    // the Miss picture while the Miss toggle is on and it is loaded; else base, then the layer with
    // black transparent.
    void compose(const ChartState& chart);

    const QImage& primary() const { return primary_; }

  private:
    QImage base_;
    QImage layer_;
    QImage primary_;
};

}  // namespace carvel
