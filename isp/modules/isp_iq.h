// What the image-quality modules share: the checks every attribute call
// starts with, the boolean rule of their records, the per-ISO tables they
// keep in ext registers, and the ISP context's values they read each frame.
#pragma once

#include "isp/isp_ctx.h"
#include "isp/isp_hw_regs.h"
#include "isp/isp_math.h"
#include "isp/isp_vreg_fields.h"

// A boolean field of an image-quality record: above 1 is refused on
// standard error after the prefix.
constexpr vreg_check isp_bool_rule()
{
    return refuse_above(1, "Invalid Isp Bool Type %d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE);
}
constexpr vreg_field isp_bool_field(u32 reg, u8 width, vreg_member m, u32 bit)
{
    return vreg_reg(reg, width, m).bits(bit).check(isp_bool_rule());
}

// Device 0, a record, and the registers in place (memory initialised).
inline s32 isp_iq_check(ISP_DEV IspDev, const void *rec, const char *func)
{
    return isp_check_rec_mem(IspDev, rec, func);
}

// The attribute calls of the image-quality unit: the checks, then a record
// that lives wholly in registers stored there (a Set hands a const record)
// or read back (a Get hands its own to fill). No request: the registers are
// memory the unit writes and reads itself.
template <class T> s32 isp_iq_regs(const vreg_table<T> &t, ISP_DEV IspDev, const T *rec, const char *func)
{
    s32 ret = isp_iq_check(IspDev, rec, func);
    return ret != 0 ? ret : vreg_set(t, 0, *rec, func);
}
template <class T> s32 isp_iq_regs(const vreg_table<T> &t, ISP_DEV IspDev, T *rec, const char *func)
{
    s32 ret = isp_iq_check(IspDev, rec, func);
    if (ret == 0)
        vreg_get(t, 0, *rec);
    return ret;
}
// The Get of a record whose tables are read through a port that `access`
// (a bit of the byte register `ctrl`) opens while they are read.
template <class T>
s32 isp_iq_regs_through_port(const vreg_table<T> &t, u32 ctrl, u32 access, ISP_DEV IspDev, T *rec, const char *func)
{
    s32 ret = isp_iq_check(IspDev, rec, func);
    if (ret != 0)
        return ret;
    io_update8(ctrl, 0, access);
    vreg_get(t, 0, *rec);
    io_update8(ctrl, access, 0);
    return 0;
}

// A per-ISO table of 16 bytes in the ext page, at ISO 100 x 2^i.
inline void isp_iso_table_read(u32 ext, u8 out[ISP_ISO_POINTS])
{
    for (u32 i = 0; i < ISP_ISO_POINTS; i++)
        out[i] = (u8)IO_READ8(ext + i);
}
inline void isp_iso_table_write(u32 ext, const u8 in[ISP_ISO_POINTS])
{
    for (u32 i = 0; i < ISP_ISO_POINTS; i++)
        IO_WRITE8(ext + i, in[i]);
}

inline bool isp_is_wdr_mode(u8 mode) { return mode >= WDR_MODE_BUILT_IN && mode <= WDR_MODE_4To1_FRAME_FULL_RATE; }
// The frame modes that stitch two or more exposures (2..10).
inline bool isp_is_stitch_mode(u8 mode) { return mode >= WDR_MODE_2To1_LINE && mode <= WDR_MODE_4To1_FRAME_FULL_RATE; }

// The ISO of the whole chain, as the exposure bridge left it this frame.
inline u32 isp_iso(void) { return g_astIspCtx[0].u32Iso; }
