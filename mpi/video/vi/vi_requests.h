// Requests of /dev/vi (type 'I'), shared by the video input unit and the
// simulated driver.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/common/video_frame.h"
#include "mpi/video/vi/mpi_vi.h"

#include <cstddef>

#define VI_REQ(dir, size, nr) MPI_IOC(MPI_IOC_##dir, size, 'I', nr)
constexpr unsigned long VI_SET_DEV_ATTR = VI_REQ(WRITE, 128, 0);
constexpr unsigned long VI_SET_DEV_ATTR_EX = VI_REQ(WRITE, 148, 1);
constexpr unsigned long VI_GET_DEV_ATTR = VI_REQ(READ, 128, 2);
constexpr unsigned long VI_GET_DEV_ATTR_EX = VI_REQ(READ, 148, 3);
constexpr unsigned long VI_ENABLE_DEV = VI_REQ(NONE, 0, 4);
constexpr unsigned long VI_DISABLE_DEV = VI_REQ(NONE, 0, 5);
constexpr unsigned long VI_BIND_CHN = VI_REQ(WRITE, 8, 6);
constexpr unsigned long VI_GET_CHN_BIND = VI_REQ(READ, 8, 7);
constexpr unsigned long VI_UNBIND_CHN = VI_REQ(NONE, 0, 8);
constexpr unsigned long VI_SET_CHN_ATTR = VI_REQ(WRITE, 52, 9);
constexpr unsigned long VI_GET_CHN_ATTR = VI_REQ(READ, 52, 10);
constexpr unsigned long VI_ENABLE_CHN = VI_REQ(NONE, 0, 14);
constexpr unsigned long VI_DISABLE_CHN = VI_REQ(NONE, 0, 15);
constexpr unsigned long VI_ENABLE_CHN_INT = VI_REQ(NONE, 0, 16);
constexpr unsigned long VI_DISABLE_CHN_INT = VI_REQ(NONE, 0, 17);
constexpr unsigned long VI_SET_FRAME_DEPTH = VI_REQ(WRITE, 4, 18);
constexpr unsigned long VI_GET_FRAME_DEPTH = VI_REQ(RW, 4, 19);
constexpr unsigned long VI_GET_FRAME = VI_REQ(RW, 152, 20);
constexpr unsigned long VI_RELEASE_FRAME = VI_REQ(WRITE, 144, 21);
constexpr unsigned long VI_SET_USER_PIC = VI_REQ(WRITE, 152, 22);
constexpr unsigned long VI_ENABLE_USER_PIC = VI_REQ(NONE, 0, 23);
constexpr unsigned long VI_DISABLE_USER_PIC = VI_REQ(NONE, 0, 24);
constexpr unsigned long VI_QUERY = VI_REQ(READ, 28, 25);
constexpr unsigned long VI_BIND_FD = VI_REQ(WRITE, 4, 26);
constexpr unsigned long VI_SET_REG_DELAY = VI_REQ(WRITE, 4, 27);
constexpr unsigned long VI_SET_FLASH_CONFIG = VI_REQ(WRITE, 20, 28);
constexpr unsigned long VI_GET_FLASH_CONFIG = VI_REQ(READ, 20, 29);
constexpr unsigned long VI_TRIGGER_FLASH = VI_REQ(WRITE, 4, 30);
constexpr unsigned long VI_SET_CSC_ATTR = VI_REQ(WRITE, 24, 31);
constexpr unsigned long VI_GET_CSC_ATTR = VI_REQ(READ, 24, 32);
constexpr unsigned long VI_SET_LDC_ATTR = VI_REQ(WRITE, 20, 33);
constexpr unsigned long VI_GET_LDC_ATTR = VI_REQ(READ, 20, 34);
constexpr unsigned long VI_SET_ROTATE = VI_REQ(WRITE, 4, 36);
constexpr unsigned long VI_GET_ROTATE = VI_REQ(READ, 4, 37);
constexpr unsigned long VI_GET_CHN_LUMA = VI_REQ(READ, 16, 38);
constexpr unsigned long VI_SET_EXT_CHN_ATTR = VI_REQ(WRITE, 28, 39);
constexpr unsigned long VI_GET_EXT_CHN_ATTR = VI_REQ(READ, 28, 40);
constexpr unsigned long VI_SET_EXT_CHN_CROP = VI_REQ(WRITE, 20, 41);
constexpr unsigned long VI_GET_EXT_CHN_CROP = VI_REQ(READ, 20, 42);
constexpr unsigned long VI_SET_WDR_ATTR = VI_REQ(WRITE, 8, 43);
constexpr unsigned long VI_GET_WDR_ATTR = VI_REQ(READ, 8, 44);
constexpr unsigned long VI_SET_DUMP_ATTR = VI_REQ(WRITE, 8, 45);
constexpr unsigned long VI_GET_DUMP_ATTR = VI_REQ(READ, 8, 46);
constexpr unsigned long VI_ENABLE_BAYER_DUMP = VI_REQ(NONE, 0, 47);
constexpr unsigned long VI_DISABLE_BAYER_DUMP = VI_REQ(NONE, 0, 48);
constexpr unsigned long VI_ENABLE_BAYER_READ = VI_REQ(NONE, 0, 53);
constexpr unsigned long VI_DISABLE_BAYER_READ = VI_REQ(NONE, 0, 54);
constexpr unsigned long VI_SEND_BAYER_DATA = VI_REQ(WRITE, 152, 55);
constexpr unsigned long VI_SET_DIS_ATTR = VI_REQ(RW, 12, 56);
constexpr unsigned long VI_GET_DIS_ATTR = VI_REQ(READ, 12, 57);
constexpr unsigned long VI_SET_DCI_PARAM = VI_REQ(RW, 16, 58);
constexpr unsigned long VI_GET_DCI_PARAM = VI_REQ(READ, 16, 59);
constexpr unsigned long VI_SET_MOD_PARAM = VI_REQ(WRITE, 8, 64);
constexpr unsigned long VI_GET_MOD_PARAM = VI_REQ(READ, 8, 65);
constexpr unsigned long VI_SET_USR_FRM_MODE = VI_REQ(WRITE, 4, 66);
// Fixed-pattern noise: one request calibrates or corrects (word 1 says
// which), the other reads the correction in force back.
constexpr unsigned long VI_FPN_SET = VI_REQ(RW, 184, 51);
constexpr unsigned long VI_FPN_GET = VI_REQ(READ, 184, 52);
#undef VI_REQ

static_assert(VI_FPN_SET == 0xC0B84933 && VI_FPN_GET == 0x80B84934, "FPN request numbers");

enum VI_FPN_OP_E : u32 { VI_FPN_OP_CORRECT = 1, VI_FPN_OP_CALIBRATE = 2 };

struct VI_FPN_CALIBRATE_REQ_S {
    u32 enFpnType; // 0 frame, 1 line
    u32 enOp;      // VI_FPN_OP_CALIBRATE
    u32 u32Param0;
    u32 u32Param1;
    VI_FPN_FRAME_INFO_S stFrameInfo; // in, and the dark frame's out
    u32 au32Reserved[2];
};

struct VI_FPN_CORRECT_REQ_S {
    u32 enFpnType;
    u32 enOp; // VI_FPN_OP_CORRECT
    u32 bEnable;
    u32 u32Strength; // 0..1023, 256 = 1x
    u32 enOpType;    // 0 auto, 1 manual (the ISP's; kept)
    u32 u32Reserved;
    VI_FPN_FRAME_INFO_S stFrameInfo;
};
static_assert(sizeof(VI_FPN_CALIBRATE_REQ_S) == 184 && sizeof(VI_FPN_CORRECT_REQ_S) == 184, "FPN request layouts");
static_assert(offsetof(VI_FPN_CORRECT_REQ_S, stFrameInfo) == 24, "the correction's frame information at +24");

static_assert(VI_SET_DEV_ATTR == 0x40804900 && VI_ENABLE_DEV == 0x4904 && VI_BIND_FD == 0x4004491A,
              "request numbers");

// Records the driver keeps as given and hands back on the matching get:
// (set request, get request). Device-wide unless `chn` is set.
struct VI_STORED_REQ_S {
    unsigned long set, get;
    bool chn;
};
constexpr VI_STORED_REQ_S VI_STORED_REQS[] = {
    {VI_SET_DEV_ATTR_EX, VI_GET_DEV_ATTR_EX, false}, {VI_BIND_CHN, VI_GET_CHN_BIND, true},
    {VI_SET_FLASH_CONFIG, VI_GET_FLASH_CONFIG, false}, {VI_SET_CSC_ATTR, VI_GET_CSC_ATTR, false},
    {VI_SET_LDC_ATTR, VI_GET_LDC_ATTR, true},       {VI_SET_EXT_CHN_ATTR, VI_GET_EXT_CHN_ATTR, true},
    {VI_SET_EXT_CHN_CROP, VI_GET_EXT_CHN_CROP, true}, {VI_SET_WDR_ATTR, VI_GET_WDR_ATTR, false},
    {VI_SET_DUMP_ATTR, VI_GET_DUMP_ATTR, false},     {VI_SET_DIS_ATTR, VI_GET_DIS_ATTR, false},
    {VI_SET_DCI_PARAM, VI_GET_DCI_PARAM, false},     {VI_SET_MOD_PARAM, VI_GET_MOD_PARAM, false},
    {VI_SET_USER_PIC, 0, true},                      {VI_SET_USR_FRM_MODE, 0, true},
    {VI_SET_REG_DELAY, 0, false},                     {VI_TRIGGER_FLASH, 0, false},
};
