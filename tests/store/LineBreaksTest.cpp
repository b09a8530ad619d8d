#include "LineBreaks.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

// The word-at-a-time search must agree with a plain byte loop wherever the break falls, also
// next to bytes that differ from CR or LF by one bit or one borrow.
TEST(LineBreaks, FindBreakAgreesWithAPlainSearchAtEveryOffset)
{
    std::mt19937 random(20090105);
    const char alphabet[] = { 'a', '\r', '\n', '\x0c', '\x0b', '\x0e', '\x8d', '\x8a', '\0', '!' };
    for (int round = 0; round < 20000; ++round) {
        std::string s(random() % 48, 'x');
        for (char &c : s)
            c = random() % 4 ? 'x' : alphabet[random() % sizeof alphabet];
        const char *begin = s.data();
        const char *end = begin + s.size();
        const char *expected = begin;
        while (expected < end && *expected != '\r' && *expected != '\n')
            ++expected;
        ASSERT_EQ(linebreaks::FindBreak(begin, end) - begin, expected - begin);

        bool only = true;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r'))
                only = false;
            if (s[i] == '\r' && (i + 1 == s.size() || s[i + 1] != '\n'))
                only = false;
        }
        ASSERT_EQ(linebreaks::OnlyCrLf(begin, end), only);
    }
}

} // namespace
