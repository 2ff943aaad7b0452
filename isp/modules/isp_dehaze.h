// The dehaze module: its ext registers (which the defog attribute calls
// write), its context, and the stages of one frame as functions of their own
// so that they can be looked at alone. The module (isp_dehaze.cpp) reads the
// registers and the statistics, runs the stages and hands the results back
// to the hardware; the stages (isp_dehaze_alg.cpp) touch no register.
#pragma once

#include <cstdio>

#include "isp/isp_3a_comm.h"

// ---- ext registers ---------------------------------------------------------------------------
#define DEHAZE_EXT_OP_TYPE 0x12300u       // u8: 1 manual, otherwise automatic
#define DEHAZE_EXT_H_BLOCKS 0x12301u      // u8: 1..16
#define DEHAZE_EXT_V_BLOCKS 0x12302u      // u8: 1..15
#define DEHAZE_EXT_CURVE_GAIN 0x12303u    // u8: scales the dark value that picks the curve
#define DEHAZE_EXT_UNUSED0 0x12304u       // three u8, read and kept
#define DEHAZE_EXT_RATE_UP 0x12308u       // u16: temporal rate when a block's new minimum lies above its history
#define DEHAZE_EXT_RATE_DOWN 0x1230Au     // u16: ... below it
#define DEHAZE_EXT_DEBUG 0x1230Cu         // u8: 1 writes "dehaze_data_%d.txt"
#define DEHAZE_EXT_MANUAL_STRENGTH 0x1230Du // u8
#define DEHAZE_EXT_AUTO_FACTOR 0x12316u   // u8: scales the automatic strength, 128 = 1x

#define DEHAZE_H_MAX 16
#define DEHAZE_V_MAX 15
#define DEHAZE_CURVE_NUM 32
#define DEHAZE_CURVE_LEN 256
#define DEHAZE_AIR_HISTORY 12
#define DEHAZE_SKY_LEN 156

// The tuning tables, worked out once from their shapes.
const u8 *dehaze_curve(u32 u32Idx);  // 32 strength curves of 256
const u8 *dehaze_road_table(void);     // 256: road scenes' lower rows
const u8 *dehaze_sky_table(void);      // 156: sky scenes' dark values 101..255
const u8 *dehaze_strength_table(void); // 256: the strength by the average dark value

// The debug dump, when one is open: every stage writes its lines into it.
// A file holds at most kLimit bytes, then it is closed.
struct DEHAZE_DUMP_S {
    static constexpr u32 kLimit = 16u << 20;
    FILE *pFile;
    u32 u32Bytes;
    u8 u8FileNum;
};
void dehaze_dump_printf(DEHAZE_DUMP_S *pstDump, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
// `label`, then the values with "%8d" (or "%8x"), a line break after every `per_line`.
void dehaze_dump_grid(DEHAZE_DUMP_S *pstDump, const char *label, const u8 *pu8Values, u32 n, u32 per_line);
void dehaze_dump_grid32(DEHAZE_DUMP_S *pstDump, const char *label, const u32 *pu32Values, u32 n, u32 per_line,
                        bool hex);

// One device's module context.
struct DEHAZE_CTX_S {
    u8 bHistoryValid;   // 0 until the first frame after Init or after the enable was off
    u8 u8CurveIdx;      // the row of the curve table in force
    u8 au8Kernel[5];    // the blur's taps, 64 in all
    u8 au8Air[3];       // the air light
    u8 u8AutoFactor;
    u8 u8Enable;
    u8 u8OpType;
    u8 u8ManualStrength;
    u8 u8H, u8V;
    u8 u8CurveGain;
    u8 au8Unused[3];
    u16 u16RateUp, u16RateDown;
    u32 u32Width, u32Height;
    u16 au16History[DEHAZE_BLOCK_MAX];          // each block's minimum, 8.8
    u16 au16AirHistory[DEHAZE_AIR_HISTORY][3];  // entry 0 the newest
    u32 u32AirCount;                            // frames since the history was cleared
    u8 u8DarkAtAir;
};

// What one frame's stages make of the block minima.
struct DEHAZE_FRAME_S {
    u8 au8Min[DEHAZE_BLOCK_MAX];    // the minima, then as the curve maps them
    u8 au8VBlur[DEHAZE_BLOCK_MAX];  // the history blurred down the columns
    u8 au8Dark[DEHAZE_BLOCK_MAX];   // ... and along the rows: the filtered dark values
    u8 u8Strength;
    u8 bCurveChanged;
};

// The statistics' words a grid of n blocks fills (four blocks a word).
inline u32 dehaze_words(u32 n) { return (n + 3) / 4; }
void dehaze_unpack(const u32 *pu32Words, u32 n, u8 *pu8Out);
void dehaze_pack(const u8 *pu8In, u32 n, u32 *pu32Words);

void dehaze_ctx_init(DEHAZE_CTX_S *pstCtx);
// The stages, in the order a frame runs them.
void MinAdaptCurve(u8 *pu8Min, u32 H, u32 V, DEHAZE_DUMP_S *pstDump);
void tmpr_min_flt(DEHAZE_CTX_S *pstCtx, u8 *pu8Min, u32 n, const u8 *pu8Curve);
void v_blur_flt_5x1(const u8 *pu8In, u8 *pu8Out, u32 H, u32 V, const u8 au8Kernel[5]);
void h_blur_flt_1x5(const u8 *pu8In, u8 *pu8Out, u32 H, u32 V, const u8 au8Kernel[5]);
// The air light from the blocks' dark values and colour maxima (R << 16 |
// G << 8 | B per block); into the context and its history.
void get_a(DEHAZE_CTX_S *pstCtx, const u8 *pu8Dark, const u32 *pu32Max, u32 n, DEHAZE_DUMP_S *pstDump);
// Whether the curve index moved.
bool gen_curve(DEHAZE_CTX_S *pstCtx, DEHAZE_DUMP_S *pstDump);
u8 dehaze_strength(const DEHAZE_CTX_S *pstCtx, const u8 *pu8Dark, u32 *pu32Aver, u32 *pu32Count, u32 *pu32Sum);

// One frame of all the stages over the statistics' minima and the blocks'
// colour maxima; what the hardware is to get is in `pstFrame` and the context.
void dehaze_frame(DEHAZE_CTX_S *pstCtx, const u32 *pu32MinWords, const u32 *pu32Max, u32 u32FrameCnt,
                  DEHAZE_FRAME_S *pstFrame, DEHAZE_DUMP_S *pstDump);
