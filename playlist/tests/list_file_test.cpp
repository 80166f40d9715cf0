#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>

#include "playlist/list_file.h"
#include "playlist/playlist.h"
#include "testing/qt_printers.h"
#include "testing/raw_files.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

using Entries = EntryStore;

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
        // Files shorter than a byte-order mark are cut into lines too.
        {">\n", {{u""_qs, u""_qs}}},
        {"A>", {{u"A"_qs, u""_qs}}},
        // A line without ">" is skipped, and the lines after it are read.
        {"A>/a\r\n\r\nB>/b\r\n", {{u"A"_qs, u"/a"_qs}, {u"B"_qs, u"/b"_qs}}},
        {"A>/a\rno mark\rB>/b\r", {{u"A"_qs, u"/a"_qs}, {u"B"_qs, u"/b"_qs}}},
        {"A>/a\nB>/b", {{u"A"_qs, u"/a"_qs}, {u"B"_qs, u"/b"_qs}}},
        {"\x83\x65>C:\\x.bms\r\n", {{u"テ"_qs, u"C:\\x.bms"_qs}}},
        // Each line decodes by itself; a UTF-8 mark before the first line is skipped.
        {"\xEF\xBB\xBF\x83\x65>/\x8b\xc8\n\xE6\x9B\xB2>/\xE6\x9B\xB2\n",
         {{u"テ"_qs, u"/曲"_qs}, {u"曲"_qs, u"/曲"_qs}}},
        // Valid in neither encoding: shown as well as it decodes.
        {"\x80>/a\xFF\r\n", {{u"\x1A"_qs, u"/a\x1A"_qs}}},
        // A mark that begins a later line is dropped too, one mark a line; one after the ">" is
        // part of the path.
        {"A>/a\n\xEF\xBB\xBF"
         "B>/b\n\xEF\xBB\xBF\xEF\xBB\xBF"
         "C>\xEF\xBB\xBF/c",
         {{u"A"_qs, u"/a"_qs}, {u"B"_qs, u"/b"_qs}, {u"\uFEFFC"_qs, u"\uFEFF/c"_qs}}},
        {"\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF>/", {{u"\uFEFF"_qs, u"/"_qs}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pairs(parseListFile(c.bytes)), c.entries) << c.bytes.toStdString();
    }
}

TEST(ListFile, RoundTripTable) {
    struct Case {
        QByteArray read;     // as the list file holds it
        Entries added;       // appended to what was read
        QByteArray written;  // what writing then gives
    };
    const Case cases[] = {
        {"曲A>/music/日本語/a.bms\r\nB b>/charts/sub dir/b.bms\r\n",
         {},
         "曲A>/music/日本語/a.bms\r\nB b>/charts/sub dir/b.bms\r\n"},
        // A CP932 line leaves the UTF-8 line before it as it was, and is written as UTF-8.
        {"曲A>/music/日本語/a.bms\r\n\x8b\xc8>/music/b.bms\r\n",
         {},
         "曲A>/music/日本語/a.bms\r\n曲>/music/b.bms\r\n"},
        // An undecodable line goes back byte for byte; a malformed line is dropped.
        {"\x80\xFF>/m/\x81.bms\nno mark\nA>/a.bms", {}, "\x80\xFF>/m/\x81.bms\r\nA>/a.bms\r\n"},
        // Kept bytes that look like a byte-order mark, coming first, get a mark of their own.
        {"x\n\xEF\xBB\xBF\x83G>/\x7f", {}, "\xEF\xBB\xBF\xEF\xBB\xBF\x83G>/\x7f\r\n"},
        // Noncharacters and NUL are UTF-8 like any other character.
        {QByteArray("\xEF\xBF\xBE>/\xEF\xBF\xBF\0.bms\r\n", 15),
         {},
         QByteArray("\xEF\xBF\xBE>/\xEF\xBF\xBF\0.bms\r\n", 15)},
        // A title holding ">" survives with the full-width sign in its place.
        {"",
         {{u"a>b"_qs, u"/x>.bms"_qs}},
         "a\xEF\xBC\x9E"
         "b>/x>.bms\r\n"},
        // A path with CR or LF would split the list: it is never written.
        {"A>/a\r\n",
         {{u"B"_qs, u"/b\r\n.bms"_qs}, {u"C"_qs, u"/c\n.bms"_qs}, {u"D"_qs, u"/d\r"_qs}},
         "A>/a\r\n"},
    };
    for (const Case& c : cases) {
        Entries entries = parseListFile(c.read);
        for (const Playlist::Entry& e : c.added) {
            entries.push_back(e);
        }
        const QByteArray written = formatListFile(entries);
        EXPECT_EQ(written, c.written) << c.read.toStdString();
        EXPECT_EQ(formatListFile(parseListFile(written)), written) << c.read.toStdString();
    }
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
    // A folder in the list file's place can be neither written nor read.
    QDir().mkpath(dir.filePath(u"folder.dat"_qs));
    EXPECT_FALSE(writeListFile(dir.filePath(u"folder.dat"_qs), {{u"A"_qs, u"/a"_qs}}).isEmpty());
    EXPECT_TRUE(readListFile(dir.filePath(u"folder.dat"_qs)).empty());
    // A FIFO reads as no list, and at once (nobody writes to it).
    const QByteArray fifo = QFile::encodeName(dir.filePath(u"fifo.dat"_qs));
    testing::makeRaw(fifo, 'p');
    Entries fromFifo = {{u"x"_qs, u"x"_qs}};
    EXPECT_TRUE(testing::finishesWithin(std::chrono::seconds(10), fifo,
                                        [&] { fromFifo = readListFile(QFile::decodeName(fifo)); }));
    EXPECT_TRUE(fromFifo.empty());
}

// Whether a list file may be written over: only one read whole, or nothing at all (the program's
// tests hold a folder, a FIFO and an I/O error against the box and the file).
TEST(ListFile, LoadStatusTable) {
    QTemporaryDir dir;
    const auto at = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    testing::writeBytes(at("list.dat"),
                        "\xEF\xBB\xBF"
                        "A>/a\r\nB>/b");
    QFile::link(at("gone"), at("dangling.dat"));
    using Status = ListFileReading::Status;
    struct Case {
        const char* name;
        Status status;
        QString error;
        size_t entries;
    };
    const Case cases[] = {
        {"list.dat", Status::Ok, {}, 2},
        {"missing.dat", Status::Missing, {}, 0},
        {"dangling.dat", Status::Unreadable, u"通常のﾌｧｲﾙではありません"_qs, 0},
    };
    for (const Case& c : cases) {
        const ListFileReading reading = loadListFile(at(c.name));
        EXPECT_EQ(reading.status, c.status) << c.name;
        EXPECT_EQ(reading.error, c.error) << c.name;
        EXPECT_EQ(reading.entries.size(), c.entries) << c.name;
    }
}

// A list larger than any whole-file limit is read line by line: 100,000 entries behind 64 MiB of
// empty lines, their line breaks falling anywhere in the pieces read.
TEST(ListFile, ALargeListIsReadWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"cuebook.dat"_qs);
    QByteArray entries;
    for (int i = 0; i < 100000; ++i) {
        entries += "曲" + QByteArray::number(i) + ">/charts/" + QByteArray::number(i) + ".bms\r\n";
    }
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\xEF\xBB\xBF");
        const qsizetype half = entries.indexOf('\n', entries.size() / 2) + 1;
        file.write(entries.first(half));
        file.write(QByteArray(qsizetype{64} << 20, '\n'));
        file.write(entries.sliced(half));
    }
    const ListFileReading reading = loadListFile(path);
    ASSERT_EQ(reading.status, ListFileReading::Status::Ok);
    ASSERT_EQ(reading.entries.size(), 100000u);
    EXPECT_EQ(reading.entries.front().title, u"曲0"_qs);
    EXPECT_EQ(reading.entries.back().path, u"/charts/99999.bms"_qs);
    EXPECT_EQ(formatListFile(reading.entries), entries);
    // Written in pieces, the file is the same.
    const QString copy = dir.filePath(u"copy.dat"_qs);
    ASSERT_TRUE(writeListFile(copy, reading.entries).isEmpty());
    QFile written(copy);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll() == entries);
}

}  // namespace
}  // namespace carvel
