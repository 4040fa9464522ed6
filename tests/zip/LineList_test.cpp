// The run's file list: what goes in comes out, in order, whatever the lengths, while lines
// leave at the front.
#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "zip/LineList.h"

namespace qm {
namespace {

TEST(TLineList, HoldsEveryLineInOrderWhileLinesLeaveAtTheFront) {
    // Lengths that fill blocks exactly, cross them, exceed them, and are empty.
    const size_t lengths[] = {0, 1, 47, 4096, 65535, 65536, 65537, 200000, 3, 0, 65536 - 3};
    TLineList list;
    std::deque<std::string> expected;
    for (int round = 0; round < 3; ++round) {
        for (size_t i = 0; i < std::size(lengths); ++i) {
            std::string line(lengths[i], static_cast<char>('a' + (i + round) % 26));
            if (!line.empty()) line.back() = static_cast<char>('0' + round);
            list.push_back(line);
            expected.push_back(line);
        }
        // Half of what is there leaves, then the rest is compared.
        for (size_t n = expected.size() / 2; n > 0; --n) {
            ASSERT_EQ(list.front(), expected.front());
            list.pop_front();
            expected.pop_front();
        }
        ASSERT_EQ(list.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(list[i], expected[i]) << i;
    }
    while (!list.empty()) {
        ASSERT_EQ(list.front(), expected.front());
        list.pop_front();
        expected.pop_front();
    }
    EXPECT_TRUE(expected.empty());
    list.push_back("again");
    EXPECT_EQ(list[0], "again");
}

}  // namespace
}  // namespace qm
