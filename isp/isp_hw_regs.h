// ISP hardware registers of the picture pipeline: where the image-quality
// modules and the 3A bridges leave their results, and what the ISP reads on
// every frame to make the picture (the simulated board's ISP reads exactly
// these). Full addresses, as the IO accessors take them.
//
// Values at reset, the ISP's daylight defaults (what the picture shows
// before any module wrote them): black level 256 (common level, no
// per-channel offset), white-balance gains and colour matrix for daylight
// on the sensors it is paired with, colour-tone gains 1.0, gamma on with a
// plain power curve of 0.6; DRC, noise reduction, sharpen and defect-pixel
// correction off (noise reduction's filter mode 4, slope 4, limit 0xFFFF,
// flat profiles of 32; DRC's slope max 255, white 4095, a square-root
// curve); every exposure zone weighed 1, the white-balance windows open.
//
// What the simulated board's picture and statistics make of each register
// is written beside it; demosaic, anti false colour, green equalisation and
// crosstalk act on the Bayer mosaic, which the board does not make: they
// are stored only, as are the WDR settings (the board's WDR modes make the
// linear picture) and the few others the README's picture section lists.
#pragma once

#include "mpi/common/common_requests.h"

// The two register blocks, and a register of each by its offset.
#define ISP_REG_BASE 0x205A0000u
#define VI_REG_BASE 0x20580000u
constexpr u32 ISP_REG(u32 off) { return ISP_REG_BASE + off; }
constexpr u32 VI_REG(u32 off) { return VI_REG_BASE + off; }

// ---- the image --------------------------------------------------------------------------------
constexpr u32 ISP_IMAGE_WIDTH_REG = ISP_REG(0x10);          // u16: the size the run loop works at
constexpr u32 ISP_IMAGE_HEIGHT_REG = ISP_REG(0x14);         // u16
constexpr u32 ISP_BAYER_REG = ISP_REG(0x18);                // u8, bits 0-1: the Bayer order (ISP_BAYER_FORMAT_E)

// ---- module switches ------------------------------------------------------------------------
// The module control word the public call writes (only the bits of
// ISP_MODULE_CTRL_MASK, with ISP_MODULE_CTRL_FIXED always set); its first
// byte holds the bypass bits below.
constexpr u32 ISP_MODULE_CTRL_REG = ISP_REG(0x40);
constexpr u32 ISP_MODULE_CTRL_MASK = 0x04C1FB7E;
constexpr u32 ISP_MODULE_CTRL_FIXED = 0x40000;
constexpr u32 ISP_MODULE_BLC_BYPASS = 1u << 1;              // black level bypassed
constexpr u32 ISP_MODULE_PIXEL_DETECT = 1u << 2;            // raw path set up for defect detection
constexpr u32 ISP_MODULE_NR_BYPASS = 1u << 6;               // noise reduction bypassed
constexpr u32 ISP_FSWDR_BYPASS_REG = ISP_REG(0x41);         // u8: bit 7, frame stitching bypassed
constexpr u32 ISP_FSWDR_BYPASS = 1u << 7;
constexpr u32 ISP_FSWDR_PATH_REG = ISP_REG(0x42);           // u8: bit 0, frame stitching path on
constexpr u32 ISP_FSWDR_PATH_ON = 1u << 0;
// Two bytes the kernel's WDR configuration sets per mode.
constexpr u32 ISP_WDR_CFG_REG(u32 i) { return ISP_REG(0x80 + 4 * i); }

// ---- black level ---------------------------------------------------------------------------
// The level subtracted from channel c (R, Gr, Gb, B) is the common level
// plus the channel's offset, on the 12-bit scale.
constexpr u32 ISP_BLC_OFFSET_REG(u32 c) { return ISP_REG(0x140 + 4 * c); }       // u16: offset x 4, bits 2-13
constexpr u32 ISP_BLC_WDR_LONG_REG = ISP_REG(0x170);                              // u16, frame WDR only
constexpr u32 ISP_BLC_WDR_SHORT_REG = ISP_REG(0x174);
constexpr u32 ISP_BLC_WDR_SCALE_REG = ISP_REG(0x178);
constexpr u32 ISP_BLC_COMMON_REG = ISP_REG(0x1A4);                                // u16: level << 4
// The black level the RGB statistics carry (R, G, -, B); the statistics
// means hold 16 x this above the black-level-corrected mean.
constexpr u32 ISP_STAT_BLACK_REG(u32 c) { return ISP_REG(0x2D0 + 4 * c); }        // u16, 12 bits
constexpr u32 ISP_BLC_RESET_LEVEL = 256;

// ---- defect pixels -----------------------------------------------------------------------------
// Dynamic correction takes a pixel for a defect past the threshold plus the
// slope x its surroundings / 1024 and the line threshold; it replaces it past
// the high-pass threshold, else leaves blend / 256 of it (board/sim/picture/picture.h,
// DefectFilter).
constexpr u32 ISP_DP_CTRL_REG = ISP_REG(0x1C0);             // bit 0 green equalisation, bit 2 dynamic correction,
                                                            // bit 6 / 7 static detection of bright / dark pixels
constexpr u32 ISP_DP_CTRL_GE = 1u << 0;
constexpr u32 ISP_DP_CTRL_DYNAMIC = 1u << 2;
constexpr u32 ISP_DP_CTRL_DETECT_BRIGHT = 1u << 6;
constexpr u32 ISP_DP_CTRL_DETECT_DARK = 1u << 7;
constexpr u32 ISP_DP_LINE_THRESH_REG = ISP_REG(0x1B0);       // u16, 12 bits
constexpr u32 ISP_DP_BLEND_REG = ISP_REG(0x1B4);             // u8
constexpr u32 ISP_DP_HP_THRESH_REG = ISP_REG(0x1DC);         // u16, 12 bits
constexpr u32 ISP_GE_STRENGTH_REG = ISP_REG(0x1C4);         // u8
constexpr u32 ISP_DP_THRESH_REG = ISP_REG(0x1CA);           // u16, 12 bits: dynamic threshold, detection threshold
constexpr u32 ISP_DP_SLOPE_REG = ISP_REG(0x1D0);            // u16, 12 bits
constexpr u32 ISP_DP_STATIC_REG = ISP_REG(0x1E8);           // u8: bits below
constexpr u32 ISP_DP_STATIC_LOAD = 1u << 0;                 // table-load strobe
constexpr u32 ISP_DP_STATIC_ENABLE = 1u << 2;               // static correction on
constexpr u32 ISP_DP_STATIC_DETECT = 1u << 3;               // detection mode (calibration)
constexpr u32 ISP_DP_STATIC_GATHER = 1u << 4;               // raised for two frames of each detection trial
constexpr u32 ISP_DP_FOUND_REG = ISP_REG(0x1EC);            // u16, 12 bits: pixels the detection found
constexpr u32 ISP_DP_START_REG = ISP_REG(0x1F0);            // u16, 12 bits: table index of the first found pixel
constexpr u32 ISP_DP_COUNT_REG = ISP_REG(0x1F4);            // u16, 12 bits: static table entries in use
// The static table's port (4096 entries of 24 bits). The index register
// holds 12 bits: a written index keeps its low 12 (4096 is 0 again). A
// write to the write-data register stores its low 24 bits at the index, a
// read of the read-data register gives the entry at the index; each moves
// the index on by one, from 4095 back to 0, so a run of data accesses walks
// the table. Writing the read-data register changes nothing. The port reacts
// to accesses: it works only through the IO accessors (bd_reg_read and
// bd_reg_write), never a plain pointer into the mapping.
constexpr u32 ISP_DP_TABLE_INDEX_REG = ISP_REG(0x850);       // u32: index
constexpr u32 ISP_DP_TABLE_WDATA_REG = ISP_REG(0x854);       // u32: write data
constexpr u32 ISP_DP_TABLE_RDATA_REG = ISP_REG(0x858);       // u32: read data
constexpr u32 ISP_DP_TABLE_SIZE = 4096;
// A table entry: the pixel's position in the image, 12 bits each, so that
// the entries of a table sorted ascending run in raster order.
constexpr u32 ISP_DP_POS(u32 x, u32 y) { return (y & 0xFFF) << 12 | (x & 0xFFF); }

// ---- crosstalk (green equalisation) ---------------------------------------------------------------
constexpr u32 ISP_CR_THRESH_REG = ISP_REG(0x1CC);           // u16, 12 bits
constexpr u32 ISP_CR_SLOPE_REG = ISP_REG(0x1D4);            // u16, 12 bits
constexpr u32 ISP_CR_WEIGHT_REG = ISP_REG(0x1D8);           // u8

// ---- noise reduction -----------------------------------------------------------------------------
// A sigma filter (board/sim/picture/picture.h, NoiseFilter): its threshold at a pixel
// is the short or, below the limit where the frame stitches, the long one,
// times the profile at the pixel's level plus the offset; the filter mode is
// its support, the slope how softly it lets go past the threshold.
constexpr u32 ISP_NR_CTRL_REG = ISP_REG(0x200);             // u8: bit 4 enable
constexpr u32 ISP_NR_CTRL_ENABLE = 1u << 4;
constexpr u32 ISP_NR_THRESH_S_REG = ISP_REG(0x224);         // u8: strength (short-exposure threshold)
constexpr u32 ISP_NR_THRESH_L_REG = ISP_REG(0x228);         // u8
constexpr u32 ISP_NR_CTRL_BIT5 = 1u << 5, ISP_NR_CTRL_BIT6 = 1u << 6; // set at init
constexpr u32 ISP_NR_MODE_REG = ISP_REG(0x201);             // u8
constexpr u32 ISP_NR_WDR_LIMIT_REG = ISP_REG(0x260);        // u16: the WDR set of limit, filter mode, slope
constexpr u32 ISP_NR_WDR_FILTER_REG = ISP_REG(0x264);       // u8
constexpr u32 ISP_NR_WDR_SLOPE_REG = ISP_REG(0x268);        // u8
constexpr u32 ISP_NR_LIMIT_REG = ISP_REG(0x270);            // u16: noise profile limit
constexpr u32 ISP_NR_FILTER_REG = ISP_REG(0x274);           // u8: filter mode (4 linear, 3 WDR)
constexpr u32 ISP_NR_SLOPE_REG = ISP_REG(0x278);            // u8
constexpr u32 ISP_NR_OFFSET_REG = ISP_REG(0x448);           // u8
constexpr u32 ISP_NR_PROFILE_REG(u32 i) { return ISP_REG(0x900 + i); }        // 128 x u8 noise profile
constexpr u32 ISP_NR_PROFILE2_REG(u32 i) { return ISP_REG(0xC00 + i); }       // 128 x u8, the second one

// ---- frame-switch WDR ------------------------------------------------------------------------------
constexpr u32 ISP_FSWDR_CTRL_REG = ISP_REG(0x150);          // u8: bits below
constexpr u32 ISP_FSWDR_CTRL_STITCH = 1u << 0;
constexpr u32 ISP_FSWDR_CTRL_ENABLE = 1u << 1;
constexpr u32 ISP_FSWDR_CTRL_COM_MODE = 1u << 5;
constexpr u32 ISP_FSWDR_CTRL_PATH = 1u << 6;
constexpr u32 ISP_FSWDR_SHORT_REG = ISP_REG(0x152);         // u16, 12 bits
constexpr u32 ISP_FSWDR_LONG_REG = ISP_REG(0x154);          // u16, 12 bits
constexpr u32 ISP_FSWDR_RATIO_REG = ISP_REG(0x15A);         // u16: exposure ratio, 64 = 1x
constexpr u32 ISP_FSWDR_ERR_THRESH_REG = ISP_REG(0x15C);       // u16: stitch error threshold

// ---- front-end gamma (WDR compression) ---------------------------------------------------------------
constexpr u32 ISP_GAMMAFE_CTRL_REG = ISP_REG(0x188);        // u8: bits 0 and 1 enable, bit 3 curve access
constexpr u32 ISP_GAMMAFE_CTRL_ENABLE = 0x3;
constexpr u32 ISP_GAMMAFE_CTRL_READBACK = 1u << 1;
constexpr u32 ISP_GAMMAFE_CTRL_ACCESS = 1u << 3;
constexpr u32 ISP_GAMMAFE_NODE_REG(u32 i) { return ISP_REG(0x3800 + 4 * i); }        // 33 x u32
constexpr u32 ISP_GAMMAFE_TABLE_REG(u32 i) { return ISP_REG(0x2000 + 4 * i); }       // 257 x u32

// ---- white balance and colour ----------------------------------------------------------------------
constexpr u32 ISP_WB_GAIN_REG(u32 c) { return ISP_REG(0x2C0 + 4 * c); }       // u16, 12 bits, 8.8 (R, Gr, Gb, B)
constexpr u32 ISP_CCM_REG(u32 i) { return ISP_REG(0x480 + 4 * i); }           // u16: bit 15 sign, 8.8 magnitude
constexpr u32 ISP_TONE_GAIN_REG(u32 c) { return ISP_REG(0x4A8 + 4 * c); }       // u16, 8.8 (R, G, B cast gains)
constexpr u32 ISP_GAIN_ONE = 0x100;
constexpr u16 ISP_WB_RESET_GAIN[4] = {0x1F0, 0x100, 0x100, 0x1A0};
constexpr u16 ISP_CCM_RESET[9] = {396, 0x8000 | 142, 2, 0x8000 | 89, 443, 0x8000 | 98, 22, 0x8000 | 313, 547};

// ---- white-balance statistics window ------------------------------------------------------------
// The RGB white-balance statistics count only pixels whose luma (10 bits)
// lies within [black, white] and whose R/G and B/G after the gains (8.8)
// lie within [min, max]. Open at reset.
constexpr u32 ISP_AWB_WHITE_REG = ISP_REG(0x640);           // u16, 10 bits
constexpr u32 ISP_AWB_BLACK_REG = ISP_REG(0x644);           // u16, 10 bits
constexpr u32 ISP_AWB_CR_MAX_REG = ISP_REG(0x648);          // u16, 12 bits: R/G
constexpr u32 ISP_AWB_CR_MIN_REG = ISP_REG(0x64C);
constexpr u32 ISP_AWB_CB_MAX_REG = ISP_REG(0x650);          // u16, 12 bits: B/G
constexpr u32 ISP_AWB_CB_MIN_REG = ISP_REG(0x654);
// Four further ratio limits: R/G max and min, B/G max and min; a pixel
// counts only within both windows.
constexpr u32 ISP_AWB_LIMIT_CR_MAX_REG = ISP_REG(0x670);    // u16, 12 bits
constexpr u32 ISP_AWB_LIMIT_CR_MIN_REG = ISP_REG(0x674);
constexpr u32 ISP_AWB_LIMIT_CB_MAX_REG = ISP_REG(0x678);
constexpr u32 ISP_AWB_LIMIT_CB_MIN_REG = ISP_REG(0x67C);
constexpr u32 ISP_AWB_ZONE_COLS_REG = ISP_REG(0x66C);       // u8: the RGB statistics' zones
constexpr u32 ISP_AWB_ZONE_ROWS_REG = ISP_REG(0x66D);       // u8
// The Bayer white-balance statistics' window, on the raw levels before the
// gains: green's raw level (pedestal included) within black and white (12
// bits), the ratios of the levels above black (8.8) within the window and
// the same four further limits; half-words two bytes apart.
constexpr u32 ISP_AWB_BAYER_BLACK_REG = ISP_REG(0x764);
constexpr u32 ISP_AWB_BAYER_WHITE_REG = ISP_REG(0x768);
constexpr u32 ISP_AWB_BAYER_SWITCH_REG = ISP_REG(0x76C);    // u8: bits 1 and 0, the result's switches A and B
constexpr u32 ISP_AWB_BAYER_CR_MAX_REG = ISP_REG(0x770);
constexpr u32 ISP_AWB_BAYER_CR_MIN_REG = ISP_REG(0x772);
constexpr u32 ISP_AWB_BAYER_CB_MAX_REG = ISP_REG(0x774);
constexpr u32 ISP_AWB_BAYER_CB_MIN_REG = ISP_REG(0x776);
constexpr u32 ISP_AWB_BAYER_LIMIT_CR_MAX_REG = ISP_REG(0x778);
constexpr u32 ISP_AWB_BAYER_LIMIT_CR_MIN_REG = ISP_REG(0x77A);
constexpr u32 ISP_AWB_BAYER_LIMIT_CB_MAX_REG = ISP_REG(0x77C);
constexpr u32 ISP_AWB_BAYER_LIMIT_CB_MIN_REG = ISP_REG(0x77E);
constexpr u32 ISP_AWB_BAYER_ZONE_COLS_REG = ISP_REG(0x760); // u8: the Bayer statistics' zones
constexpr u32 ISP_AWB_BAYER_ZONE_ROWS_REG = ISP_REG(0x761); // u8

// ---- exposure statistics settings --------------------------------------------------------------------
// The four metering thresholds that split the luma (8 bits) into the 5-bin
// histograms, the switches that say where in the pipeline each statistic is
// taken (0 after black level and shading, 1 after the white-balance gains,
// 2 after the colour matrix and tone, 3 and above the raw levels), the zone
// weights (15 rows of 17) that weigh each zone in the global histograms
// and means (0 leaves it out), and the metering sub-sampling that picks the
// Bayer channel the statistics read.
constexpr u32 ISP_AE_THRESH_REG(u32 i) { return ISP_REG(0x600 + 4 * i); } // u8, i = 0..3
constexpr u32 ISP_AE_SWITCH_REG = ISP_REG(0x44);            // u8, bits 0-2
constexpr u32 ISP_AE_SUM_SWITCH_REG = ISP_REG(0x50);        // u8
constexpr u32 ISP_AE_HIST_SWITCH_REG = ISP_REG(0x54);       // u8: the 256-bin histogram's
constexpr u32 ISP_AE_WEIGHT_REG(u32 zone) { return ISP_REG(0xA00 + zone); } // u8, 4 bits
constexpr u32 ISP_AE_METERING_REG = ISP_REG(0x6C0);         // u8: bits below
constexpr u32 ISP_AE_METERING_SKIP_X = 0x7u;                // bits 0-2: columns skipped
constexpr u32 ISP_AE_METERING_OFFSET_X = 1u << 3;           // first column odd
constexpr u32 ISP_AE_METERING_SKIP_Y = 0x7u << 4;           // bits 4-6: rows skipped
constexpr u32 ISP_AE_METERING_OFFSET_Y = 1u << 7;           // first row odd

// ---- statistics results ------------------------------------------------------------------------------
// What the statistics block leaves after each frame, zone k = row x 17 +
// column. 5-bin histograms hold bins 0, 1, 3 and 4 as shares of 65535 (bin
// 2 is the rest); a 256-bin count is a 16-bit float (exponent in bits 12-15,
// 12-bit mantissa).
constexpr u32 ISP_AE_HIST5_REG(u32 i) { return ISP_REG(0x720 + 4 * i); }      // u16: bins 0, 1, 3, 4
constexpr u32 ISP_AE_ZONE_HIST5_REG(u32 k) { return ISP_REG(0x8000 + 8 * k); } // two words: bins 0 | 1 << 16, 3 | 4 << 16
constexpr u32 ISP_AE_HIST256_REG(u32 i) { return ISP_REG(0x3C00 + 4 * i); }   // u32, 16 bits used
// White-balance ratios G/R and G/B (8.8) of the counted pixels after the
// gains, and how many were counted (low and high half).
constexpr u32 ISP_AWB_GLOBAL_GR_REG = ISP_REG(0x700);       // u16
constexpr u32 ISP_AWB_GLOBAL_GB_REG = ISP_REG(0x704);       // u16
constexpr u32 ISP_AWB_GLOBAL_COUNT_LO_REG = ISP_REG(0x708); // u16
constexpr u32 ISP_AWB_GLOBAL_COUNT_HI_REG = ISP_REG(0x70C); // u16
constexpr u32 ISP_AWB_ZONE_REG(u32 k) { return ISP_REG(0x9800 + 8 * k); }     // GR | GB << 16, then the count
// RGB means (16 bits, carrying the black level of ISP_STAT_BLACK_REG), the
// pixel count, the darkest and the brightest channel of the zones: i =
// 0..5, R, G, B, count, min, max.
constexpr u32 ISP_RGB_GLOBAL_REG(u32 i) { return ISP_REG(0x740 + 4 * i); }    // u16
constexpr u32 ISP_RGB_ZONE_REG(u32 k) { return ISP_REG(0xA800 + 12 * k); }    // R | G << 16, B | count << 16, max | min << 16
// Bayer ratios R/G and B/G (8.8, 12 bits) before the gains of the Bayer
// window's pixels, and the sum of their green (8 bits).
constexpr u32 ISP_BAYER_GLOBAL_RG_REG = ISP_REG(0x658);     // u16
constexpr u32 ISP_BAYER_GLOBAL_BG_REG = ISP_REG(0x65C);     // u16
constexpr u32 ISP_BAYER_GLOBAL_SUM_REG = ISP_REG(0x660);    // u32
constexpr u32 ISP_BAYER_ZONE_REG(u32 k) { return ISP_REG(0x8800 + 8 * k); }   // RG | BG << 16, then the sum

// ---- focus statistics (video-input block) -------------------------------------------------------------
// Each field lives in a part of its word (the firmware writes them by
// read-modify-write): the switch word (bit 0 enable, bits 1-3 and 4-6 the
// two IIR filters' stages, bit 7 peak mode, bit 8 square mode), the zone
// grid (bits 0-4 columns, 8-12 rows), the IIR gains (filter 0 in bits 0-9,
// filter 1 in bits 16-25; gain 0 8 bits), their shifts (4 bits each, filter
// 1 from bit 16), the FIR taps (6 bits, filter 1 from bit 16), thresholds (11
// bits, filter 1 from bit 16), the accumulation shifts (4 bits each: H0, H1,
// V0, V1, Y) and the window size less one (bits 0-11 and 16-27): the
// window is the image's first columns and rows, the grid divides it.
constexpr u32 VI_AF_REG(u32 off) { return VI_REG(0x2000 + off); }
constexpr u32 VI_AF_CTRL_REG = VI_AF_REG(0x00);
constexpr u32 VI_AF_CTRL_BITS = 0x3FF;                      // what a field write keeps of the switch word
constexpr u32 VI_AF_GRID_REG = VI_AF_REG(0x10);
constexpr u32 VI_AF_IIR_GAIN_REG(u32 k) { return VI_AF_REG(k == 0 ? 0x20 : 0x24 + 4 * (k - 1)); } // k = 0..6
constexpr u32 VI_AF_IIR_SHIFT_REG = VI_AF_REG(0x40);
constexpr u32 VI_AF_FIR_REG(u32 k) { return VI_AF_REG(0x50 + 4 * k); }       // k = 0..4
constexpr u32 VI_AF_IIR_THRESH_REG = VI_AF_REG(0x70);
constexpr u32 VI_AF_FIR_THRESH_REG = VI_AF_REG(0x74);
constexpr u32 VI_AF_ACC_SHIFT_REG = VI_AF_REG(0x78);
constexpr u32 VI_AF_SIZE_REG = VI_AF_REG(0xE0);
// A zone's results, three words: h1 | v1 << 16, h2 | v2 << 16, luma.
constexpr u32 VI_AF_ZONE_REG(u32 k) { return VI_AF_REG(0x100 + 12 * k); }

// ---- the input window -----------------------------------------------------------------------------
// Where the ISP's image starts on the sensor's field (the public attributes' offsets).
constexpr u32 ISP_CROP_X_REG = ISP_REG(0x10C);              // u16
constexpr u32 ISP_CROP_Y_REG = ISP_REG(0x120);              // u16
constexpr u32 ISP_CROP_WIDTH_REG = ISP_REG(0x110);          // u16
constexpr u32 ISP_CROP_HEIGHT_REG = ISP_REG(0x124);         // u16

// ---- lens shading ------------------------------------------------------------------------------------
// A gain per colour channel (R, G, B) that grows with the distance from the
// channel's centre: a pixel at squared distance d2 (image pixels) from it sits
// at node d2 x scale / 2^24 of the channel's 129-node table (interpolated,
// the last node beyond), whose values are gains with 4096 = 1x.
constexpr u32 ISP_SHADING_CTRL_REG = ISP_REG(0x300);        // u8: bit 0 enable, bit 1 table access
constexpr u32 ISP_SHADING_CTRL_ENABLE = 1u << 0;
constexpr u32 ISP_SHADING_CTRL_ACCESS = 1u << 1;
constexpr u32 ISP_SHADING_CENTER_X_REG(u32 c) { return ISP_REG(0x304 + 8 * c); }       // u32, image pixels
constexpr u32 ISP_SHADING_CENTER_Y_REG(u32 c) { return ISP_REG(0x308 + 8 * c); }
constexpr u32 ISP_SHADING_SCALE_REG(u32 c) { return ISP_REG(0x31C + 4 * c); }          // u32: the channel word
constexpr u32 ISP_SHADING_TABLE_REG(u32 c, u32 k) { return ISP_REG(0x1000 + 0x400 * c + 4 * k); }       // u16
constexpr u32 ISP_SHADING_NODES = 129;
constexpr u32 ISP_SHADING_UNITY = 4096;
constexpr u32 ISP_SHADING_SCALE_SHIFT = 24;

// ---- colour management status (video-input block) -----------------------------------------------------
// What the ACM block holds now: bit 31 enable, 30 demo, 29 stretch, 28 clip
// range, 27 clip or wrap, bits 0-7 the CbCr threshold; then the luma, hue
// and saturation gains, 10 bits each at bits 20, 10 and 0.
constexpr u32 VI_ACM_CTRL_REG = VI_REG(0x1400);
constexpr u32 VI_ACM_GAIN_REG = VI_REG(0x1404);

// ---- fixed-pattern-noise correction (video-input block) ------------------------------------------------
// The correction subtracts, column by column, the loaded dark line less the
// offset, scaled by the strength (256 = 1x).
constexpr u32 VI_FPN_CTRL_REG = VI_REG(0x10100);            // bit 0 correction on, bit 8 calibrating
constexpr u32 VI_FPN_CTRL_ON = 1u << 0;
constexpr u32 VI_FPN_CTRL_CALIBRATING = 1u << 8;
constexpr u32 VI_FPN_CFG_REG(u32 i) { return VI_REG(0x10130 + 4 * i); }       // bits 16-31 strength, 0-11 offset
constexpr u32 VI_FPN_STRENGTH_ONE = 256;

// ---- dehaze (video-input block) ---------------------------------------------------------------------------
// The block grid the dark channel is measured on, the filtered dark value of
// each block and the air light the firmware hands back, and the strength.
constexpr u32 VI_DEHAZE_REG(u32 off) { return VI_REG(0x19000 + off); }
constexpr u32 VI_DEHAZE_CTRL_REG = VI_DEHAZE_REG(0x00);      // low byte: enable
constexpr u32 VI_DEHAZE_STRENGTH_WORD_REG = VI_DEHAZE_REG(0x10);
constexpr u32 VI_DEHAZE_BLOCK_SIZE_REG = VI_DEHAZE_REG(0x14); // (height / V - 1) | (width / H - 1) << 16
constexpr u32 VI_DEHAZE_GRID_REG = VI_DEHAZE_REG(0x18);      // (V - 1) | (H - 1) << 16
constexpr u32 VI_DEHAZE_GRID_PACKED_REG = VI_DEHAZE_REG(0x1C); // (V - 1) | (H - 1) << 5
constexpr u32 VI_DEHAZE_H_STEP_REG = VI_DEHAZE_REG(0x20);    // (H << 22) / width
constexpr u32 VI_DEHAZE_V_STEP_REG = VI_DEHAZE_REG(0x24);    // (V << 22) / height
constexpr u32 VI_DEHAZE_AIR_REG = VI_DEHAZE_REG(0x30);       // R << 16 | G << 8 | B, 8-bit linear
constexpr u32 VI_DEHAZE_STRENGTH_REG = VI_DEHAZE_REG(0x38);  // 0..255
constexpr u32 VI_DEHAZE_SIZE_REG = VI_DEHAZE_REG(0xF0);      // (width - 1) | (height - 1) << 16
constexpr u32 VI_DEHAZE_DARK_REG(u32 i) { return VI_DEHAZE_REG(0x200 + 4 * i); } // four blocks a word, first in 24-31
constexpr u32 VI_DEHAZE_MAX_REG(u32 i) { return VI_DEHAZE_REG(0x400 + 4 * i); }  // a block's R, G, B maxima
constexpr u32 VI_DEHAZE_CURVE_REG(u32 i) { return VI_DEHAZE_REG(0x800 + 4 * i); } // 256 entries
constexpr u32 VI_DEHAZE_BLOCKS_MAX = 240;

// ---- dynamic range compression ---------------------------------------------------------------------
// The luma between black and white moves towards the asymmetry curve by the
// strength, the gain held by the slopes (min / 256, 1 + max / 16), the
// detail following by the variance (board/sim/picture/picture.h, ToneCurve).
constexpr u32 ISP_DRC_CTRL_REG = ISP_REG(0x380);            // u8: bit 0 enable
constexpr u32 ISP_DRC_STRENGTH_REG = ISP_REG(0x384);        // u8, from the kernel's sync hand-over
constexpr u32 ISP_DRC_VARIANCE_REG = ISP_REG(0x388);        // u8: bits 0-3 space, 4-7 intensity
constexpr u32 ISP_DRC_SLOPE_MAX_REG = ISP_REG(0x389);       // u8
constexpr u32 ISP_DRC_SLOPE_MIN_REG = ISP_REG(0x38A);       // u8
constexpr u32 ISP_DRC_BLACK_REG = ISP_REG(0x390);           // u16, 12 bits
constexpr u32 ISP_DRC_WHITE_REG = ISP_REG(0x394);           // u16, 12 bits
// The 33-point asymmetry curve, through a port opened by the gamma block's
// access bit (ISP_GAMMA_CTRL_ACCESS).
constexpr u32 ISP_DRC_ASY_INDEX_REG = ISP_REG(0x800);       // u8
constexpr u32 ISP_DRC_ASY_DATA_REG = ISP_REG(0x804);        // u16

// ---- sharpen ---------------------------------------------------------------------------------------
// At edges: detail and undershoot, fading below the luminance threshold;
// the RGB sharpener adds the curve of the bank in use for the edge's step,
// times the RGB strength (board/sim/picture/picture.h, Sharpener).
constexpr u32 ISP_SHARPEN_D_REG = ISP_REG(0x43C);           // u8: detail (overshoot) strength
constexpr u32 ISP_SHARPEN_UD_REG = ISP_REG(0x440);          // u8: undershoot strength
constexpr u32 ISP_SHARPEN_LUM_REG = ISP_REG(0x444);         // u16, 12 bits: luminance threshold
constexpr u32 ISP_SHARPEN_RGB_REG = ISP_REG(0x4D4);         // u8: RGB sharpen strength
constexpr u32 ISP_SHARPEN_RGB_CTRL_REG = ISP_REG(0x4D0);       // u8: bit 0 on, bits 2-3 the curve bank in use
constexpr u32 ISP_SHARPEN_RGB_ON = 1u << 0;
constexpr u32 ISP_SHARPEN_RGB_BANK = 0x3u << 2;
// The RGB sharpening curve: two banks of 256 entries (0..255, 256..511).
constexpr u32 ISP_SHARPEN_RGB_CURVE_REG(u32 i) { return ISP_REG(0x3000 + 4 * i); }

// ---- demosaic and anti false colour -------------------------------------------------------------------
constexpr u32 ISP_DEMOSAIC_VH_SLOPE_REG = ISP_REG(0x400);        // u8 slopes
constexpr u32 ISP_DEMOSAIC_AA_SLOPE_REG = ISP_REG(0x404);
constexpr u32 ISP_DEMOSAIC_VA_SLOPE_REG = ISP_REG(0x408);
constexpr u32 ISP_DEMOSAIC_UU_SLOPE_REG = ISP_REG(0x40C);
constexpr u32 ISP_DEMOSAIC_SAT_SLOPE_REG = ISP_REG(0x410);
constexpr u32 ISP_DEMOSAIC_VH_THRESH_REG = ISP_REG(0x414);       // u16, 12-bit thresholds
constexpr u32 ISP_DEMOSAIC_AA_THRESH_REG = ISP_REG(0x418);
constexpr u32 ISP_DEMOSAIC_VA_THRESH_REG = ISP_REG(0x41C);
constexpr u32 ISP_DEMOSAIC_UU_THRESH_REG = ISP_REG(0x420);
constexpr u32 ISP_DEMOSAIC_SAT_THRESH_REG = ISP_REG(0x424);
constexpr u32 ISP_DEMOSAIC_CFG_REG = ISP_REG(0x44C);             // u8: the configuration as a code
constexpr u32 ISP_DEMOSAIC_AC_THRESH_REG = ISP_REG(0x450);
constexpr u32 ISP_DEMOSAIC_AC_SLOPE_REG = ISP_REG(0x454);        // u8
constexpr u32 ISP_DEMOSAIC_FC_LIMIT_REG = ISP_REG(0x458);        // u16, held at 3008
constexpr u32 ISP_DEMOSAIC_FC_SLOPE_REG = ISP_REG(0x45C);        // u8: anti-false-colour strength

// ---- gamma -------------------------------------------------------------------------------------------
constexpr u32 ISP_GAMMA_CTRL_REG = ISP_REG(0x4C0);          // u8: bit 0 enable, bit 1 table access
constexpr u32 ISP_GAMMA_CTRL_ENABLE = 1u << 0;
constexpr u32 ISP_GAMMA_CTRL_ACCESS = 1u << 1;
constexpr u32 ISP_GAMMA_TABLE_REG(u32 i) { return ISP_REG(0x2800 + 4 * i); }       // 257 x u32, 12-bit values
constexpr double ISP_GAMMA_RESET_POWER = 0.6; // the table at reset: 4095 x (i / 256)^0.6
