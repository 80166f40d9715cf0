#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include "testing/test_files.h"

namespace carvel {
namespace {

class ToolsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::writeWav(dir.filePath(u"click.wav"_qs), 100);
        testing::writeBytes(dir.filePath(u"short.bms"_qs), "#WAV01 click.wav\n#00011:01\n");
        testing::writeBytes(dir.filePath(u"long.bms"_qs), "#WAV01 click.wav\n#99911:01\n");
        testing::writeBytes(dir.filePath(u"empty.bms"_qs), "#TITLE nothing\n");
    }
    // Started in the test folder; a tool still running after 30 s has hung and fails the test.
    void start(QProcess& process, const char* program, const QStringList& args) {
        process.setWorkingDirectory(dir.path());
        process.start(QString::fromUtf8(program), args);
    }
    QTemporaryDir dir;
};

TEST_F(ToolsTest, OptionsAndExitStatus) {
    const QString version = QStringLiteral(" " CARVEL_VERSION "\n");
    struct Case {
        const char* program;
        QStringList args;
        int status;
        QString out, err;  // expected within standard output and error
    };
    const Case cases[] = {
        {CARVEL_INFO, {u"--help"_qs}, 0, u"usage: carvel-info [OPTION]... CHART\n"_qs, {}},
        {CARVEL_INFO, {u"--version"_qs}, 0, u"carvel-info"_qs + version, {}},
        {CARVEL_INFO, {u"--bogus"_qs, u"short.bms"_qs}, 2, {}, u"unknown option --bogus\n"_qs},
        {CARVEL_INFO, {}, 2, {}, u"carvel-info: one CHART expected\nusage:"_qs},
        {CARVEL_INFO, {u"--"_qs, u"--help"_qs}, 1, u"BMSﾌｧｲﾙ --help が見つかりません。\n"_qs, {}},
        {CARVEL_RENDER, {u"--version"_qs}, 0, u"carvel-render"_qs + version, {}},
        {CARVEL_RENDER, {u"--rate"_qs}, 2, {}, u"option --rate needs a value"_qs},
        {CARVEL_RENDER,
         {u"--max-seconds=0"_qs, u"short.bms"_qs, u"o.wav"_qs},
         2,
         {},
         u"above 0"_qs},
        {CARVEL_RENDER, {u"none.bms"_qs, u"none.wav"_qs}, 1, {}, u"が見つかりません。"_qs},
        {CARVEL_PLAY, {u"-h"_qs}, 0, u"  --once"_qs, {}},
        {CARVEL_PLAY, {u"--onc"_qs, u"short.bms"_qs}, 2, {}, u"unknown option --onc"_qs},
        // Charts that cannot play are passed over at once; the status says whether any played.
        {CARVEL_PLAY, {u"--once"_qs, u"none.bms"_qs}, 1, u"が見つかりません。"_qs, {}},
        {CARVEL_PLAY,
         {u"--once"_qs, u"empty.bms"_qs, u"short.bms"_qs, u"none.bms"_qs},
         0,
         u"ｽﾃｰﾀｽ : 再生が完了しました。"_qs,
         {}},
        {CARVEL_PLAY, {u"none.bms"_qs, u"empty.bms"_qs}, 1, {}, {}},
        {CARVEL_TEXTVIEW, {u"--version"_qs}, 0, u"carvel-textview"_qs + version, {}},
        {CARVEL_TEXTVIEW, {u"-x"_qs}, 2, {}, u"carvel-textview: unknown option -x\n"_qs},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.program) + ' ' + c.args.join(u' ').toStdString();
        QProcess process;
        start(process, c.program, c.args);
        ASSERT_TRUE(process.waitForFinished(30000)) << what;
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), c.status) << what << '\n' << err.toStdString();
        EXPECT_TRUE(out.contains(c.out)) << what << '\n' << out.toStdString();
        EXPECT_TRUE(err.contains(c.err)) << what << '\n' << err.toStdString();
        EXPECT_TRUE(c.status != 2 || out.isEmpty()) << what;  // usage errors go to stderr only
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(u"none.wav"_qs)));
}

TEST_F(ToolsTest, RenderStopsAtTheLimitWithACompleteFile) {
    QProcess process;
    start(process, CARVEL_RENDER, {u"--max-seconds"_qs, u"1.5"_qs, u"long.bms"_qs, u"o.wav"_qs});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()),
              u"1.5 秒で書き出しを打ち切りました。(--max-seconds で長さを変えられます)\n"_qs);
    SF_INFO info{};
    SNDFILE* wav =
        sf_open(QFile::encodeName(dir.filePath(u"o.wav"_qs)).constData(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr);
    EXPECT_EQ(info.frames, 66150);
    sf_close(wav);
}

TEST_F(ToolsTest, PlayEndsOnSignalsWithTheirStatus) {
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        QProcess process;
        start(process, CARVEL_PLAY, {u"long.bms"_qs});
        const QDeadlineTimer deadline(30000);
        QByteArray out;
        while (!out.contains("再生中です。") && !deadline.hasExpired() &&
               process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(100);
            out += process.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains("再生中です。")) << out.toStdString();
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(30000)) << signal;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(process.exitCode(), status) << signal;
    }
}

}  // namespace
}  // namespace carvel
