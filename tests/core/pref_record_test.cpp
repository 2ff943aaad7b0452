// The preferences record's access by word number.
#include "core/pref_record.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(PrefWords, WordAccessFollowsTheRecordLayout)
{
    DvSystemParam p;
    memset(&p, 0, sizeof p);
    pref_set_word(&p, 13, 2);
    pref_set_word(&p, 36 + 1, 5);
    pref_set_word(&p, 96, -9);
    EXPECT_EQ(p.Dateformat, 2);
    EXPECT_EQ(p.MovieFrameRate[1], 5);
    EXPECT_EQ(p.Sharpness, -9);
    EXPECT_EQ(pref_get_word(&p, 81 + 3 + 2), p.CustomizedWhiteBalance[1][2]);
    // Outside the record: nothing read, nothing written.
    DvSystemParam before = p;
    pref_set_word(&p, 97, 1);
    pref_set_word(&p, -1, 1);
    EXPECT_EQ(0, memcmp(&p, &before, sizeof p));
    EXPECT_EQ(pref_get_word(&p, 97), 0);
    EXPECT_EQ(pref_get_word(nullptr, 1), 0);
}

} // namespace
