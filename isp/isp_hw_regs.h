// ISP hardware registers of the picture pipeline: where the image-quality
// modules and the 3A bridges leave their results, and what the ISP reads on
// every frame to make the picture (the simulated board's ISP reads exactly
// these). Full addresses, as the IO accessors take them.
//
// Values at reset (what the picture shows before any module wrote them):
// black level 256 (common level, no per-channel offset), white-balance gains
// and colour-tone gains 1.0, an identity colour matrix, gamma, DRC, noise
// reduction, sharpen and defect-pixel correction off.
#pragma once

#include "isp/isp_vreg.h"

// ---- black level ---------------------------------------------------------------------------
// The level subtracted from channel c (R, Gr, Gb, B) is the common level
// plus the channel's offset, on the 12-bit scale.
constexpr u32 ISP_BLC_OFFSET_REG(u32 c) { return ISP_REG_BASE + 0x140 + 4 * c; } // u16: offset x 4, bits 2-13
constexpr u32 ISP_BLC_WDR_LONG_REG = ISP_REG_BASE + 0x170;                        // u16, frame WDR only
constexpr u32 ISP_BLC_WDR_SHORT_REG = ISP_REG_BASE + 0x174;
constexpr u32 ISP_BLC_WDR_SCALE_REG = ISP_REG_BASE + 0x178;
constexpr u32 ISP_BLC_COMMON_REG = ISP_REG_BASE + 0x1A4;                          // u16: level << 4
// The black level the RGB statistics carry (R, G, -, B); the statistics
// means hold 16 x this above the black-level-corrected mean.
constexpr u32 ISP_STAT_BLACK_REG(u32 c) { return ISP_REG_BASE + 0x2D0 + 4 * c; }  // u16, 12 bits
constexpr u32 ISP_BLC_RESET_LEVEL = 256;

// ---- defect pixels -----------------------------------------------------------------------------
constexpr u32 ISP_DP_CTRL_REG = ISP_REG_BASE + 0x1C0;       // bit 0 green equalisation, bit 2 dynamic correction,
                                                            // bit 6 / 7 static detection of bright / dark pixels
constexpr u32 ISP_DP_CTRL_DYNAMIC = 1u << 2;
constexpr u32 ISP_GE_STRENGTH_REG = ISP_REG_BASE + 0x1C4;   // u8
constexpr u32 ISP_DP_THRESH_REG = ISP_REG_BASE + 0x1CA;     // u16, 12 bits: dynamic threshold, detection threshold
constexpr u32 ISP_DP_SLOPE_REG = ISP_REG_BASE + 0x1D0;      // u16, 12 bits
constexpr u32 ISP_DP_STATIC_REG = ISP_REG_BASE + 0x1E8;     // u8: bits below
constexpr u32 ISP_DP_STATIC_LOAD = 1u << 0;                 // table-load strobe
constexpr u32 ISP_DP_STATIC_ENABLE = 1u << 2;               // static correction on
constexpr u32 ISP_DP_STATIC_DETECT = 1u << 3;               // detection mode (calibration)
constexpr u32 ISP_DP_FOUND_REG = ISP_REG_BASE + 0x1EC;      // u16, 12 bits: pixels the detection found
constexpr u32 ISP_DP_START_REG = ISP_REG_BASE + 0x1F0;      // u16, 12 bits: table index of the first found pixel
constexpr u32 ISP_DP_COUNT_REG = ISP_REG_BASE + 0x1F4;      // u16, 12 bits: static table entries in use
constexpr u32 ISP_DP_TABLE_INDEX_REG = ISP_REG_BASE + 0x850; // table port: index
constexpr u32 ISP_DP_TABLE_WDATA_REG = ISP_REG_BASE + 0x854; // write data
constexpr u32 ISP_DP_TABLE_RDATA_REG = ISP_REG_BASE + 0x858; // read data
constexpr u32 ISP_DP_TABLE_SIZE = 4096;
// A table entry: the pixel's position in the image, 12 bits each, so that
// the entries of a table sorted ascending run in raster order.
constexpr u32 ISP_DP_POS(u32 x, u32 y) { return (y & 0xFFF) << 12 | (x & 0xFFF); }

// ---- noise reduction -----------------------------------------------------------------------------
constexpr u32 ISP_NR_CTRL_REG = ISP_REG_BASE + 0x200;       // u8: bit 4 enable
constexpr u32 ISP_NR_CTRL_ENABLE = 1u << 4;
constexpr u32 ISP_NR_THRESH_S_REG = ISP_REG_BASE + 0x224;   // u8: strength (short-exposure threshold)
constexpr u32 ISP_NR_THRESH_L_REG = ISP_REG_BASE + 0x228;   // u8

// ---- white balance and colour ----------------------------------------------------------------------
constexpr u32 ISP_WB_GAIN_REG(u32 c) { return ISP_REG_BASE + 0x2C0 + 4 * c; } // u16, 12 bits, 8.8 (R, Gr, Gb, B)
constexpr u32 ISP_CCM_REG(u32 i) { return ISP_REG_BASE + 0x480 + 4 * i; }     // u16: bit 15 sign, 8.8 magnitude
constexpr u32 ISP_TONE_GAIN_REG(u32 c) { return ISP_REG_BASE + 0x4A8 + 4 * c; } // u16, 8.8 (R, G, B cast gains)
constexpr u32 ISP_GAIN_ONE = 0x100;

// ---- dynamic range compression ---------------------------------------------------------------------
constexpr u32 ISP_DRC_CTRL_REG = ISP_REG_BASE + 0x380;      // u8: bit 0 enable
constexpr u32 ISP_DRC_STRENGTH_REG = ISP_REG_BASE + 0x384;  // u8, from the kernel's sync hand-over

// ---- sharpen ---------------------------------------------------------------------------------------
constexpr u32 ISP_SHARPEN_D_REG = ISP_REG_BASE + 0x43C;     // u8: detail (overshoot) strength
constexpr u32 ISP_SHARPEN_UD_REG = ISP_REG_BASE + 0x440;    // u8: undershoot strength
constexpr u32 ISP_SHARPEN_LUM_REG = ISP_REG_BASE + 0x444;   // u16, 12 bits: luminance threshold
constexpr u32 ISP_SHARPEN_RGB_REG = ISP_REG_BASE + 0x4D4;   // u8: RGB sharpen strength

// ---- gamma -------------------------------------------------------------------------------------------
constexpr u32 ISP_GAMMA_CTRL_REG = ISP_REG_BASE + 0x4C0;    // u8: bit 0 enable, bit 1 table access
constexpr u32 ISP_GAMMA_CTRL_ENABLE = 1u << 0;
constexpr u32 ISP_GAMMA_CTRL_ACCESS = 1u << 1;
constexpr u32 ISP_GAMMA_TABLE_REG(u32 i) { return ISP_REG_BASE + 0x2800 + 4 * i; } // 257 x u32, 12-bit values
