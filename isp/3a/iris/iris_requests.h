// Requests of the iris drivers and their records, shared by the exposure
// library's iris control and the simulated devices.
#pragma once

#include "mpi/common/common_requests.h"

// "/dev/pwm": one PWM output's duty.
constexpr unsigned long PWM_CMD_WRITE = 1;
struct PWM_DATA_S {
    u32 pwm_num;
    u32 duty;
    u32 period;
    u32 enable;
};
static_assert(sizeof(PWM_DATA_S) == 16, "PWM record layout");

// "/dev/isp_dev": the PWM output that drives the DC iris.
constexpr unsigned long ISP_PWM_NUM_GET = 0x8004491C; // u32 out

// "/dev/piris": the P-iris stepper. The origin, close and position
// requests carry a 12-byte record although their numbers encode 4 bytes.
// The position request sends the stepper to the position the exposure
// chose for its aperture.
constexpr unsigned long PIRIS_POS_SET = 0x40047001;    // PIRIS_DATA_S
constexpr unsigned long PIRIS_STATUS_GET = 0x80047005; // s32 out, 1 while moving
constexpr unsigned long PIRIS_ORIGIN_SET = 0x40047002; // PIRIS_DATA_S
constexpr unsigned long PIRIS_CLOSE_SET = 0x40047003;  // PIRIS_DATA_S
struct PIRIS_DATA_S {
    s32 bZeroIsMax;
    s32 s32TotalStep;
    s32 s32Step; // origin: steps to run; close and position: the position
};
static_assert(sizeof(PIRIS_DATA_S) == 12, "P-iris record layout");
