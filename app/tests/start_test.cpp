#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <cstring>
#include <functional>

#include "app/reading_setting.h"
#include "app/single_instance.h"
#include "app/start_options.h"
#include "app/tests/program_rig.h"
#include "testing/raw_files.h"

namespace carvel {
namespace {

// Qt's own options go to QApplication, with their values; nothing else is taken.
TEST(StartOptionsTest, QtOptionsAreNoChart) {
    struct Case {
        QStringList in;
        QStringList out;
    };
    const Case cases[] = {
        {{u"-style"_qs, u"fusion"_qs, u"a.bms"_qs}, {u"a.bms"_qs}},
        {{u"-stylesheet=x.qss"_qs, u"--full"_qs}, {u"--full"_qs}},
        {{u"-platform"_qs, u"xcb"_qs, u"-reverse"_qs}, {}},
        {{u"-styles"_qs, u"-platform"_qs}, {u"-styles"_qs}},
        {{u"--"_qs, u"-style"_qs, u"b.bms"_qs}, {u"--"_qs, u"-style"_qs, u"b.bms"_qs}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(withoutQtOptions(c.in), c.out) << c.in.join(u' ').toStdString();
    }
}

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

// A socket file at path bound by this process, listening or not; its descriptor, -1 on failure.
int boundSocket(const QString& path, bool listening) {
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
                    (listening && ::listen(fd, 4) != 0))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The socket file a crashed program leaves: nobody listens on it.
bool deadSocket(const QString& path) {
    const int fd = boundSocket(path, false);
    if (fd >= 0) {
        ::close(fd);
    }
    return fd >= 0;
}

// The inode of path, to tell whether a file was replaced; 0 when there is none.
ino_t inodeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// A later start claims the same list file on a thread of its own, as a second process would, while
// the program's event loop runs; false when that took more than 10 s.
bool claimLater(const QString& listFile, const QString& folder, const QStringList& message,
                SingleInstance::Claim& claim,
                int answerTimeoutMs = SingleInstance::kAnswerTimeoutMs) {
    QEventLoop loop;
    std::unique_ptr<QThread> later(QThread::create([&] {
        SingleInstance instance(listFile, folder);
        instance.answerTimeoutMs = answerTimeoutMs;
        claim = instance.claim(message);
    }));
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
    const QString list = dir.filePath(u"cuebook.dat"_qs);
    ASSERT_TRUE(deadSocket(dir.filePath(instanceSocketName(list))));  // left by a crash
    SingleInstance first(list, dir.path());
    ASSERT_EQ(first.claim({}), SingleInstance::Claim::First);
    ASSERT_EQ(first.socketPath(), dir.filePath(instanceSocketName(list)));
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
        ASSERT_TRUE(claimLater(list, dir.path(), c.message, claim))
            << c.what << ": no end within 10 s";
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

// One program per list file: whoever holds the lock beside it keeps it; a later start hands over
// or ends, and never removes a socket that someone listens on.
TEST(ListLock, Table) {
    testing::ensureApplication();
    enum Socket { None, Dead, Live };
    enum Lock { Free, Stale, Held };
    struct Case {
        const char* what;
        Socket socket;
        Lock lock;
        SingleInstance::Claim claim;
        bool listens;  // the claimer listens on the socket (else a live one is left as it was)
    };
    using Claim = SingleInstance::Claim;
    const Case cases[] = {
        {"nothing there", None, Free, Claim::First, true},
        {"a crashed program's socket and lock", Dead, Stale, Claim::First, true},
        {"a live socket without the lock", Live, Free, Claim::First, false},
        {"a holder that does not listen yet", None, Held, Claim::NoAnswer, false},
        {"a holder that does not answer", Live, Held, Claim::NoAnswer, false},
        {"a holder whose socket is gone", Dead, Held, Claim::NoAnswer, false},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString list = dir.filePath(u"cuebook.dat"_qs);
        const QString socket = dir.filePath(instanceSocketName(list));
        int live = -1;
        if (c.socket == Dead) {
            ASSERT_TRUE(deadSocket(socket)) << c.what;
        } else if (c.socket == Live) {
            live = boundSocket(socket, true);
            ASSERT_GE(live, 0) << c.what;
        }
        const ino_t inode = inodeOf(socket);
        QLockFile holder(list + u".lock"_qs);
        if (c.lock != Free) {
            ASSERT_TRUE(holder.tryLock(0)) << c.what;
        }
        if (c.lock == Stale) {
            // The same lock, but naming a process that has ended.
            QFile file(list + u".lock"_qs);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            QByteArray bytes = file.readAll();
            file.close();
            holder.unlock();
            QProcess ended;
            ended.start(u"true"_qs, {});
            ASSERT_TRUE(ended.waitForStarted(10000));
            const qint64 pid = ended.processId();
            ASSERT_TRUE(ended.waitForFinished(10000));
            bytes.replace(0, bytes.indexOf('\n'), QByteArray::number(pid));
            testing::writeBytes(list + u".lock"_qs, bytes);
        }
        SingleInstance::Claim claim = Claim::HandedOver;
        ASSERT_TRUE(claimLater(list, dir.path(), {u"/"_qs}, claim, 300)) << c.what;
        EXPECT_EQ(claim, c.claim) << c.what;
        SingleInstance again(list, dir.path());
        again.answerTimeoutMs = 300;
        if (c.claim == Claim::First) {
            // The thread's claim has ended, and its lock with it: this one takes it.
            ASSERT_EQ(again.claim({}), Claim::First) << c.what;
            EXPECT_EQ(again.socketPath(), c.listens ? socket : QString()) << c.what;
            // A second claim within the same run finds the lock held.
            SingleInstance third(list, dir.path());
            third.answerTimeoutMs = 300;
            EXPECT_NE(third.claim({}), Claim::First) << c.what;
        }
        if (c.socket == Live) {
            EXPECT_EQ(inodeOf(socket), inode) << c.what << ": a live socket was replaced";
            ::close(live);
        }
        if (c.socket != None && !c.listens) {
            EXPECT_EQ(inodeOf(socket), inode) << c.what;
        }
    }
    // A list file whose lock cannot be made: the program runs, unguarded, and says why.
    QTemporaryDir dir;
    SingleInstance unguarded(dir.filePath(u"no/such/cuebook.dat"_qs), dir.path());
    EXPECT_EQ(unguarded.claim({}), Claim::Unguarded);
    EXPECT_FALSE(unguarded.lockError().isEmpty());
}

// The socket lives only in a folder this user owns and nobody else may enter.
TEST(RuntimeFolder, Table) {
    QTemporaryDir dir;
    const bool root = ::geteuid() == 0;
    struct Case {
        const char* name;
        int mode;
        bool foreign;  // owned by another user (needs root to make)
        bool link;
        bool isPrivate;
    };
    const Case cases[] = {
        {"private", 0700, false, false, true}, {"open", 0755, false, false, false},
        {"group", 0770, false, false, false},  {"foreign", 0700, true, false, false},
        {"link", 0700, false, true, false},
    };
    for (const Case& c : cases) {
        if (c.foreign && !root) {
            continue;
        }
        const QByteArray path = QFile::encodeName(dir.filePath(QString::fromLatin1(c.name)));
        ASSERT_EQ(::mkdir((path + ".target").constData(), 0700), 0);
        if (c.link) {
            ASSERT_EQ(::symlink((path + ".target").constData(), path.constData()), 0);
        } else {
            ASSERT_EQ(::mkdir(path.constData(), 0700), 0);
            ASSERT_EQ(::chmod(path.constData(), static_cast<mode_t>(c.mode)), 0);
        }
        if (c.foreign) {
            ASSERT_EQ(::chown(path.constData(), 65534, 65534), 0);
        }
        EXPECT_EQ(isPrivateFolder(path), c.isPrivate) << c.name;
    }

    // Without a private $XDG_RUNTIME_DIR, a folder of its own is made in the temporary folder,
    // past those of the same name that another user (or a wrong mode) made first.
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemp = qgetenv("TMPDIR");
    const QString temp = dir.filePath(u"tmp"_qs);
    const QString prefix = u"carvel-"_qs + QString::number(::geteuid()) + u'-';
    QDir().mkpath(temp + u'/' + prefix + u"open"_qs);
    ::chmod(QFile::encodeName(temp + u'/' + prefix + u"open"_qs).constData(), 0755);
    if (root) {
        QDir().mkpath(temp + u'/' + prefix + u"aaaaaa"_qs);
        ASSERT_EQ(::chown(QFile::encodeName(temp + u'/' + prefix + u"aaaaaa"_qs).constData(), 65534,
                          65534),
                  0);
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.filePath(u"open"_qs)));
    qputenv("TMPDIR", QFile::encodeName(temp));
    EXPECT_EQ(privateRuntimeFolders(false), QStringList());
    const QStringList made = privateRuntimeFolders(true);
    ASSERT_EQ(made.size(), 1);
    EXPECT_TRUE(made.first().startsWith(temp + u'/' + prefix));
    EXPECT_TRUE(isPrivateFolder(QFile::encodeName(made.first())));
    EXPECT_EQ(privateRuntimeFolders(true), made);  // found again, not made anew
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.filePath(u"private"_qs)));
    EXPECT_EQ(privateRuntimeFolders(false), QStringList{dir.filePath(u"private"_qs)} + made);
    for (const auto& [name, value] :
         {std::pair{"XDG_RUNTIME_DIR", savedRuntime}, std::pair{"TMPDIR", savedTemp}}) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    }
}

// Runs child() in a child process as user uid (only root can be another user) while the event
// loop turns here; the child's exit status, -1 when it did not end within 10 s.
int asUser(uid_t uid, const std::function<int()>& child) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(::setuid(uid) == 0 ? child() : 3);
    }
    int status = -1;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        int exit = 0;
        if (::waitpid(pid, &exit, WNOHANG) == pid) {
            status = WIFEXITED(exit) ? WEXITSTATUS(exit) : 4;
            loop.quit();
        }
    });
    poll.start(5);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    if (status < 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    return status;
}

// Each side deals only with its own user: a start never hands its arguments to a socket another
// user owns, and the program takes no message from another user's start.
TEST(PeerUser, Table) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    testing::ensureApplication();
    const uid_t users[] = {0, 65534};
    for (const uid_t uid : users) {
        const bool own = uid == ::geteuid();
        QTemporaryDir dir;
        const QString list = dir.filePath(u"cuebook.dat"_qs);
        SingleInstance first(list, dir.path());
        ASSERT_EQ(first.claim({}), SingleInstance::Claim::First);
        const QByteArray socket = QFile::encodeName(first.socketPath());
        QStringList got;
        first.onMessage = [&](const QStringList& message) { got = message; };

        ASSERT_EQ(::chown(socket.constData(), uid, uid), 0);
        SingleInstance::Claim claim = SingleInstance::Claim::First;
        ASSERT_TRUE(claimLater(list, dir.path(), {u"/"_qs}, claim, 300));
        EXPECT_EQ(claim, own ? SingleInstance::Claim::HandedOver : SingleInstance::Claim::NoAnswer)
            << uid;
        EXPECT_EQ(got, own ? QStringList{u"/"_qs} : QStringList()) << uid;
        ASSERT_EQ(::chown(socket.constData(), 0, 0), 0);

        // A client of that user, let in by the modes.
        got.clear();
        ::chmod(QFile::encodeName(dir.path()).constData(), 0711);
        ::chmod(socket.constData(), 0777);
        const int answered = asUser(uid, [&] {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, socket.constData(), static_cast<size_t>(socket.size()));
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const char message[] = {0, 0, 0, 2, 'x', 0};
            char answer = 0;
            return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
                               0 &&
                           ::write(fd, message, sizeof message) == sizeof message &&
                           ::read(fd, &answer, 1) == 1
                       ? 0
                       : 1;
        });
        ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
        EXPECT_EQ(answered, own ? 0 : 1) << uid;
        EXPECT_EQ(got, own ? QStringList{u"x"_qs} : QStringList()) << uid;
    }
}

// The settings file is read and written only as a regular file: a FIFO in its place would block
// QSettings for ever.
TEST(SettingsFile, Table) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(u"fifo.conf"_qs);
    testing::makeRaw(QFile::encodeName(fifo), 'p');
    QDir().mkpath(dir.filePath(u"folder.conf"_qs));
    testing::writeBytes(dir.filePath(u"full.conf"_qs), "[General]\nreading=full\n");
    testing::writeBytes(dir.filePath(u"other.conf"_qs), "[Other]\nreading=full\n");
    struct Case {
        const char* name;
        ReadingMode loaded;
        bool saved;
    };
    const Case cases[] = {
        {"fifo.conf", ReadingMode::Classic, false},   {"folder.conf", ReadingMode::Classic, false},
        {"full.conf", ReadingMode::Full, true},       {"other.conf", ReadingMode::Classic, true},
        {"missing.conf", ReadingMode::Classic, true},
    };
    for (const Case& c : cases) {
        const ReadingSetting setting(dir.filePath(QString::fromLatin1(c.name)));
        ReadingMode loaded = ReadingMode::Full;
        bool saved = !c.saved;
        ASSERT_TRUE(testing::finishesWithin(std::chrono::seconds(10), QFile::encodeName(fifo), [&] {
            loaded = setting.load();
            saved = setting.save(ReadingMode::Full);
        })) << c.name;
        EXPECT_EQ(loaded, c.loaded) << c.name;
        EXPECT_EQ(saved, c.saved) << c.name;
        // What was saved reads back.
        EXPECT_EQ(setting.load(), c.saved ? ReadingMode::Full : ReadingMode::Classic) << c.name;
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

}  // namespace
}  // namespace carvel
