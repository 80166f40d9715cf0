#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "platform/install_layout.h"

namespace carvel {
namespace {

TEST(InstallLayoutTest, InstalledCopiesUseTheDataFolderPortableOnesTheirOwn) {
    QTemporaryDir dir;
    const QString t = dir.path() + u'/';
    for (const char* folder : {"usr/bin", "usr/share/doc/carvel", "usr/share/carvel/demo",
                               "local/bin", "local/share/doc/carvel", "mark/bin",
                               "mark/share/doc/carvel", "build/app", "archive/bin"}) {
        QDir().mkpath(t + QString::fromLatin1(folder));
    }
    QFile(t + u"mark/bin/portable"_qs).open(QIODevice::WriteOnly);
    struct Case {
        QString program;  // then what the layout holds, relative to the test folder
        bool installed;
        QString listFile, previous, readme, initial;
    };
    std::vector<Case> cases = {
        {u"usr/bin/"_qs, true, u"data/carvel/cuebook.dat"_qs, u"usr/bin/cuebook.dat"_qs,
         u"usr/share/doc/carvel/readme.txt"_qs, u"usr/share/carvel/demo"_qs},
        {u"local/bin/"_qs, true, u"data/carvel/cuebook.dat"_qs, u"local/bin/cuebook.dat"_qs,
         u"local/share/doc/carvel/readme.txt"_qs, u"home"_qs},  // no demo
    };
    // A marker file, a build folder, a folder without share/doc/carvel: portable copies.
    for (const QString& p : {u"mark/bin/"_qs, u"build/app/"_qs, u"archive/bin/"_qs}) {
        cases.push_back({p, false, p + u"cuebook.dat"_qs, {}, p + u"readme.txt"_qs, p});
    }
    const auto in = [&](const QString& relative) {
        return relative.isEmpty() ? relative : t + relative;
    };
    for (const Case& c : cases) {
        const InstallLayout l = installLayout(t + c.program, t + u"data/"_qs, t + u"home"_qs);
        const QStringList got{l.listFile, l.previousListFile, l.readme, l.initialFolder};
        EXPECT_EQ(l.installed, c.installed) << c.program.toStdString();
        EXPECT_EQ(got, (QStringList{in(c.listFile), in(c.previous), in(c.readme), in(c.initial)}));
    }
}

}  // namespace
}  // namespace carvel
