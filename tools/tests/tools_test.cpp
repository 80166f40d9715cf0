#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "../../chart/tests/test_files.h"
#include "platform/testing/qt_printers.h"

namespace carvel {
namespace {

class ToolsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::writeWav(file(u"click.wav"_qs), 100);
        testing::writeBytes(file(u"short.bms"_qs), "#WAV01 click.wav\n#00011:01\n");
        testing::writeBytes(file(u"long.bms"_qs), "#WAV01 click.wav\n#00011:01\n#99911:01\n");
        testing::writeBytes(file(u"empty.bms"_qs), "#TITLE nothing\n");
    }
    QString file(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

// Every run is bounded: a tool that hangs fails the test instead of stalling it.
Outcome run(const char* program, const QStringList& args, const QString& folder) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QString::fromUtf8(program), args);
    Outcome result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

TEST_F(ToolsTest, OptionsAndExitStatus) {
    const QString version = QStringLiteral(CARVEL_VERSION);
    struct Case {
        const char* program;
        QStringList args;
        int status;
        QString out;  // expected in standard output, if not empty
        QString err;  // expected in standard error, if not empty
    };
    const Case cases[] = {
        {CARVEL_INFO, {u"--help"_qs}, 0, u"usage: carvel-info [OPTION]... CHART\n"_qs, {}},
        {CARVEL_INFO, {u"-h"_qs}, 0, u"usage: carvel-info"_qs, {}},
        {CARVEL_INFO, {u"--version"_qs}, 0, u"carvel-info "_qs + version + u'\n', {}},
        {CARVEL_INFO,
         {u"--bogus"_qs, u"short.bms"_qs},
         2,
         {},
         u"carvel-info: unknown option --bogus\nusage: carvel-info"_qs},
        {CARVEL_INFO, {}, 2, {}, u"carvel-info: one CHART expected\n"_qs},
        {CARVEL_INFO, {u"--"_qs, u"--help"_qs}, 1, u"BMSﾌｧｲﾙ --help が見つかりません。\n"_qs, {}},
        {CARVEL_INFO, {u"short.bms"_qs}, 0, u"events: 1\n000000,11,1\n"_qs, {}},
        {CARVEL_RENDER, {u"--version"_qs}, 0, u"carvel-render "_qs + version + u'\n', {}},
        {CARVEL_RENDER, {u"--help"_qs}, 0, u"--max-seconds N"_qs, {}},
        {CARVEL_RENDER, {u"--rate"_qs}, 2, {}, u"option --rate needs a value"_qs},
        {CARVEL_RENDER,
         {u"--rate=100"_qs, u"short.bms"_qs, u"o.wav"_qs},
         2,
         {},
         u"--rate takes a whole number"_qs},
        {CARVEL_RENDER,
         {u"--max-seconds"_qs, u"0"_qs, u"short.bms"_qs, u"o.wav"_qs},
         2,
         {},
         u"--max-seconds takes a number above 0"_qs},
        {CARVEL_RENDER, {u"short.bms"_qs}, 2, {}, u"CHART and OUT.wav expected"_qs},
        {CARVEL_RENDER,
         {u"none.bms"_qs, u"none.wav"_qs},
         1,
         {},
         u"BMSﾌｧｲﾙ none.bms が見つかりません。\n"_qs},
        {CARVEL_PLAY, {u"--version"_qs}, 0, u"carvel-play "_qs + version + u'\n', {}},
        {CARVEL_PLAY, {u"-h"_qs}, 0, u"  --once"_qs, {}},
        {CARVEL_PLAY, {u"--onc"_qs, u"short.bms"_qs}, 2, {}, u"unknown option --onc"_qs},
        {CARVEL_PLAY, {u"--once"_qs}, 2, {}, u"at least one CHART expected"_qs},
        // Charts that cannot play are passed over at once; the status says whether any played.
        {CARVEL_PLAY, {u"--once"_qs, u"none.bms"_qs}, 1, u"が見つかりません。"_qs, {}},
        {CARVEL_PLAY, {u"--once"_qs, u"none.bms"_qs, u"empty.bms"_qs}, 1, {}, {}},
        {CARVEL_PLAY,
         {u"--once"_qs, u"empty.bms"_qs, u"short.bms"_qs, u"none.bms"_qs},
         0,
         u"ｽﾃｰﾀｽ : 再生が完了しました。"_qs,
         {}},
        {CARVEL_PLAY, {u"none.bms"_qs, u"empty.bms"_qs}, 1, {}, {}},
        {CARVEL_TEXTVIEW, {u"--help"_qs}, 0, u"usage: carvel-textview"_qs, {}},
        {CARVEL_TEXTVIEW, {u"--version"_qs}, 0, u"carvel-textview "_qs + version + u'\n', {}},
        {CARVEL_TEXTVIEW, {u"-x"_qs}, 2, {}, u"carvel-textview: unknown option -x\n"_qs},
    };
    for (const Case& c : cases) {
        const std::string what = QString::fromUtf8(c.program).section(u'/', -1).toStdString() +
                                 ' ' + c.args.join(u' ').toStdString();
        const Outcome r = run(c.program, c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << what << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(c.out)) << what << "\n" << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << what << "\n" << r.err.toStdString();
        if (c.status == 2) {
            EXPECT_TRUE(r.out.isEmpty()) << what;  // usage errors go to standard error only
        }
    }
    EXPECT_FALSE(QFile::exists(file(u"none.wav"_qs)));
}

TEST_F(ToolsTest, RenderStopsAtTheLimitWithACompleteFile) {
    const Outcome r = run(
        CARVEL_RENDER, {u"--max-seconds"_qs, u"1.5"_qs, u"long.bms"_qs, u"o.wav"_qs}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              u"1.5 秒で書き出しを打ち切りました。(--max-seconds で長さを変えられます)\n"_qs);
    SF_INFO info{};
    SNDFILE* wav = sf_open(QFile::encodeName(file(u"o.wav"_qs)).constData(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr);
    EXPECT_EQ(info.frames, 66150);
    EXPECT_EQ(info.channels, 2);
    sf_close(wav);
}

TEST_F(ToolsTest, PlayEndsOnSignalsWithTheirStatus) {
    const std::pair<int, int> cases[] = {{SIGINT, 130}, {SIGTERM, 143}};
    for (const auto& [signal, status] : cases) {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QString::fromUtf8(CARVEL_PLAY), {u"long.bms"_qs});
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
