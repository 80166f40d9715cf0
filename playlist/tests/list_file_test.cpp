#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "playlist/list_file.h"
#include "testing/qt_printers.h"

namespace carvel {
namespace {

using Entries = std::vector<Playlist::Entry>;

std::vector<std::pair<QString, QString>> pairs(const Entries& entries) {
    std::vector<std::pair<QString, QString>> out;
    for (const auto& e : entries) {
        out.emplace_back(e.title, e.path);
    }
    return out;
}

TEST(ListFile, ParseTable) {
    struct Case {
        QByteArray bytes;
        std::vector<std::pair<QString, QString>> entries;
    };
    const Case cases[] = {
        {"", {}},
        {"A>/c/a.bms\r\nB>/c/b.bms\r\n", {{u"A"_qs, u"/c/a.bms"_qs}, {u"B"_qs, u"/c/b.bms"_qs}}},
        {"A>/c/x>y.bms\r\n", {{u"A"_qs, u"/c/x>y.bms"_qs}}},
        {">/c/a.bms\r\n", {{u""_qs, u"/c/a.bms"_qs}}},
        {"A>\r\n", {{u"A"_qs, u""_qs}}},
        {"A>/a\r\n\r\nB>/b\r\n", {{u"A"_qs, u"/a"_qs}}},
        {"A>/a\rno mark\rB>/b\r", {{u"A"_qs, u"/a"_qs}}},
        {"A>/a\nB>/b", {{u"A"_qs, u"/a"_qs}, {u"B"_qs, u"/b"_qs}}},
        {"\x83\x65>C:\\x.bms\r\n", {{u"テ"_qs, u"C:\\x.bms"_qs}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pairs(parseListFile(c.bytes)), c.entries) << c.bytes.toStdString();
    }
}

TEST(ListFile, RoundTripsByteForByte) {
    const QByteArray bytes = "曲A>/charts/a.bms\r\nB b>/charts/sub dir/b.bms\r\n";
    EXPECT_EQ(formatListFile(parseListFile(bytes)), bytes);
    // A title holding ">" survives with the full-width sign in its place.
    const Entries entries = {{u"a>b"_qs, u"/x.bms"_qs}};
    EXPECT_EQ(formatListFile(entries), QByteArray("a\xEF\xBC\x9E"
                                                  "b>/x.bms\r\n"));
    EXPECT_EQ(pairs(parseListFile(formatListFile(entries))),
              (std::vector<std::pair<QString, QString>>{{u"a＞b"_qs, u"/x.bms"_qs}}));
}

TEST(ListFile, WritesAtomicallyAndReportsFailure) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"cuebook.dat"_qs);
    EXPECT_TRUE(readListFile(path).empty());
    EXPECT_TRUE(writeListFile(path, {{u"A"_qs, u"/a.bms"_qs}}).isEmpty());
    EXPECT_EQ(readListFile(path).size(), 1u);
    EXPECT_TRUE(
        writeListFile(dir.filePath(u"no/such/dir/cuebook.dat"_qs), {{u"A"_qs, u"/a"_qs}}).size() >
        0);
    // A folder that cannot be written keeps the old file as it was.
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QString error = writeListFile(path, {{u"B"_qs, u"/b.bms"_qs}});
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!error.isEmpty()) {  // root may write anyway
        EXPECT_EQ(pairs(readListFile(path)),
                  (std::vector<std::pair<QString, QString>>{{u"A"_qs, u"/a.bms"_qs}}));
    }
}

}  // namespace
}  // namespace carvel
