#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include "app/single_instance.h"
#include "app/tests/program_rig.h"

namespace carvel {
namespace {

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

class SecondInstanceTest : public ::testing::Test, protected testing::ProgramRig {};

TEST_F(SecondInstanceTest, ALaterStartHandsItsChartToTheRunningProgram) {
    const QString socket = dir.filePath(u"carvel.socket"_qs);
    testing::writeBytes(socket, "left by a crash");
    SingleInstance first(socket);
    ASSERT_EQ(first.claim({}), SingleInstance::Claim::First);
    first.onMessage = [this](const QStringList& message) { program.handOver(message); };
    program.start(QString());
    const QString a = chart(u"A"_qs, u"sub/a.bms"_qs);
    const QString b = chart(u"B"_qs);

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
        {"after --", {u"/"_qs, u"--"_qs, b}, Claim::HandedOver, u"AB"_qs, u"B"_qs},
        {"one in the playlist", {u"/"_qs, a}, Claim::HandedOver, u"AB"_qs, u"A"_qs},
        {"no chart", {u"/"_qs}, Claim::HandedOver, u"AB"_qs, u"A"_qs},
        {"too long", {u"/"_qs, QString(1100000, u'x')}, Claim::NoAnswer, u"AB"_qs, u"A"_qs},
    };
    for (const Case& c : cases) {
        Claim claim = Claim::First;
        ASSERT_TRUE(claimLater(socket, c.message, claim)) << c.what << ": no end within 10 s";
        EXPECT_EQ(claim, c.claim) << c.what;
        EXPECT_EQ(titles(), c.titles) << c.what;
        EXPECT_EQ(controller.chart().title, c.playing) << c.what;
        EXPECT_TRUE(player.isVisible()) << c.what;
    }
}

}  // namespace
}  // namespace carvel
