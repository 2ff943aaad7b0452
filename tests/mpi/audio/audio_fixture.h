// A started platform for the audio unit tests, and the camera's audio set-up.
#pragma once

#include <sys/select.h>

#include "mpi/audio/aac/audio_aac_adp.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/ao/mpi_ao.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"
#include "tests/support/board_fixture.h"

namespace audiotest {

// The recording engine's device attributes: 48 kHz, 16 bit, mono, 1024 samples.
inline AIO_ATTR_S camera_attr(u32 chn_cnt = 1) { return {48000, 1, 0, 0, 1, 30, 1024, chn_cnt, 1}; }

inline bool readable(int fd, int ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    struct timeval tv = {ms / 1000, (ms % 1000) * 1000};
    return select(fd + 1, &set, nullptr, nullptr, &tv) == 1;
}

} // namespace audiotest

// The system and the audio units started on a fresh board; ended after the test.
class AudioTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        ASSERT_EQ(0, MPI_VB_InitCtx());
    }
    void TearDown() override
    {
        testsupport::capture_stdout([] {
            testsupport::capture_stderr([] {
                DU_DUZ_SYS_Exit();
                MPI_VB_ExitCtx();
            });
        });
    }
};
