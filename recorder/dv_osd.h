// The date stamp: two threads, one for the encoder and one for the TV output,
// each owning an overlay region into whose canvas it draws the local time
// once a second with a built-in 10x16 font.
#pragma once

#include "mpi/common/mpi_common.h"

#include <atomic>
#include <ctime>

// 13 glyphs ("0".."9", ":", "-", blank) of 16 rows of 10 ARGB1555 pixels.
constexpr u32 OSD_GLYPH_W = 10, OSD_GLYPH_H = 16, OSD_GLYPH_NUM = 13;
extern const u16 (&FONT_LIBRARY_W10H16_T)[OSD_GLYPH_NUM][OSD_GLYPH_H][OSD_GLYPH_W];

// The same 13 glyphs at 24 x 36 as one-bit rows: 36 rows of 3 bytes, the
// leftmost pixel of each byte in bit 0. Only the spare renderer draws them.
constexpr u32 OSD_GLYPH24_W = 24, OSD_GLYPH24_H = 36, OSD_GLYPH24_ROW_BYTES = 3;
constexpr u32 OSD_GLYPH24_BYTES = OSD_GLYPH24_H * OSD_GLYPH24_ROW_BYTES; // 108
extern const u8 (&FONT_LIBRARY_W24H36_T)[OSD_GLYPH_NUM][OSD_GLYPH24_BYTES];

constexpr u32 OSD_VENC_HANDLE = 3;
constexpr u32 OSD_VO_HANDLE = 4;
constexpr u32 OSD_TEXT_LEN = 19; // "YYYY-MM-DD=hh:mm:ss"

// Run flags of the encoder's and the TV's stamp threads: set by the start
// and cleared by the stop (handler thread; the stop under the thread's wake
// lock), cleared by the thread when it fails; read by the thread. Atomic.
extern std::atomic<u32> g_main_venc_osd_run;
extern std::atomic<u32> g_vo_osd_run;

// Start and stop the encoder's and the TV's stamp threads. A stop of a
// thread that is not running returns 0 at once; one that ended by itself is
// joined.
s32 KX_MainVencOsdThreadRun(void);
s32 KX_DV_StopMainVencOsdThread(void);
s32 KX_VoOsdThreadRun(void);
s32 KX_DV_StopVoOsdThread(void);

// target "vo" (processing channel 2) or "venc" (the recording encoder in
// the record modes, else the photo encoder); 0 or the failing status.
s32 CreateOSDRegion(const char *target, u32 handle, u32 x, u32 y, u32 char_w, u32 char_h, u32 char_num);
s32 DestroyOSDRegion(u32 handle);
// Draws `len` characters into the region's canvas and shows it.
s32 LoadDataToRegion_Osd(u32 handle, const char *text, u32 len, u32 char_w);

s32 Load10X16Canvas_2_Test(u32 x_bytes, u8 *canvas, u32 stride, const u16 (*glyph)[OSD_GLYPH_W]);
u32 AnalyPointIndex(char c);
void point_to_array(u8 byte, u8 *out, u32 n);
// The spare renderer: glyph `glyph` (an AnalyPointIndex) of the 24x36 font
// into an ARGB1555 canvas; 0, or -1 for a canvas too narrow or a glyph the
// font lacks.
s32 LoadBMPCanvas_2_Test(u32 x_bytes, u8 *canvas, u32 stride, u32 glyph);

// The text of the local time `t` by the date format preference (0 Y-M-D,
// 1 D-M-Y, else M-D-Y), date and time joined by "=".
void osd_format_time(time_t t, s32 date_format, char out[OSD_TEXT_LEN + 1]);
// Where the encoder's stamp goes in its picture, by gsDvConfig.
void osd_venc_position(u32 *x, u32 *y);
