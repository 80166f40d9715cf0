#include "testing/application.h"

#include <QApplication>

namespace carvel::testing {

void ensureApplication() {
    static int argc = 1;
    static char name[] = "carvel-tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down among the other static objects at exit would crash.
    static const QApplication* app = new QApplication(argc, argv);
    (void)app;
}

}  // namespace carvel::testing
