// The per-frame register configuration the modules fill and the core writes
// (its kernel part and the sensor-sync record are the driver's, in
// isp/isp_requests.h).
#pragma once

#include "isp/isp_sensor.h"

// Key bits of ISP_REG_CFG_S: which groups a module set this frame.
enum : u32 {
    ISP_REGCFG_AE_WEIGHT = 1u << 0,
    ISP_REGCFG_AE_EXP = 1u << 1,
    ISP_REGCFG_AWB_GAIN = 1u << 2,
    ISP_REGCFG_AWB_STAT = 1u << 3,
    ISP_REGCFG_WHITE_POINT = 1u << 5,
    ISP_REGCFG_DRC = 1u << 6,
    ISP_REGCFG_NR = 1u << 7,
    ISP_REGCFG_DP = 1u << 8,
    ISP_REGCFG_SHARPEN = 1u << 9,
    ISP_REGCFG_GE = 1u << 10,
    ISP_REGCFG_DEHAZE = 1u << 12,
    ISP_REGCFG_AWB_BAYER = 1u << 13,
    ISP_REGCFG_ALL = 0x3FFF,
};

struct ISP_REG_CFG_S {
    u32 u32Key;
    u8 au8MeteringHistThresh[4];                      // +4
    u8 au8WeightTable[AE_ZONE_ROW][AE_ZONE_COLUMN];   // +8
    ISP_EXP_REG_CFG_S stExpCfg;                       // +264
    u32 au32WhiteBalanceGain[4];                      // +304
    u16 au16ColorMatrix[CCM_MATRIX_SIZE];             // +320
    u16 u16Reserved0;
    u16 au16AwbStatThresh[10];                        // +340
    u32 u32BayerSwitchA;                              // +360
    u32 u32BayerSwitchB;                              // +364
    u16 au16BayerLimit[10];                           // +368
    u8 au8Reserved1[4];
    u8 u8DpStaticEnable;                              // +392
    u8 u8DpTableStrobe;                               // +393
    u8 u8DpStaticBit4;                                // +394
    u8 u8DpDetectMode;                                // +395
    u16 u16DpSlope;                                   // +396
    u16 u16DpThresh;                                  // +398
    u16 u16DpStaticCount;                             // +400
    u32 u32DrcStrength;                               // +404
    u16 u16NrLimit;                                   // +408
    u8 u8NrFilterMode;                                // +410
    u8 u8NrSlope;                                     // +411
    u8 u8NrThreshS;                                   // +412
    u8 u8NrThreshL;                                   // +413
    u8 u8NrOffset;                                    // +414
    u8 u8Reserved2;
    u8 u8GeStrength;                                  // +416
    u8 u8Reserved3;
    u8 u8SharpenD;                                    // +418
    u8 u8SharpenUd;                                   // +419
    u16 u16SharpenLumThresh;                          // +420
    u8 u8SharpenRGB;                                  // +422
    u16 au16WhitePoint[4];                            // +424
    u8 au8Reserved4[4];
    u8 u8DehazeSwitch;                                // +436
    u8 u8DehazeAirUpdate;                             // +437
    u32 u32DehazeAir;                                 // +440
    u32 u32DehazeStrength;                            // +444
    ISP_KERNEL_REG_CFG_S stKernelCfg;                 // +448
};
static_assert(offsetof(ISP_REG_CFG_S, stExpCfg) == 264, "exposure words at +264");
static_assert(offsetof(ISP_REG_CFG_S, au32WhiteBalanceGain) == 304, "gains at +304");
static_assert(offsetof(ISP_REG_CFG_S, au16AwbStatThresh) == 340, "AWB thresholds at +340");
static_assert(offsetof(ISP_REG_CFG_S, u32BayerSwitchA) == 360, "Bayer switches at +360");
static_assert(offsetof(ISP_REG_CFG_S, u8DpStaticEnable) == 392, "DP at +392");
static_assert(offsetof(ISP_REG_CFG_S, u32DrcStrength) == 404, "DRC at +404");
static_assert(offsetof(ISP_REG_CFG_S, u8GeStrength) == 416, "GE at +416");
static_assert(offsetof(ISP_REG_CFG_S, u8SharpenD) == 418, "sharpen at +418");
static_assert(offsetof(ISP_REG_CFG_S, u8SharpenRGB) == 422, "RGB sharpen at +422");
static_assert(offsetof(ISP_REG_CFG_S, au16WhitePoint) == 424, "white point at +424");
static_assert(offsetof(ISP_REG_CFG_S, u8DehazeSwitch) == 436, "dehaze at +436");
static_assert(offsetof(ISP_REG_CFG_S, u32DehazeAir) == 440, "air light at +440");
static_assert(offsetof(ISP_REG_CFG_S, stKernelCfg) == 448, "kernel part at +448");
static_assert(sizeof(ISP_REG_CFG_S) == 968, "register configuration layout");
