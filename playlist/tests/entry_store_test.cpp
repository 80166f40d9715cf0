#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "playlist/entry_store.h"
#include "testing/qt_printers.h"

namespace carvel {

inline bool operator==(const PlaylistEntry& a, const PlaylistEntry& b) {
    return a.title == b.title && a.path == b.path && a.line == b.line;
}

inline void PrintTo(const PlaylistEntry& e, std::ostream* os) {
    *os << "{" << e.title.toStdString() << " | " << e.path.toStdString() << " | "
        << e.line.toStdString() << "}";
}

namespace {

using Entry = PlaylistEntry;

// Every entry, read in order and one by one, against the entries it should hold.
void expectHolds(const EntryStore& store, const std::vector<Entry>& expected, const char* what) {
    ASSERT_EQ(store.size(), expected.size()) << what;
    size_t i = 0;
    for (const Entry& e : store) {
        ASSERT_EQ(e, expected[i]) << what << ", entry " << i << " in order";
        ++i;
    }
    for (size_t j = 0; j < expected.size(); j += 7) {
        ASSERT_EQ(store[j], expected[j]) << what << ", entry " << j << " alone";
    }
}

// Texts that share beginnings and endings in every way, from a small alphabet, with now and then
// a character that UTF-8 cannot carry, a leading U+FEFF, a long text or a kept line.
Entry randomEntry(std::mt19937& random) {
    const auto text = [&random](size_t longest) {
        static const char16_t alphabet[] = u"ab/曲";
        QString s;
        const size_t length = random() % (longest + 1);
        for (size_t i = 0; i < length; ++i) {
            s += QChar(alphabet[random() % 4]);
        }
        return s;
    };
    Entry e{text(6), text(8)};
    switch (random() % 12) {
        case 0:
            e.title += QChar(0xD800);  // a lone surrogate
            break;
        case 1:
            e.path.prepend(QChar(0xFEFF));
            break;
        case 2:
            e.path += QString(200, u'x');  // lengths past one LEB128 byte
            break;
        case 3:
            e.line = "\x80>" + e.path.toUtf8();
            break;
        default:
            break;
    }
    return e;
}

TEST(EntryStore, EditsMatchAVectorOfEntries) {
    std::mt19937 random(7);
    EntryStore store;
    std::vector<Entry> expected;
    for (int i = 0; i < 700; ++i) {
        expected.push_back(randomEntry(random));
        store.push_back(expected.back());
    }
    expectHolds(store, expected, "appended");
    // Insertions into one stretch make its block split again and again; the rest fall anywhere.
    for (int step = 0; step < 3000; ++step) {
        const size_t n = expected.size();
        const auto at = [&](std::ptrdiff_t i) { return expected.begin() + i; };
        switch (random() % 5) {
            case 0: {
                const size_t i = 100 + random() % 20;
                Entry e = randomEntry(random);
                store.insert(i, e);
                expected.insert(at(static_cast<std::ptrdiff_t>(i)), e);
                break;
            }
            case 1: {
                const size_t i = random() % (n + 1);
                Entry e = randomEntry(random);
                store.insert(i, e);
                expected.insert(at(static_cast<std::ptrdiff_t>(i)), e);
                break;
            }
            case 2: {
                const size_t i = random() % n;
                store.erase(i);
                expected.erase(at(static_cast<std::ptrdiff_t>(i)));
                break;
            }
            case 3: {
                const auto from = static_cast<std::ptrdiff_t>(random() % n);
                const auto to = static_cast<std::ptrdiff_t>(random() % n);
                store.move(static_cast<size_t>(from), static_cast<size_t>(to));
                if (from < to) {
                    std::rotate(at(from), at(from + 1), at(to + 1));
                } else {
                    std::rotate(at(to), at(from), at(from + 1));
                }
                break;
            }
            default: {
                Entry e = randomEntry(random);
                store.push_back(e);
                expected.push_back(e);
                break;
            }
        }
        if (step % 500 == 499) {
            expectHolds(store, expected, "after edits");
        }
    }
    // Emptied from the end and from the front, then filled again: appends code against the right
    // last entry whichever block was removed.
    for (int i = 0; i < 150; ++i) {
        store.erase(store.size() - 1);
        expected.pop_back();
        store.erase(0);
        expected.erase(expected.begin());
    }
    for (int i = 0; i < 100; ++i) {
        expected.push_back(randomEntry(random));
        store.push_back(expected.back());
    }
    expectHolds(store, expected, "after removals and appends");
    // Out of range: nothing happens.
    store.insert(store.size() + 1, Entry{});
    store.erase(store.size());
    store.move(0, store.size());
    expectHolds(store, expected, "after edits out of range");
}

// Appending codes against the last entry: after the last block has gone, that is the last entry of
// a block that is not full. Coded against the entry that went ("ab"), "ac" would read back as "bc".
TEST(EntryStore, AppendsAfterTheLastBlockWasRemoved) {
    EntryStore store;
    std::vector<Entry> expected;
    for (int i = 0; i < 129; ++i) {  // blocks of 64, 64 and 1 entries
        expected.push_back({QString::number(i), u"/p"_qs});
    }
    expected[127].title = u"ba"_qs;
    expected[128].title = u"ab"_qs;
    for (const Entry& e : expected) {
        store.push_back(e);
    }
    for (int i = 0; i < 4; ++i) {  // the second block holds 60
        store.erase(70);
        expected.erase(expected.begin() + 70);
    }
    store.erase(store.size() - 1);  // the third goes
    expected.pop_back();
    for (const Entry& e : {Entry{u"ac"_qs, u"/p"_qs}, Entry{u"ad"_qs, u"/q"_qs}}) {
        store.push_back(e);
        expected.push_back(e);
    }
    expectHolds(store, expected, "appended");
}

TEST(EntryStore, TextsReadBackExactly) {
    const Entry cases[] = {
        {u""_qs, u""_qs},
        {u"\uFEFF\uFEFFtwo marks"_qs, u"\uFEFF/p"_qs},
        {QString(QChar(0xDC00)) + u"曲"_qs, u"/曲/"_qs + QChar(0xD83D)},
        {QStringView(u"a\0b", 3).toString(), u"/\uFFFE\uFFFF"_qs},
        {u"曲 😀"_qs, QString(5000, u'/')},
        {u"a>b\r\n"_qs, u"/a\rb"_qs, "line>\xFF"},
    };
    EntryStore store;
    std::vector<Entry> expected;
    for (const Entry& e : cases) {
        // Each after an entry it shares a beginning and an ending with.
        Entry neighbour{e.title + u"x"_qs + e.title, e.path.left(2) + e.path.right(2)};
        store.push_back(neighbour);
        store.push_back(e);
        expected.push_back(neighbour);
        expected.push_back(e);
    }
    expectHolds(store, expected, "pushed");
}

TEST(EntryStore, ListFileBytesAreKeptAsUtf8) {
    EntryStore store;
    store.appendUtf8("曲 1", "/music/曲 1/a.bms");
    store.appendUtf8("曲 2", "/music/曲 2/a.bms");
    store.appendUtf8("\xEF\xBB\xBF", "");
    expectHolds(store,
                {{u"曲 1"_qs, u"/music/曲 1/a.bms"_qs},
                 {u"曲 2"_qs, u"/music/曲 2/a.bms"_qs},
                 {u"\uFEFF"_qs, u""_qs}},
                "appended as bytes");
}

TEST(EntryStore, IndexOfPathTable) {
    const EntryStore store = {{u"A"_qs, u"/a.bms"_qs},
                              {u"B"_qs, u"/b/"_qs + QChar(0xD800)},
                              {u"C"_qs, u"/c.bms"_qs},
                              {u"A again"_qs, u"/a.bms"_qs}};
    struct Case {
        QStringList paths;
        std::optional<size_t> index;
    };
    const Case cases[] = {
        {{u"/a.bms"_qs}, 0},
        {{u"/x"_qs, u"/c.bms"_qs}, 2},
        {{u"/c.bms"_qs, u"/a.bms"_qs}, 0},
        {{u"/b/"_qs + QChar(0xD800)}, 1},
        {{u"/b/\uFFFD"_qs, u"/A.bms"_qs, u""_qs}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(store.indexOfPath(c.paths), c.index) << c.paths.join(u' ').toStdString();
    }
}

// Appending a store moves its blocks over: indexes, edits and later appends carry on across them.
TEST(EntryStore, AppendingAStoreTakesItsEntries) {
    std::mt19937 random(5);
    std::vector<Entry> expected;
    const auto filled = [&](int count) {
        EntryStore store;
        for (int i = 0; i < count; ++i) {
            expected.push_back(randomEntry(random));
            store.push_back(expected.back());
        }
        return store;
    };
    EntryStore store;
    store.append(filled(100));
    store.append(filled(150));
    EntryStore emptied = filled(3);
    store.append(std::move(emptied));
    EXPECT_TRUE(emptied.empty());  // NOLINT(bugprone-use-after-move): the contract
    expectHolds(store, expected, "appended");
    const Entry added{u"added"_qs, u"/added"_qs};
    store.insert(100, added);
    expected.insert(expected.begin() + 100, added);
    store.erase(63);
    expected.erase(expected.begin() + 63);
    store.push_back(added);
    expected.push_back(added);
    store.move(0, expected.size() - 1);
    std::rotate(expected.begin(), expected.begin() + 1, expected.end());
    expectHolds(store, expected, "edited");
}

}  // namespace
}  // namespace carvel
