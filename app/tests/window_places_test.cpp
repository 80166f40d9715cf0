#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>

#include "app/window_places.h"
#include "testing/application.h"
#include "testing/qt_printers.h"

namespace carvel {
namespace {

// A kept place comes back on the screen it was on; a place on a screen that is gone, or off it,
// or a file that holds none, leaves the window where the window system puts it.
TEST(WindowPlaces, ComeBackOnlyOnTheirScreen) {
    testing::ensureApplication();
    QTemporaryDir dir;
    const QString file = dir.filePath(u"carvel.conf"_qs);
    QWidget shown;
    shown.setFixedSize(100, 80);
    shown.show();
    shown.move(40, 50);
    savePlace(shown, file, u"player"_qs);
    QWidget never;
    savePlace(never, file, u"playlist"_qs);  // never shown: nothing kept

    struct Case {
        const char* what;
        QString screen;  // null: as saved
        int x;
        QPoint expected;
    };
    const QPoint untouched(7, 9);
    const Case cases[] = {
        {"as saved", {}, 40, {40, 50}},
        {"a screen that is gone", u"nowhere"_qs, 40, untouched},
        {"off its screen", {}, 100000, untouched},
    };
    for (const Case& c : cases) {
        {
            QSettings ini(file, QSettings::IniFormat);
            if (!c.screen.isNull()) {
                ini.setValue(u"windows/player.screen"_qs, c.screen);
            }
            ini.setValue(u"windows/player.x"_qs, c.x);
        }
        QWidget window;
        window.move(untouched);
        restorePlace(window, file, u"player"_qs);
        EXPECT_EQ(window.pos(), c.expected) << c.what;
        savePlace(shown, file, u"player"_qs);
    }
    QWidget other;
    other.move(untouched);
    restorePlace(other, file, u"playlist"_qs);
    EXPECT_EQ(other.pos(), untouched);
    restorePlace(other, QString(), u"player"_qs);
    EXPECT_EQ(other.pos(), untouched);
}

}  // namespace
}  // namespace carvel
