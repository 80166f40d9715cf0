#pragma once

#include <string>

#include "chart/chart.h"

namespace carvel {

// Appends the text a person reads for an event of the full reading: the time in milliseconds with
// three decimals (rounded as printf's "%.3f" rounds), the channel's two characters, the value in
// decimal: "1234.568,11,37".
void appendTimedEventText(std::string& out, const TimedEvent& event);

}  // namespace carvel
