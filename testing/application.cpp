#include "testing/application.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace carvel::testing {

namespace {

// Ends the application once every test has run, while the rest of the program is still whole.
class ApplicationEnvironment final : public ::testing::Environment {
  public:
    explicit ApplicationEnvironment(QApplication* app) : app_(app) {}
    void TearDown() override { delete app_; }

  private:
    QApplication* app_;
};

}  // namespace

void ensureApplication() {
    static int argc = 1;
    static char name[] = "carvel-tests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        ::testing::AddGlobalTestEnvironment(
            new ApplicationEnvironment(new QApplication(argc, argv)));
    }
}

}  // namespace carvel::testing
