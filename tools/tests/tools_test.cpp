#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>

#include "testing/qt_printers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <vector>

#include "testing/test_files.h"

namespace carvel {
namespace {

// The frames and the largest sample magnitude of a 16-bit WAV file; {-1, -1} when unreadable.
std::pair<long, int> framesAndPeak(const QString& path) {
    SF_INFO info{};
    SNDFILE* wav = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (wav == nullptr) {
        return {-1, -1};
    }
    std::vector<short> samples(static_cast<size_t>(info.frames * info.channels));
    sf_read_short(wav, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(wav);
    int peak = 0;
    for (short s : samples) {
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    return {static_cast<long>(info.frames), peak};
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ToolsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::writeWav(dir.filePath(u"click.wav"_qs), 100, 44100, 3000);
        testing::writeBytes(dir.filePath(u"short.bms"_qs), "#WAV01 click.wav\n#00011:01\n");
        // Nine minutes to its only sound; one that lies more than ten minutes away ends the chart.
        testing::writeBytes(dir.filePath(u"long.bms"_qs), "#WAV01 click.wav\n#29211:01\n");
        testing::writeBytes(dir.filePath(u"far.bms"_qs),
                            "#WAV01 click.wav\n#00011:01\n#99911:01\n");
        testing::writeBytes(dir.filePath(u"empty.bms"_qs), "#TITLE e\n#00011:00\n");
        testing::writeBytes(dir.filePath(u"silent.bms"_qs), "#00111:01\n");
        // Two voices at once: 6000 at the peak.
        testing::writeBytes(dir.filePath(u"two.bms"_qs),
                            "#WAV01 click.wav\n#WAV02 click.wav\n#00111:01\n#00112:02\n");
        testing::writeBytes(dir.filePath(u"c.bms"_qs),
                            "#TITLE t\n#SUBTITLE s\n#BPM 150.5\n#WAVzz click.wav\n"
                            "#WAV01 none.wav\n#00011:ZZ00zz\n#00004:01\n");
    }
    // Runs a tool in the test folder; one still running after 30 s has hung and fails the test.
    void run(QProcess& process, const char* program, const QStringList& args) {
        process.setWorkingDirectory(dir.path());
        process.start(QString::fromUtf8(program), args);
        ASSERT_TRUE(process.waitForFinished(30000))
            << program << ' ' << args.join(u' ').toStdString();
    }
    QTemporaryDir dir;
};

TEST_F(ToolsTest, OptionsOutputAndExitStatus) {
    const QString version = QStringLiteral(" " CARVEL_VERSION "\n");
    const QString seed = u"--seed takes a whole number, 0 to 4294967295\n"_qs;
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
        {CARVEL_INFO,
         {u"--full"_qs, u"--seed"_qs, u"3"_qs, u"c.bms"_qs},
         0,
         u"TITLE : t\nGENRE : undifined\nARTIST : undifined\nBPM : 150.5\nmessages: 1\n"
         "Waveﾌｧｲﾙ none.wav が見つかりません。(WAV01)\nevents: 3\n0.000,04,1\n0.000,11,1295\n"
         "1063.123,11,1295\n"_qs,
         {}},
        {CARVEL_INFO,
         {u"--full"_qs, u"empty.bms"_qs},
         0,
         u"BPM : 130\nmessages: 1\nｵﾌﾞｼﾞｪｸﾄがありません。\nevents: 0\n"_qs,
         {}},
        // The classic reading notes on standard error what only the full reading plays.
        {CARVEL_INFO,
         {u"c.bms"_qs},
         0,
         {},
         u"note: 2 lines use base-36 indexes, 7-key lanes, long notes, tempo changes, stops or "
         "random branches; --full reads them\n"_qs},
        {CARVEL_INFO, {u"--seed"_qs, u"-1"_qs, u"c.bms"_qs}, 2, {}, u"carvel-info: "_qs + seed},
        {CARVEL_RENDER, {u"--version"_qs}, 0, u"carvel-render"_qs + version, {}},
        {CARVEL_RENDER, {u"--rate"_qs}, 2, {}, u"option --rate needs a value"_qs},
        {CARVEL_RENDER,
         {u"--max-seconds=0"_qs, u"short.bms"_qs, u"o.wav"_qs},
         2,
         {},
         u"above 0"_qs},
        {CARVEL_RENDER, {u"none.bms"_qs, u"none.wav"_qs}, 1, {}, u"が見つかりません。"_qs},
        {CARVEL_RENDER, {u"--fps=0"_qs, u"short.bms"_qs, u"o.mp4"_qs}, 2, {}, u"1 to 240"_qs},
        {CARVEL_RENDER, {u"--size=8x300"_qs, u"short.bms"_qs, u"o.mp4"_qs}, 2, {}, u"WxH"_qs},
        {CARVEL_RENDER, {u"--size=300"_qs, u"short.bms"_qs, u"o.mp4"_qs}, 2, {}, u"WxH"_qs},
        {CARVEL_RENDER,
         {u"--normalize"_qs, u"short.bms"_qs, u"o.mkv"_qs},
         2,
         {},
         u"WAV output only"_qs},
        {CARVEL_RENDER, {u"--seed=-1"_qs, u"two.bms"_qs, u"o.wav"_qs}, 2, {}, seed},
        {CARVEL_RENDER, {u"--seed"_qs, u"4294967296"_qs, u"two.bms"_qs, u"o.wav"_qs}, 2, {}, seed},
        {CARVEL_RENDER, {u"-h"_qs}, 0, u"sounds still ringing are cut there"_qs, {}},
        {CARVEL_RENDER, {u"--from=8"_qs, u"two.bms"_qs, u"o.wav"_qs}, 2, {}, u"need --full"_qs},
        {CARVEL_RENDER, {u"--to-ms=8"_qs, u"two.bms"_qs, u"o.wav"_qs}, 2, {}, u"need --full"_qs},
        {CARVEL_RENDER,
         {u"--full"_qs, u"--from=1"_qs, u"--from-ms=5"_qs, u"two.bms"_qs, u"o.wav"_qs},
         2,
         {},
         u"not both"_qs},
        {CARVEL_RENDER,
         {u"--full"_qs, u"--from=8"_qs, u"--to=4"_qs, u"two.bms"_qs, u"o.wav"_qs},
         2,
         {},
         u"must end after it starts"_qs},
        {CARVEL_RENDER,
         {u"--full"_qs, u"--from-ms=8"_qs, u"--to-ms=8"_qs, u"two.bms"_qs, u"o.wav"_qs},
         2,
         {},
         u"must end after it starts"_qs},
        {CARVEL_RENDER,
         {u"--full"_qs, u"--from=-1"_qs, u"two.bms"_qs, u"o.wav"_qs},
         2,
         {},
         u"--from takes a measure, 0 to 1000"_qs},
        {CARVEL_RENDER,
         {u"--full"_qs, u"--to=1000.5"_qs, u"two.bms"_qs, u"o.wav"_qs},
         2,
         {},
         u"--to takes a measure, 0 to 1000"_qs},
        {CARVEL_RENDER,
         {u"--full"_qs, u"--to-ms=inf"_qs, u"two.bms"_qs, u"o.wav"_qs},
         2,
         {},
         u"--to-ms takes milliseconds"_qs},
        {CARVEL_RENDER, {u"--mute=all"_qs, u"two.bms"_qs, u"o.wav"_qs}, 2, {}, u"keys or bgm"_qs},
        {CARVEL_RENDER,
         {u"--full"_qs, u"--from=1"_qs, u"two.bms"_qs, u"o.mp4"_qs},
         2,
         {},
         u"are for WAV output only"_qs},
        {CARVEL_PLAY, {u"-h"_qs}, 0, u"  --once"_qs, {}},
        {CARVEL_PLAY, {u"--from=1"_qs, u"short.bms"_qs}, 2, {}, u"need --full"_qs},
        {CARVEL_PLAY, {u"--mute=drums"_qs, u"short.bms"_qs}, 2, {}, u"keys or bgm"_qs},
        {CARVEL_PLAY, {u"--onc"_qs, u"short.bms"_qs}, 2, {}, u"unknown option --onc"_qs},
        // Charts that cannot play are passed over at once; the status says whether any played.
        {CARVEL_PLAY, {u"--once"_qs, u"none.bms"_qs}, 1, u"が見つかりません。"_qs, {}},
        {CARVEL_PLAY,
         {u"--once"_qs, u"empty.bms"_qs, u"short.bms"_qs, u"none.bms"_qs},
         0,
         u"ｽﾃｰﾀｽ : 再生が完了しました。"_qs,
         {}},
        {CARVEL_PLAY, {u"none.bms"_qs, u"empty.bms"_qs}, 1, {}, {}},
        {CARVEL_PLAY,
         {u"--once"_qs, u"far.bms"_qs},
         0,
         u"ｽﾃｰﾀｽ : 次の音まで10分以上あるため、演奏を終了します。\nｽﾃｰﾀｽ : 再生が完了しました。"_qs,
         {}},
        {CARVEL_PLAY,
         {u"--once"_qs, u"--max-seconds"_qs, u"0.2"_qs, u"long.bms"_qs},
         0,
         u"0.2 秒で演奏を打ち切りました。(--max-seconds で長さを変えられます)"_qs,
         {}},
        {CARVEL_PLAY, {u"--max-seconds=x"_qs, u"long.bms"_qs}, 2, {}, u"above 0"_qs},
        // A range: the run starts a moment before the only sound, nine minutes in, or ends long
        // before it.
        {CARVEL_PLAY,
         {u"--once"_qs, u"--full"_qs, u"--from-ms=539000"_qs, u"long.bms"_qs},
         0,
         u"ｽﾃｰﾀｽ : 再生が完了しました。"_qs,
         {}},
        {CARVEL_PLAY,
         {u"--once"_qs, u"--full"_qs, u"--to=0.1"_qs, u"long.bms"_qs},
         0,
         u"ｽﾃｰﾀｽ : 停止しました。"_qs,
         {}},
        {CARVEL_TEXTVIEW, {u"--version"_qs}, 0, u"carvel-textview"_qs + version, {}},
        {CARVEL_TEXTVIEW, {u"-x"_qs}, 2, {}, u"carvel-textview: unknown option -x\n"_qs},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.program) + ' ' + c.args.join(u' ').toStdString();
        QProcess process;
        run(process, c.program, c.args);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), c.status) << what << '\n' << err.toStdString();
        EXPECT_TRUE(out.contains(c.out)) << what << '\n' << out.toStdString();
        EXPECT_TRUE(err.contains(c.err)) << what << '\n' << err.toStdString();
        EXPECT_TRUE(c.status != 2 || out.isEmpty()) << what;  // usage errors go to stderr only
        EXPECT_FALSE(out.contains(u"note:"_qs)) << what;
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(u"none.wav"_qs)));
    EXPECT_FALSE(QFile::exists(dir.filePath(u"o.wav"_qs)));
}

TEST_F(ToolsTest, RenderWritesWhatItSays) {
    struct Case {
        QStringList args;
        QString err;  // standard error, exactly
        long frames;
        int peak;
    };
    const Case cases[] = {
        {{u"two.bms"_qs}, {}, 81515, 6000},
        {{u"--full"_qs, u"--seed"_qs, u"4294967295"_qs, u"two.bms"_qs}, {}, 81515, 6000},
        {{u"--normalize"_qs, u"two.bms"_qs},
         u"ﾋﾟｰｸを -1 dBFS に合わせました (ｹﾞｲﾝ +13.75 dB)。\n"_qs,
         81515,
         29204},
        {{u"--normalize"_qs, u"silent.bms"_qs},
         u"無音のため、ｹﾞｲﾝは変えていません。\n"_qs,
         81415,
         0},
        // A range starts with the sounds ringing there and ends where it says, without a word.
        {{u"--full"_qs, u"--from-ms=1"_qs, u"short.bms"_qs}, {}, 56, 3000},
        {{u"--full"_qs, u"--from=1"_qs, u"--to=1.5"_qs, u"two.bms"_qs}, {}, 100, 6000},
        {{u"--full"_qs, u"--to-ms=10"_qs, u"two.bms"_qs}, {}, 441, 0},
        {{u"--full"_qs, u"--mute=keys"_qs, u"two.bms"_qs}, {}, 81415, 0},
        {{u"--mute=bgm"_qs, u"two.bms"_qs}, {}, 81515, 6000},
        // Cut short at the limit, and still a complete file.
        {{u"--max-seconds"_qs, u"1.5"_qs, u"long.bms"_qs},
         u"1.5 秒で書き出しを打ち切りました。(--max-seconds で長さを変えられます)\n"_qs,
         66150,
         0},
    };
    for (const Case& c : cases) {
        const std::string what = c.args.join(u' ').toStdString();
        QProcess process;
        run(process, CARVEL_RENDER, c.args + QStringList{u"o.wav"_qs});
        EXPECT_EQ(process.exitCode(), 0) << what;
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()), c.err) << what;
        EXPECT_EQ(framesAndPeak(dir.filePath(u"o.wav"_qs)), std::pair(c.frames, c.peak)) << what;
    }
}

TEST_F(ToolsTest, RenderWritesVideoFiles) {
    struct Case {
        QString out;
        QByteArray magic;  // the container's signature
        qsizetype at;      // where it stands in the file
    };
    const Case cases[] = {
        {u"o.mp4"_qs, "ftyp", 4},
        {u"o.mkv"_qs, "\x1a\x45\xdf\xa3", 0},
    };
    for (const Case& c : cases) {
        QProcess process;
        run(process, CARVEL_RENDER,
            {u"--full"_qs, u"--size=320x240"_qs, u"--fps=25"_qs, u"c.bms"_qs, c.out});
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        EXPECT_EQ(readBytes(dir.filePath(c.out)).mid(c.at, c.magic.size()), c.magic);
    }
}

// A render that cannot be completed leaves the file it was to replace as it was, and nothing
// beside it; one that completes takes the old file's place and permissions.
TEST_F(ToolsTest, RenderReplacesAFileOnlyWhenComplete) {
    const QByteArray good = "a good file, kept";
    struct Case {
        QString shell;  // run before the render; SIGXFSZ is ignored so that writes fail instead
        QString out;
        int status;
        bool replaced;
    };
    const Case cases[] = {
        {u"ulimit -f 16"_qs, u"out.wav"_qs, 1, false},  // the disk fills up at 8 KB
        {{}, u"click.wav/out.wav"_qs, 1, false},        // its folder is a file
        {{}, u"out.wav"_qs, 0, true},
    };
    for (const Case& c : cases) {
        const std::string what = c.shell.toStdString() + ' ' + c.out.toStdString();
        testing::writeBytes(dir.filePath(u"out.wav"_qs), good);
        ::chmod(QFile::encodeName(dir.filePath(u"out.wav"_qs)).constData(), 0640);
        const QByteArray click = readBytes(dir.filePath(u"click.wav"_qs));
        QProcess process;
        run(process, "/bin/sh",
            {u"-c"_qs, u"trap '' XFSZ; "_qs + c.shell + u"\nexec \"$0\" \"$@\""_qs,
             QStringLiteral(CARVEL_RENDER), u"--max-seconds=1"_qs, u"long.bms"_qs, c.out});
        EXPECT_EQ(process.exitCode(), c.status)
            << what << ' ' << process.readAllStandardError().toStdString();
        const QByteArray now = readBytes(dir.filePath(u"out.wav"_qs));
        EXPECT_EQ(now != good, c.replaced) << what;
        EXPECT_EQ(readBytes(dir.filePath(u"click.wav"_qs)), click) << what;
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(dir.filePath(u"out.wav"_qs)).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u) << what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(u"out.wav."_qs),
                  QStringList())
            << what;
    }
    EXPECT_EQ(framesAndPeak(dir.filePath(u"out.wav"_qs)).first, 44100);
}

TEST_F(ToolsTest, PlayEndsOnSignalsWithTheirStatus) {
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(CARVEL_PLAY), {u"long.bms"_qs});
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
