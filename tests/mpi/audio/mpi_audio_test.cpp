// The audio side's start and end: a failing step leaves nothing of the start
// behind, and the start alone with the buffer-pool context on the board.
#include "mpi/audio/mpi_audio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mpi/audio/adec/mpi_adec.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/ao/mpi_ao.h"
#include "mpi/video/bind/mpi_bind.h"
#include "tests/support/board_fixture.h"

using testsupport::capture_stderr;

namespace {

// Steps that log what they do; the one numbered g_fail refuses with a
// status of its own. Step 1 has nothing to undo.
std::vector<std::string> g_log;
int g_fail = -1;

template <int N> s32 start(void *)
{
    g_log.push_back("start " + std::to_string(N));
    return N == g_fail ? -100 - N : 0;
}
template <int N> void undo(void *) { g_log.push_back("undo " + std::to_string(N)); }

const AudioStep<void> kSteps[] = {
    {start<0>, undo<0>, "step 0 failed\n"},
    {start<1>, nullptr, "step 1 failed\n"},
    {start<2>, undo<2>, nullptr},
    {start<3>, undo<3>, "step 3 failed\n"},
};

TEST(AudioSteps, AFailingStepUndoesTheStepsBeforeItLatestFirstAndSaysWhy)
{
    struct Case {
        const char *name;
        int fail;
        s32 ret;
        std::vector<std::string> log;
        const char *err;
    } cases[] = {
        {"all start", -1, 0, {"start 0", "start 1", "start 2", "start 3"}, ""},
        {"the first refuses", 0, -100, {"start 0"}, "step 0 failed\n"},
        {"the second refuses", 1, -101, {"start 0", "start 1", "undo 0"}, "step 1 failed\n"},
        {"a silent step refuses", 2, -102, {"start 0", "start 1", "start 2", "undo 0"}, ""},
        {"the last refuses",
         3,
         -103,
         {"start 0", "start 1", "start 2", "start 3", "undo 2", "undo 0"},
         "step 3 failed\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_log.clear();
        g_fail = c.fail;
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = audio_run_steps(kSteps, nullptr); });
        EXPECT_EQ(c.ret, ret);
        EXPECT_EQ(c.log, g_log);
        EXPECT_EQ(c.err, err);
    }
}

TEST(AudioSteps, TheTearDownUndoesEveryStepLatestFirst)
{
    g_log.clear();
    audio_undo_steps(kSteps, nullptr);
    EXPECT_EQ((std::vector<std::string>{"undo 3", "undo 2", "undo 0"}), g_log);
}

struct Units {
    u32 ai, ao, aenc, adec;
    bool operator==(const Units &o) const { return ai == o.ai && ao == o.ao && aenc == o.aenc && adec == o.adec; }
};
Units units() { return {s_bAiInit, s_bAoInit, s_bAencInit, s_bAdecInit}; }

class AudioStart : public BoardTest {
protected:
    void TearDown() override { DU_DUZ_AUDIO_Exit(); }
};

TEST_F(AudioStart, TheAudioAloneStartsAndEndsEveryUnit)
{
    ASSERT_EQ(0, DU_DUZ_AUDIO_Init());
    EXPECT_TRUE((units() == Units{1, 1, 1, 1}));
    // The output and the decoder are in the registry: it binds them.
    MPP_CHN_ADDR_S src = {DU_ID_ADEC, 0, 0}, dst = {DU_ID_AO, 0, 1};
    EXPECT_EQ(0, SYS_Bind(&src, &dst));
    EXPECT_EQ(0, DU_DUZ_AUDIO_Exit());
    EXPECT_TRUE((units() == Units{0, 0, 0, 0}));
    // Started again after its end.
    ASSERT_EQ(0, DU_DUZ_AUDIO_Init());
    EXPECT_TRUE((units() == Units{1, 1, 1, 1}));
}

} // namespace
