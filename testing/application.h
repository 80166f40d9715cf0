#pragma once

namespace carvel::testing {

// Widgets need a QApplication (offscreen in the tests); window tests call this first. It lives
// until the test program ends.
void ensureApplication();

}  // namespace carvel::testing
