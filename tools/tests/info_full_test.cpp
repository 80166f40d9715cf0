#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "testing/test_files.h"

namespace carvel {
namespace {

// carvel-info's full reading as a checker reads it: the exact standard output, and the note of
// the classic reading on standard error only.
TEST(InfoFull, OutputAndNote) {
    QTemporaryDir dir;
    testing::writeWav(dir.filePath(u"click.wav"_qs), 1);
    testing::writeBytes(dir.filePath(u"c.bms"_qs),
                        "#TITLE t\n#SUBTITLE s\n#BPM 150.5\n#WAVzz click.wav\n#WAV01 none.wav\n"
                        "#00011:ZZ00zz\n#00004:01\n");
    testing::writeBytes(dir.filePath(u"empty.bms"_qs), "#TITLE e\n#00011:00\n");
    struct Case {
        QStringList args;
        int status;
        QString out, err;
    };
    const Case cases[] = {
        {{u"--full"_qs, u"--seed"_qs, u"3"_qs, u"c.bms"_qs},
         0,
         u"TITLE : t\nGENRE : undifined\nARTIST : undifined\nBPM : 150.5\nmessages: 1\n"
         "Waveﾌｧｲﾙ none.wav が見つかりません。(WAV01)\nevents: 3\n0.000,04,1\n0.000,11,1295\n"
         "1063.123,11,1295\n"_qs,
         {}},
        {{u"--full"_qs, u"empty.bms"_qs},
         0,
         u"TITLE : e\nGENRE : undifined\nARTIST : undifined\nBPM : 130\nmessages: 1\n"
         "ｵﾌﾞｼﾞｪｸﾄがありません。\nevents: 0\n"_qs,
         {}},
        {{u"c.bms"_qs},
         0,
         {},
         u"note: 2 lines use base-36 indexes, 7-key lanes, long notes, tempo changes, stops or "
         "random branches; --full reads them\n"_qs},
        {{u"--full"_qs, u"--seed"_qs, u"-1"_qs, u"c.bms"_qs},
         2,
         {},
         u"carvel-info: --seed takes a whole number, 0 to 4294967295\n"_qs},
    };
    for (const Case& c : cases) {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(CARVEL_INFO), c.args);
        ASSERT_TRUE(process.waitForFinished(30000)) << c.args.join(u' ').toStdString();
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), c.status) << err.toStdString();
        if (!c.out.isEmpty()) {
            EXPECT_EQ(out, c.out);
        }
        EXPECT_TRUE(err.startsWith(c.err)) << err.toStdString();
        EXPECT_FALSE(out.contains(u"note:"_qs));
    }
}

}  // namespace
}  // namespace carvel
