#include <QProcess>
#include <QThread>

#include "app/single_instance.h"
#include "app/tests/program_rig.h"

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

// A later start claims the same socket on a thread of its own, as a second process would, while
// the program's event loop runs; false when that took more than 10 s.
bool claimLater(const QString& socket, const QStringList& message, SingleInstance::Claim& claim) {
    QEventLoop loop;
    std::unique_ptr<QThread> later(
        QThread::create([&] { claim = SingleInstance(socket).claim(message); }));
    QObject::connect(later.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    later->start();
    loop.exec();
    return later->wait(1000);
}

struct StartTest : ::testing::Test, testing::ProgramRig {};

// A later start hands its working folder and arguments to the running program, which acts on
// them as on its own command line.
TEST_F(StartTest, ALaterStartHandsItsChartToTheRunningProgram) {
    const QString socket = dir.filePath(u"carvel.socket"_qs);
    testing::writeBytes(socket, "left by a crash");
    SingleInstance first(socket);
    ASSERT_EQ(first.claim({}), SingleInstance::Claim::First);
    first.onMessage = [this](const QStringList& message) { program.handOver(message); };
    program.start(QString());
    const QString a = chart(u"A"_qs, u"sub/a.bms"_qs);
    const QString untitled = dir.filePath(u"u.bms"_qs);
    testing::writeBytes(untitled, "#00111:01\n");

    struct Case {
        const char* what;
        QStringList message;  // the working folder, then the arguments
        SingleInstance::Claim claim;
        QString titles, playing;
    };
    using Claim = SingleInstance::Claim;
    const Case cases[] = {
        {"relative to its folder",
         {dir.filePath(u"sub"_qs), u"a.bms"_qs},
         Claim::HandedOver,
         u"A"_qs,
         u"A"_qs},
        {"after --, untitled",
         {u"/"_qs, u"--"_qs, untitled},
         Claim::HandedOver,
         u"A無題"_qs,
         u"undifined"_qs},
        {"one in the playlist", {u"/"_qs, a}, Claim::HandedOver, u"A無題"_qs, u"A"_qs},
        {"no chart", {u"/"_qs}, Claim::HandedOver, u"A無題"_qs, u"A"_qs},
        {"quoted", {u"/"_qs, u'"' + untitled + u'"'}, Claim::HandedOver, u"A無題"_qs, u"A"_qs},
        {"in another letter case",
         {u"/"_qs, untitled.toUpper()},
         Claim::HandedOver,
         u"A無題"_qs,
         u"A"_qs},
        {"too long", {u"/"_qs, QString(1100000, u'x')}, Claim::NoAnswer, u"A無題"_qs, u"A"_qs},
    };
    for (const Case& c : cases) {
        Claim claim = Claim::First;
        ASSERT_TRUE(claimLater(socket, c.message, claim)) << c.what << ": no end within 10 s";
        ASSERT_TRUE(loaded()) << c.what;
        EXPECT_EQ(claim, c.claim) << c.what;
        EXPECT_EQ(titles(), c.titles) << c.what;
        EXPECT_EQ(controller.chart().title, c.playing) << c.what;
        EXPECT_TRUE(player.isVisible()) << c.what;
    }
}

// A program started on a settings file; the hidden tools' box answers 「拡張BMS」.
struct Session : testing::ProgramRig {
    explicit Session(const QString& settings) : ProgramRig(settings) {
        player.askCode = [] { return u"拡張BMS"_qs; };
    }
    ReadingMode mode() { return controller.readOptions().mode; }
    // The names the search of folder finds; empty when it did not end within 10 s.
    QStringList search(const QString& folder) {
        window.foundList().clear();
        window.openFolder(folder);
        QStringList names;
        if (ProgramRig::search()) {
            for (const auto& e : window.foundList().entries()) {
                names.append(e.path.sliced(folder.size() + 1));
            }
        }
        names.sort();
        return names;
    }
};

TEST(ReadingModeSwitch, TheCodeTogglesTheModeAndTheNextStartRemembersIt) {
    const QString on =
        u"Carvel|拡張BMSﾓｰﾄﾞになりました。\n次に開くBMSから、拡張BMSとして読み込みます。"_qs;
    QTemporaryDir dir;
    const QString settings = dir.filePath(u"config/carvel/carvel.conf"_qs);
    const QString charts = dir.filePath(u"charts"_qs);
    for (const char* name : {"a.bms", "b.BME", "c.bml", "d.pms", "e.txt"}) {
        testing::writeBytes(charts + u'/' + QString::fromLatin1(name), "#TITLE x\n");
    }
    {
        Session first(settings);
        EXPECT_EQ(first.mode(), ReadingMode::Classic);
        EXPECT_EQ(first.search(charts), QStringList{u"a.bms"_qs});
        first.player.Label1_DblClick();
        EXPECT_EQ(first.mode(), ReadingMode::Full);
        EXPECT_EQ(first.messages, QStringList{on});
        EXPECT_EQ(first.search(charts),
                  (QStringList{u"a.bms"_qs, u"b.BME"_qs, u"c.bml"_qs, u"d.pms"_qs}));
    }
    {
        Session second(settings);
        EXPECT_EQ(second.mode(), ReadingMode::Full);  // remembered
        second.player.Label1_DblClick();
        EXPECT_EQ(second.mode(), ReadingMode::Classic);
        EXPECT_EQ(second.messages, QStringList{u"Carvel|通常ﾓｰﾄﾞになりました。\n次に開くBMSから、"
                                               u"通常のBMSとして読み込みます。"_qs});
    }
    {
        Session third(settings);
        EXPECT_EQ(third.mode(), ReadingMode::Classic);
        third.program.handOver({dir.path(), u"--full"_qs});  // carvel --full: this run only
        EXPECT_EQ(third.mode(), ReadingMode::Full);
    }
    EXPECT_EQ(Session(settings).mode(), ReadingMode::Classic);

    // A settings file that cannot be written: the mode changes for this run, and the box says so.
    Session unkept(charts + u"/a.bms/carvel.conf"_qs);
    unkept.player.Label1_DblClick();
    EXPECT_EQ(unkept.mode(), ReadingMode::Full);
    EXPECT_EQ(
        unkept.messages,
        QStringList{on + u"\n設定を保存できませんでした。次の起動では元のﾓｰﾄﾞに戻ります。"_qs});
}

}  // namespace
}  // namespace carvel
