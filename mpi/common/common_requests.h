// What every unit shares with its driver: the basic type names, status
// codes, module ids, channel addresses, picture sizes and the request number
// encoding. Records only: the simulated drivers include it through the
// request headers.
#pragma once

#include <cstdint>

typedef uint8_t HI_U8_T;
typedef int8_t HI_S8_T;
typedef uint8_t u8;
typedef int8_t s8;
typedef uint16_t u16;
typedef int16_t s16;
typedef uint32_t u32;
typedef int32_t s32;
typedef uint64_t u64;
typedef int64_t s64;

// ---- status codes -----------------------------------------------------------
// 0 is success; a failure is 0xA0000000 | module << 16 | level << 13 | code.
constexpr u32 MPI_ERR_LEVEL_ERROR = 4;

constexpr s32 mpi_status(u32 mod, u32 code, u32 level = MPI_ERR_LEVEL_ERROR)
{
    return (s32)(0xA0000000u | (mod << 16) | (level << 13) | code);
}

enum MPI_ERR_CODE_E : u32 {
    ERR_INVALID_DEVID = 0x01,
    ERR_INVALID_CHNID = 0x02,
    ERR_ILLEGAL_PARAM = 0x03,
    ERR_EXIST = 0x04,
    ERR_UNEXIST = 0x05,
    ERR_NULL_PTR = 0x06,
    ERR_NOT_CONFIG = 0x07,
    ERR_NOT_SUPPORT = 0x08,
    ERR_NOT_PERM = 0x09,
    ERR_NOMEM = 0x0C,
    ERR_NOBUF = 0x0D,
    ERR_BUF_EMPTY = 0x0E,
    ERR_BUF_FULL = 0x0F,
    ERR_SYS_NOTREADY = 0x10,
    ERR_BADADDR = 0x11,
    ERR_BUSY = 0x12,
};

// ---- module ids ------------------------------------------------------------------
enum MPP_MOD_ID_E : u32 {
    DU_ID_CMPI = 0,
    DU_ID_VB = 1,
    DU_ID_SYS = 2,
    DU_ID_RGN = 3,
    DU_ID_CHNL = 4,
    DU_ID_VDEC = 5,
    DU_ID_GROUP = 6,
    DU_ID_VPSS = 7,
    DU_ID_VENC = 8,
    DU_ID_VDA = 9,
    DU_ID_H264E = 10,
    DU_ID_JPEGE = 11,
    DU_ID_MPEG4E = 12,
    DU_ID_H264D = 13,
    DU_ID_JPEGD = 14,
    DU_ID_VOU = 15,
    DU_ID_VIU = 16,
    DU_ID_DSU = 17,
    DU_ID_VALG = 18,
    DU_ID_RC = 19,
    DU_ID_AIO = 20,
    DU_ID_AI = 21,
    DU_ID_AO = 22,
    DU_ID_AENC = 23,
    DU_ID_ADEC = 24,
    DU_ID_ISP = 28,
    DU_ID_IVE = 29,
    DU_ID_BUTT = 52,
};

// A platform channel address: module, device (or group), channel.
struct MPP_CHN_ADDR_S {
    u32 enModId;
    s32 s32Dev;
    s32 s32Chn;
};
static_assert(sizeof(MPP_CHN_ADDR_S) == 12, "channel address is three words");

// A picture size in pixels.
struct SIZE_S {
    u32 u32Width;
    u32 u32Height;
};

// ---- request numbers -----------------------------------------------------------------
// direction << 30 | size << 16 | letter << 8 | number; sizes are the records'
// sizes on the camera, written as literals.
enum : u32 { MPI_IOC_NONE = 0, MPI_IOC_WRITE = 1, MPI_IOC_READ = 2, MPI_IOC_RW = 3 };

constexpr unsigned long MPI_IOC(u32 dir, u32 size, char letter, u32 nr)
{
    return (unsigned long)((dir << 30) | (size << 16) | ((u32)(unsigned char)letter << 8) | nr);
}
