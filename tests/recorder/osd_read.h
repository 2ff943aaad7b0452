// Test helper: reads the date stamp back from a picture's luma plane, cell by
// cell against the stamp's own font, so a test can say which text a picture
// shows and how clearly it stands out.
#pragma once

#include "recorder/dv_osd.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace osdtest {

struct Reading {
    std::string text;     // digits, ':' and '-', blank cells as ' '
    double ink = 0;       // mean luma of the cells' ink pixels
    double paper = 0;     // ... and of the rest
    int mismatched = 0;   // pixels that differ from the best glyphs
};

inline bool ink_at(u32 glyph, u32 row, u32 col) { return FONT_LIBRARY_W10H16_T[glyph][row][col] & 0x8000; }

// The `n` cells of 10x16 pixels from (x, y): each binarised halfway between
// the darkest and brightest pixel of the stamp and taken as its nearest glyph.
// With `paper_row` (the picture's row just above the stamp, for a stamp over
// a background that changes across but not down, such as colour bars) each
// pixel is binarised halfway between the paper of its column and the
// brightest pixel.
inline Reading read_stamp(const uint8_t *luma, int stride, int x, int y, int n = (int)OSD_TEXT_LEN,
                          const uint8_t *paper_row = nullptr)
{
    const char names[] = "0123456789:- ";
    auto at = [&](int cell, u32 r, u32 c) { return luma[(size_t)(y + r) * stride + x + cell * OSD_GLYPH_W + c]; };
    int lo = 255, hi = 0;
    for (int i = 0; i < n; i++)
        for (u32 r = 0; r < OSD_GLYPH_H; r++)
            for (u32 c = 0; c < OSD_GLYPH_W; c++) {
                lo = std::min<int>(lo, at(i, r, c));
                hi = std::max<int>(hi, at(i, r, c));
            }
    auto mid_at = [&](int cell, u32 c) {
        return paper_row ? (paper_row[x + cell * OSD_GLYPH_W + c] + hi) / 2 : (lo + hi) / 2;
    };
    Reading out;
    double ink_sum = 0, paper_sum = 0;
    long ink_n = 0, paper_n = 0;
    for (int i = 0; i < n; i++) {
        u32 best = 0;
        int best_miss = 1 << 30;
        for (u32 g = 0; g < OSD_GLYPH_NUM; g++) {
            int miss = 0;
            for (u32 r = 0; r < OSD_GLYPH_H; r++)
                for (u32 c = 0; c < OSD_GLYPH_W; c++)
                    miss += (at(i, r, c) > mid_at(i, c)) != ink_at(g, r, c);
            if (miss < best_miss) {
                best_miss = miss;
                best = g;
            }
        }
        out.text += names[best];
        out.mismatched += best_miss;
        for (u32 r = 0; r < OSD_GLYPH_H; r++)
            for (u32 c = 0; c < OSD_GLYPH_W; c++) {
                if (ink_at(best, r, c))
                    ink_sum += at(i, r, c), ink_n++;
                else
                    paper_sum += at(i, r, c), paper_n++;
            }
    }
    out.ink = ink_n ? ink_sum / ink_n : 0;
    out.paper = paper_n ? paper_sum / paper_n : 0;
    return out;
}

} // namespace osdtest
