// The simulated encoder's channel as its records make it: the attribute
// check, the encoder configuration drawn from the attributes, the crop window
// and the coding records, and the checks of the coding records the encoder
// applies.
#include "board/sim/video/venc_chn.h"

namespace sim::venc {

using namespace sim::video;

bool is_video(uint32_t type) { return type == PT_H264 || type == PT_H265; }

void pic_size(const VENC_CHN_ATTR_REC_S &a, uint32_t &w, uint32_t &h)
{
    if (a.enType == PT_JPEG) {
        w = a.stJpeg.u32PicWidth;
        h = a.stJpeg.u32PicHeight;
    } else {
        w = a.stVideo.u32PicWidth;
        h = a.stVideo.u32PicHeight;
    }
}

namespace {

// The channel's rate-control mode; false for one the encoder does not offer.
bool rate_control_of(const VENC_CHN_ATTR_REC_S &a, RateControl &rc)
{
    bool h264 = a.enType == PT_H264;
    u32 mode = a.stRcAttr.enRcMode;
    if (mode == (h264 ? VENC_RC_MODE_H264CBR : VENC_RC_MODE_H265CBR))
        rc = RateControl::cbr;
    else if (mode == (h264 ? VENC_RC_MODE_H264VBR : VENC_RC_MODE_H265VBR))
        rc = RateControl::vbr;
    else if (mode == (h264 ? VENC_RC_MODE_H264FIXQP : VENC_RC_MODE_H265FIXQP))
        rc = RateControl::fixed_qp;
    else
        return false;
    return true;
}

// libx264 codes the I pictures at most 19 below and 39 above the P QP (its
// ratio of I to P quantiser stays within 0.01 to 10), and a P QP of 0 would
// be lossless coding, which none of the channel's profiles has; libx265
// codes any pair.
int check_fixed_qp(bool h264, u32 i_qp, u32 p_qp)
{
    if (i_qp > 51 || p_qp > 51)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (h264 && (p_qp == 0 || i_qp + 19 < p_qp || i_qp > p_qp + 39))
        return DU_ERR_VENC_NOT_SUPPORT;
    return 0;
}

int check_rate_control(const VENC_CHN_ATTR_REC_S &a)
{
    const VENC_RC_ATTR_S &rc = a.stRcAttr;
    RateControl mode;
    if (!rate_control_of(a, mode))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (rc.u32Gop == 0 || rc.u32Gop > 65536)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (rc.u32SrcFrmRate == 0 || rc.u32SrcFrmRate > 240 || rc.u32DstFrmRate == 0 ||
        rc.u32DstFrmRate > rc.u32SrcFrmRate)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (mode == RateControl::fixed_qp) // the QPs hold the rate
        return check_fixed_qp(a.enType == PT_H264, rc.u32FluctuateLevelOrMaxQp, rc.u32MinQp);
    if (rc.u32BitRate < 2 || rc.u32BitRate > 102400)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (mode == RateControl::vbr && (rc.u32FluctuateLevelOrMaxQp > 51 || rc.u32MinQp > rc.u32FluctuateLevelOrMaxQp))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    return 0;
}

} // namespace

int check_attr(const VENC_CHN_ATTR_REC_S &a)
{
    uint32_t w, h;
    pic_size(a, w, h);
    if (a.enType != PT_JPEG && !is_video(a.enType))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (w < 64 || h < 64 || w > 4096 || h > 4096 || (w & 1) || (h & 1))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    uint32_t mw = a.stVideo.u32MaxPicWidth, mh = a.stVideo.u32MaxPicHeight;
    if (w > mw || h > mh)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (a.stVideo.u32BufSize < w * h / 2 || a.stVideo.u32BufSize > 64u << 20)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (!is_video(a.enType))
        return 0;
    u32 most_profile = a.enType == PT_H264 ? (u32)VENC_H264_PROFILE_HIGH : 0u;
    if (a.stVideo.u32BFrameNum != 0 || a.stVideo.u32Profile > most_profile)
        return DU_ERR_VENC_NOT_SUPPORT;
    return check_rate_control(a);
}

// What the codecs write before any VUI record is set: x264 states ticks of
// half a picture, x265 whole pictures.
VENC_H264_VUI_REC_S default_h264_vui(const VencChn &c)
{
    uint32_t fps = c.attr.stRcAttr.u32DstFrmRate;
    return {1, 1, 2 * fps, 1, 0, 0, 0, 2, 2, 2};
}

VENC_H265_TIMING_REC_S default_h265_timing(const VencChn &c) { return {1, 1, c.attr.stRcAttr.u32DstFrmRate, 0}; }

// Main and High code CABAC unless told otherwise; Baseline has none.
VENC_H264_ENTROPY_REC_S default_h264_entropy(const VencChn &c)
{
    u32 cabac = c.attr.stVideo.u32Profile != VENC_H264_PROFILE_BASELINE;
    return {cabac, cabac, 0, 0};
}

bool crop_fits(const VENC_CHN_ATTR_REC_S &a, const VENC_CROP_REC_S &r)
{
    uint32_t w, h;
    pic_size(a, w, h);
    return r.s32X >= 0 && r.s32Y >= 0 && !(r.s32X & 1) && !(r.s32Y & 1) && r.u32Width >= 64 && r.u32Height >= 64 &&
           !(r.u32Width & 1) && !(r.u32Height & 1) && (uint64_t)r.s32X + r.u32Width <= w &&
           (uint64_t)r.s32Y + r.u32Height <= h;
}

VENC_CROP_REC_S active_crop(const VencChn &c)
{
    VENC_CROP_REC_S crop = record_of<VENC_CROP_REC_S>(c, VENC_SET_Crop_CTRL);
    crop.bEnable = crop.bEnable && crop_fits(c.attr, crop);
    return crop;
}

namespace {

void h264_tools(const VencChn &c, EncoderConfig &cfg)
{
    VENC_H264_ENTROPY_REC_S e = record_of(c, VENC_SET_H264Entropy_CTRL, default_h264_entropy(c));
    cfg.cabac = e.u32EntropyModeI == 1;
    u32 profile = c.attr.stVideo.u32Profile;
    cfg.profile = profile == VENC_H264_PROFILE_BASELINE ? Profile::baseline
                  : profile == VENC_H264_PROFILE_MAIN   ? Profile::main
                                                        : Profile::high;
    cfg.intra_refresh = record_of<VENC_INTRA_REFRESH_REC_S>(c, VENC_SET_IntraRefresh_CTRL).bRefreshEnable == 1;
    VENC_H264_DBLK_REC_S d = record_of<VENC_H264_DBLK_REC_S>(c, VENC_SET_H264Dblk_CTRL);
    cfg.deblock = d.disable_deblocking_filter_idc == 0;
    cfg.deblock_a = d.slice_alpha_c0_offset_div2;
    cfg.deblock_b = d.slice_beta_offset_div2;
    VENC_H264_SLICE_SPLIT_REC_S sl = record_of<VENC_H264_SLICE_SPLIT_REC_S>(c, VENC_SET_H264SliceSplit_CTRL);
    if (sl.bSplitEnable)
        (sl.u32SplitMode == VENC_SLICE_SPLIT_ROWS ? cfg.slice_rows : cfg.slice_bytes) = sl.u32SliceSize;
    if (!c.store.count(VENC_SET_H264Vui_CTRL))
        return;
    VENC_H264_VUI_REC_S v = record_of<VENC_H264_VUI_REC_S>(c, VENC_SET_H264Vui_CTRL);
    cfg.vui.num_units_in_tick = v.num_units_in_tick;
    cfg.vui.time_scale = v.time_scale;
    if (v.video_signal_type_present_flag)
        cfg.vui.full_range = (int)v.video_full_range_flag;
    if (v.colour_description_present_flag) {
        cfg.vui.colour_primaries = v.colour_primaries;
        cfg.vui.transfer = v.transfer_characteristics;
        cfg.vui.matrix = v.matrix_coefficients;
    }
}

void h265_tools(const VencChn &c, EncoderConfig &cfg)
{
    VENC_H265_DBLK_REC_S d = record_of<VENC_H265_DBLK_REC_S>(c, VENC_SET_H265Dblk_CTRL);
    cfg.deblock = !d.slice_deblocking_filter_disabled_flag;
    cfg.deblock_a = d.slice_tc_offset_div2;
    cfg.deblock_b = d.slice_beta_offset_div2;
    VENC_H265_SLICE_SPLIT_REC_S sl = record_of<VENC_H265_SLICE_SPLIT_REC_S>(c, VENC_SET_H265SliceSplit_CTRL);
    if (sl.bSplitEnable)
        cfg.slice_rows = sl.u32SliceSize;
    if (!c.store.count(VENC_SET_H265Timing_CTRL))
        return;
    VENC_H265_TIMING_REC_S t = record_of<VENC_H265_TIMING_REC_S>(c, VENC_SET_H265Timing_CTRL);
    cfg.vui.num_units_in_tick = t.num_units_in_tick;
    cfg.vui.time_scale = t.time_scale;
    if (t.u32NumTicksPocDiffOne)
        cfg.vui.num_ticks_poc_diff_one = (int)t.u32NumTicksPocDiffOne;
}

} // namespace

EncoderConfig encoder_config(const VencChn &c)
{
    const VENC_CHN_ATTR_REC_S &a = c.attr;
    EncoderConfig cfg;
    pic_size(a, cfg.width, cfg.height);
    VENC_CROP_REC_S crop = active_crop(c);
    if (crop.bEnable) {
        cfg.width = crop.u32Width;
        cfg.height = crop.u32Height;
    }
    if (a.enType == PT_JPEG) {
        cfg.codec = Codec::jpeg;
        return cfg;
    }
    const VENC_RC_ATTR_S &rc = a.stRcAttr;
    cfg.codec = a.enType == PT_H264 ? Codec::h264 : Codec::h265;
    cfg.gop = rc.u32Gop;
    rate_control_of(a, cfg.rc);
    cfg.kbps = rc.u32BitRate;
    if (cfg.rc == RateControl::vbr) {
        cfg.max_qp = rc.u32FluctuateLevelOrMaxQp;
        cfg.min_qp = rc.u32MinQp;
    } else if (cfg.rc == RateControl::fixed_qp) {
        cfg.i_qp = rc.u32FluctuateLevelOrMaxQp;
        cfg.p_qp = rc.u32MinQp;
    }
    cfg.fps = rc.u32DstFrmRate;
    if (cfg.codec == Codec::h264)
        h264_tools(c, cfg);
    else
        h265_tools(c, cfg);
    return cfg;
}

// ---- coding records the encoder applies ------------------------------------------------------

namespace {

bool is_h264(const VencChn &c) { return c.attr.enType == PT_H264; }
bool is_h265(const VencChn &c) { return c.attr.enType == PT_H265; }
bool offset_ok(int32_t v) { return v >= -6 && v <= 6; }

int check_slices(u32 enable, u32 mode, u32 size, bool by_bytes)
{
    if (enable > 1 || (enable && size == 0))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (!enable || mode == VENC_SLICE_SPLIT_ROWS)
        return 0;
    if (mode == VENC_SLICE_SPLIT_BYTES)
        return by_bytes ? 0 : DU_ERR_VENC_NOT_SUPPORT;
    return DU_ERR_VENC_ILLEGAL_PARAM;
}

} // namespace

int check_h264_entropy(const VencChn &c, const VENC_H264_ENTROPY_REC_S &r)
{
    if (!is_h264(c))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (r.u32EntropyModeI > 1 || r.u32EntropyModeP > 1 || r.bCabacStuffing > 1 || r.u32CabacInitIdc > 2)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    // One entropy coder for the whole stream, and the baseline profile has
    // no CABAC; libx264 codes with the first CABAC table and no stuffing.
    if (r.u32EntropyModeI != r.u32EntropyModeP || (r.u32EntropyModeI && c.attr.stVideo.u32Profile == 0))
        return DU_ERR_VENC_NOT_SUPPORT;
    return r.bCabacStuffing || r.u32CabacInitIdc ? DU_ERR_VENC_NOT_SUPPORT : 0;
}

int check_h264_dblk(const VencChn &c, const VENC_H264_DBLK_REC_S &r)
{
    if (!is_h264(c))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (r.disable_deblocking_filter_idc > 2 || !offset_ok(r.slice_alpha_c0_offset_div2) ||
        !offset_ok(r.slice_beta_offset_div2))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    // Filtering that stops at slice edges (2) is beyond this encoder.
    return r.disable_deblocking_filter_idc == 2 ? DU_ERR_VENC_NOT_SUPPORT : 0;
}

int check_h264_slices(const VencChn &c, const VENC_H264_SLICE_SPLIT_REC_S &r)
{
    return is_h264(c) ? check_slices(r.bSplitEnable, r.u32SplitMode, r.u32SliceSize, true) : DU_ERR_VENC_NOT_SUPPORT;
}

int check_h265_slices(const VencChn &c, const VENC_H265_SLICE_SPLIT_REC_S &r)
{
    return is_h265(c) ? check_slices(r.bSplitEnable, r.u32SplitMode, r.u32SliceSize, false)
                      : DU_ERR_VENC_NOT_SUPPORT;
}

int check_h264_vui(const VencChn &c, const VENC_H264_VUI_REC_S &r)
{
    if (!is_h264(c))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (r.timing_info_present_flag > 1 || r.fixed_frame_rate_flag > 1 || r.video_signal_type_present_flag > 1 ||
        r.video_full_range_flag > 1 || r.colour_description_present_flag > 1)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    // The colour description is part of the video signal type.
    if (r.colour_description_present_flag && !r.video_signal_type_present_flag)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    // The encoder always states its timing, at a fixed rate (x264 has no
    // other way).
    if (!r.timing_info_present_flag || !r.fixed_frame_rate_flag)
        return DU_ERR_VENC_NOT_SUPPORT;
    return r.num_units_in_tick && r.time_scale && r.time_scale <= INT32_MAX && r.num_units_in_tick <= INT32_MAX
               ? 0
               : DU_ERR_VENC_ILLEGAL_PARAM;
}

int check_h265_dblk(const VencChn &c, const VENC_H265_DBLK_REC_S &r)
{
    if (!is_h265(c))
        return DU_ERR_VENC_NOT_SUPPORT;
    return r.slice_deblocking_filter_disabled_flag > 1 || !offset_ok(r.slice_beta_offset_div2) ||
                   !offset_ok(r.slice_tc_offset_div2)
               ? DU_ERR_VENC_ILLEGAL_PARAM
               : 0;
}

int check_h265_timing(const VencChn &c, const VENC_H265_TIMING_REC_S &r)
{
    if (!is_h265(c))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (r.timing_info_present_flag > 1 || r.u32NumTicksPocDiffOne > INT32_MAX)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    // The encoder always states its timing (x265 without it writes a
    // sequence parameter set readers stumble over).
    if (!r.timing_info_present_flag)
        return DU_ERR_VENC_NOT_SUPPORT;
    return r.num_units_in_tick && r.time_scale && r.time_scale <= INT32_MAX && r.num_units_in_tick <= INT32_MAX
               ? 0
               : DU_ERR_VENC_ILLEGAL_PARAM;
}

int check_intra_refresh(const VencChn &c, const VENC_INTRA_REFRESH_REC_S &r)
{
    if (r.bRefreshEnable > 1 || r.bISliceEnable > 1)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (!r.bRefreshEnable)
        return 0;
    // libx264's wave of intra macroblocks, one per group of pictures, is the
    // refresh this encoder has: it codes every slice of a picture with one
    // type (no I slices among P slices), and chooses the wave's width itself.
    // libx265 marks no recovery point where its wave starts.
    if (!is_h264(c) || r.bISliceEnable || r.au32Word[0] || r.au32Word[1])
        return DU_ERR_VENC_NOT_SUPPORT;
    return 0;
}

int check_crop(const VencChn &c, const VENC_CROP_REC_S &r)
{
    return r.bEnable > 1 || (r.bEnable && !crop_fits(c.attr, r)) ? DU_ERR_VENC_ILLEGAL_PARAM : 0;
}

int check_grey(const VencChn &, const VENC_COLOR2GREY_REC_S &r)
{
    return r.bColor2Grey > 1 ? DU_ERR_VENC_ILLEGAL_PARAM : 0;
}

} // namespace sim::venc
