#pragma once

#include <QByteArray>
#include <QString>

namespace carvel {

// What the chart view remembers between runs: its window's place and size (as
// QWidget::saveGeometry gives them) and the time span its lanes show.
struct ViewSettings {
    QByteArray geometry;
    double spanMs = 2000;
};

// Kept in the group [chartview] of an INI file (the program's settings file). An empty name
// remembers nothing; something other than a regular file in its place is neither read nor
// written. Values that are missing or out of range read as the defaults.
ViewSettings loadViewSettings(const QString& file);
// False when the file could not be written.
bool saveViewSettings(const QString& file, const ViewSettings& settings);

// The spans the view offers, in ms.
inline constexpr int kShortestSpanMs = 200;
inline constexpr int kLongestSpanMs = 10000;

}  // namespace carvel
