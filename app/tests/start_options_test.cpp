#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QProcess>

namespace carvel {
namespace {

// carvel answers --help, --version and a wrong option before it needs a display: here it has none.
TEST(StartOptionsTest, AnsweredWithoutADisplay) {
    struct Case {
        QString arg;
        int status;
        QString out, err;  // the start of standard output and error
    };
    const Case cases[] = {
        {u"--help"_qs, 0, u"usage: carvel [OPTION]... [CHART]\n"_qs, {}},
        {u"--version"_qs, 0, u"carvel " CARVEL_VERSION "\n"_qs, {}},
        {u"--bogus"_qs, 2, {}, u"carvel: unknown option --bogus\nusage: carvel"_qs},
    };
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(name));
    }
    for (const Case& c : cases) {
        QProcess carvel;
        carvel.setProcessEnvironment(environment);
        carvel.start(QStringLiteral(CARVEL_PROGRAM), {c.arg});
        ASSERT_TRUE(carvel.waitForFinished(30000)) << c.arg.toStdString();
        EXPECT_EQ(carvel.exitCode(), c.status) << c.arg.toStdString();
        EXPECT_TRUE(QString::fromUtf8(carvel.readAllStandardOutput()).startsWith(c.out));
        EXPECT_TRUE(QString::fromUtf8(carvel.readAllStandardError()).startsWith(c.err));
    }
}

}  // namespace
}  // namespace carvel
