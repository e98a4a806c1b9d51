#include "platform/posix/Wildcard.h"

#include <gtest/gtest.h>

namespace {

using platform::posix::MatchesWildcard;
using platform::posix::SplitSearchPath;

TEST(Wildcard, StarsAndQuestionMarks) {
    EXPECT_TRUE(MatchesWildcard("*.GLF", "JOB1.GLF"));
    EXPECT_TRUE(MatchesWildcard("*.GLF", ".GLF"));
    EXPECT_FALSE(MatchesWildcard("*.GLF", "JOB1.GLF2"));
    EXPECT_FALSE(MatchesWildcard("*.GLF", "JOB1GLF"));
    EXPECT_TRUE(MatchesWildcard("J?B*", "JOB1"));
    EXPECT_FALSE(MatchesWildcard("J?B", "JB"));
    EXPECT_TRUE(MatchesWildcard("*a*b*c", "xxaxxbxxbcxc"));
    EXPECT_FALSE(MatchesWildcard("*a*b*c", "xxaxxcxxb"));
    EXPECT_TRUE(MatchesWildcard("**", "x"));
    EXPECT_TRUE(MatchesWildcard("JOB1.GLF", "JOB1.GLF"));
    EXPECT_FALSE(MatchesWildcard(" *.PRN", "A.PRN"));
}

TEST(Wildcard, IgnoresCase) {
    EXPECT_TRUE(MatchesWildcard("*.glf", "JOB1.GLF"));
    EXPECT_TRUE(MatchesWildcard("job?.GlF", "JOB1.gLf"));
    EXPECT_FALSE(MatchesWildcard("\xE9", "\xC9")) << "bytes beyond ASCII compare exactly";
}

TEST(Wildcard, DotStarAlsoMatchesNamesWithoutThatPart) {
    EXPECT_TRUE(MatchesWildcard("*.*", "README"));
    EXPECT_TRUE(MatchesWildcard("*.*", "a.b"));
    EXPECT_TRUE(MatchesWildcard("JOB1.*", "JOB1"));
    EXPECT_TRUE(MatchesWildcard("JOB1.*", "job1.glf"));
    EXPECT_FALSE(MatchesWildcard("JOB1.*", "JOB12"));
}

TEST(Wildcard, SplitsAtTheLastSeparator) {
    const auto split = SplitSearchPath("C:\\OUT/sub\\*.GLF");
    EXPECT_EQ("C:/OUT/sub/", split.folder);
    EXPECT_EQ("*.GLF", split.pattern);

    EXPECT_EQ("", SplitSearchPath("*.GLF").folder);
    EXPECT_EQ("*.GLF", SplitSearchPath("*.GLF").pattern);
    EXPECT_EQ("", SplitSearchPath("/tmp/x\\").pattern);
}

}  // namespace
