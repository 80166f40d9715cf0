#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playlist/front_coding.h"

namespace carvel {
namespace {

// Pairs that share beginnings and endings of every length around the eight-byte steps, with the
// difference at every place: each codes to three one-byte numbers and the bytes between the
// shared parts, and reads back as itself.
TEST(FrontCoding, CodesOnlyWhatDiffersAndReadsBack) {
    struct Case {
        std::string previous;
        std::string value;
        size_t middle;  // the bytes neither shared beginning nor shared ending covers
    };
    std::vector<Case> cases = {
        {"", "", 0},
        {"", "abc", 3},
        {"abc", "", 0},
        {"abc", "abc", 0},
        {"aa", "aaa", 1},  // the shared parts never overlap
        {"aaa", "aa", 0},
        {"abcab", "ab", 0},  // all of it shared as the beginning
        {"/music/charts/folder 123455/chart.bms", "/music/charts/folder 123456/chart.bms", 1},
    };
    const std::string base = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (size_t length = 1; length <= base.size(); ++length) {
        for (size_t at = 0; at < length; ++at) {
            std::string changed = base.substr(0, length);
            changed[at] = '#';
            cases.push_back({base.substr(0, length), changed, 1});
            // A longer value whose end differs: all after the difference is coded.
            cases.push_back({changed, base.substr(0, length) + "+", length + 1 - at});
        }
    }
    const auto view = [](const std::string& s) {
        return QByteArrayView(s.data(), static_cast<qsizetype>(s.size()));
    };
    for (const Case& c : cases) {
        std::vector<char> code(codedBound(view(c.value)));
        const char* const end = writeCoded(code.data(), view(c.value), view(c.previous));
        EXPECT_EQ(static_cast<size_t>(end - code.data()), 3 + c.middle)
            << c.previous << " -> " << c.value;
        std::vector<char> value(c.previous.begin(), c.previous.end());
        std::vector<char> scratch;
        const char* in = code.data();
        readCoded(in, value, scratch);
        EXPECT_EQ(std::string(value.begin(), value.end()), c.value) << c.previous;
        EXPECT_EQ(in, end) << c.previous << " -> " << c.value;
    }
}

}  // namespace
}  // namespace carvel
