#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/install_layout.h"

namespace carvel {
namespace {

TEST(InstallLayoutTest, InstalledCopiesUseTheDataFolderPortableOnesTheirOwn) {
    QTemporaryDir dir;
    const QString t = dir.path() + u'/';
    for (const char* folder : {"usr/bin", "usr/share/doc/carvel", "usr/share/carvel/demo",
                               "local/bin", "local/share/doc/carvel", "marked/bin",
                               "marked/share/doc/carvel", "build/app", "archive/bin"}) {
        QDir().mkpath(t + QString::fromLatin1(folder));
    }
    QFile(t + u"marked/bin/portable"_qs).open(QIODevice::WriteOnly);
    const QString data = t + u"data/"_qs;
    struct Case {
        QString program;
        bool installed;
        QString listFile, previous, readme, initial;
    };
    const Case cases[] = {
        {u"usr/bin/"_qs, true, u"data/carvel/cuebook.dat"_qs, u"usr/bin/cuebook.dat"_qs,
         u"usr/share/doc/carvel/readme.txt"_qs, u"usr/share/carvel/demo"_qs},
        {u"local/bin/"_qs, true, u"data/carvel/cuebook.dat"_qs, u"local/bin/cuebook.dat"_qs,
         u"local/share/doc/carvel/readme.txt"_qs, u"home"_qs},  // no demo: the home folder
        {u"marked/bin/"_qs,
         false,
         u"marked/bin/cuebook.dat"_qs,
         {},
         u"marked/bin/readme.txt"_qs,
         u"marked/bin/"_qs},
        {u"build/app/"_qs,
         false,
         u"build/app/cuebook.dat"_qs,
         {},
         u"build/app/readme.txt"_qs,
         u"build/app/"_qs},
        {u"archive/bin/"_qs,
         false,
         u"archive/bin/cuebook.dat"_qs,
         {},
         u"archive/bin/readme.txt"_qs,
         u"archive/bin/"_qs},
    };
    const auto full = [&](const QString& relative) {
        return relative.isEmpty() ? relative : t + relative;
    };
    for (const Case& c : cases) {
        const InstallLayout layout = installLayout(t + c.program, data, t + u"home"_qs);
        EXPECT_EQ(layout.installed, c.installed) << c.program.toStdString();
        EXPECT_EQ(layout.listFile, full(c.listFile));
        EXPECT_EQ(layout.previousListFile, full(c.previous));
        EXPECT_EQ(layout.readme, full(c.readme));
        EXPECT_EQ(layout.initialFolder, full(c.initial));
    }
}

}  // namespace
}  // namespace carvel
