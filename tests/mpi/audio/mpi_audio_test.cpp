// The audio side's start and end: the start alone with the buffer-pool
// context on the board, and its end.
#include "mpi/audio/mpi_audio.h"

#include <gtest/gtest.h>

#include "mpi/audio/adec/mpi_adec.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/ao/mpi_ao.h"
#include "mpi/video/bind/mpi_bind.h"
#include "tests/support/board_fixture.h"

namespace {

struct Units {
    u32 ai, ao, aenc, adec;
    bool operator==(const Units &o) const { return ai == o.ai && ao == o.ao && aenc == o.aenc && adec == o.adec; }
};
Units units() { return {ai_started(), s_bAoInit, s_bAencInit, s_bAdecInit}; }

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
