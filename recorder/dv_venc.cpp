// The encoder stage: the JPEG photo channel and the recording channel, each
// created from its encoder set and bound from its processing channel, the
// recording channel's rate control and deblocking; and the bit-rate table.
#include "recorder/dv_pipeline.h"

#include "core/pref_record.h"
#include "mpi/common/mpi_steps.h"
#include "mpi/video/sys/mpi_sys.h"

#include <cstdio>
#include <cstring>

KX_DV_VENC_PARAM_S dvVencParam[3];
KX_DV_VENC_S *Setup_DV_Venc = &gsDvConfig.sVenc;
u8 u8vencworkstatus[3];

namespace {

constexpr u32 kVencChnNum = 3;

SIZE_S pic_size(u8 code)
{
    SIZE_S size = {0, 0};
    KX_DV_SYS_GetPicSize(1, code, &size, dvViParam.sParam[0].enRotate & 0xFF);
    return size;
}

VENC_CHN_ATTR_REC_S jpeg_record(const SIZE_S &s)
{
    VENC_CHN_ATTR_REC_S a;
    memset(&a, 0, sizeof a);
    a.enType = PT_JPEG;
    a.stJpeg = {s.u32Width, s.u32Height, s.u32Width * s.u32Height * 2, 1, s.u32Width, s.u32Height, 0, {0, 0}};
    return a;
}

VENC_CHN_ATTR_REC_S stream_record(const KX_DV_VENC_PARAM_S &e, const SIZE_S &s, u32 kbps, u8 sensor_fps)
{
    bool h264 = e.enType == PT_H264;
    bool vbr = e.u8RcMode != PREF_RC_CBR;
    VENC_CHN_ATTR_REC_S a;
    memset(&a, 0, sizeof a);
    a.enType = e.enType;
    const u32 profile = h264 ? (u32)VENC_H264_PROFILE_HIGH : 0u; // H.265: Main
    a.stVideo = {s.u32Width, s.u32Height, s.u32Width * s.u32Height * 2, profile, 1, s.u32Width, s.u32Height, 0, 1};
    VENC_RC_ATTR_S &rc = a.stRcAttr;
    if (vbr)
        rc.enRcMode = h264 ? VENC_RC_MODE_H264VBR : VENC_RC_MODE_H265VBR;
    else
        rc.enRcMode = h264 ? VENC_RC_MODE_H264CBR : VENC_RC_MODE_H265CBR;
    rc.u32Gop = e.u8IPInterval;
    rc.u32StatTime = 1;
    rc.u32SrcFrmRate = sensor_fps;
    rc.u32DstFrmRate = e.u8FrameRate;
    rc.u32BitRate = kbps; // the ceiling of a variable rate
    rc.u32FluctuateLevelOrMaxQp = vbr ? (h264 ? 50 : 40) : 0;
    rc.u32MinQp = vbr ? (h264 ? 20 : 10) : 0;
    return a;
}

// Rate control of the recording channel; failures are only reported.
void tune_rate_control(VENC_CHN chn, bool h264, u8 sensor_fps)
{
    VENC_RC_PARAM_REC_S rc;
    s32 ret = DU_DUZ_VENC_GetRcParam(chn, &rc);
    if (ret != 0)
        printf("DU_DUZ_VENC_GetRcParam err 0x%x\n", ret);
    bool fast = h264 && sensor_fps >= 100;
    u32 *w = rc.au32Word;
    w[25] = 1;
    w[26] = 20;
    w[27] = 51;
    w[28] = fast ? 20 : 10;
    w[29] = 5;
    w[30] = fast ? 2 : 1;
    w[32] = fast ? 20 : 10;
    if (ret == 0 && (ret = DU_DUZ_VENC_SetRcParam(chn, &rc)) != 0)
        printf("DU_DUZ_VENC_SetRcParam err 0x%x\n", ret);
}

// Deblocking 0, 5, 5 on the recording channel's codec; 0 or -1.
template <class Rec>
s32 set_deblocking(VENC_CHN chn, s32 (*get)(VENC_CHN, Rec *), s32 (*set)(VENC_CHN, const Rec *), const char *get_msg,
                   const char *set_msg)
{
    Rec d;
    if (get(chn, &d) != 0) {
        puts(get_msg);
        return -1;
    }
    static_assert(sizeof(Rec) == 12, "filter off flag and two offsets");
    const u32 words[3] = {0, 5, 5};
    memcpy(&d, words, sizeof words);
    if (set(chn, &d) != 0) {
        puts(set_msg);
        return -1;
    }
    return 0;
}

// Low qualities drop frames rather than overshoot the rate.
void arm_frame_lost(VENC_CHN chn)
{
    VENC_FRAME_LOST_REC_S fl;
    if (DU_DUZ_VENC_GetFrameLostStrategy(chn, &fl) != 0)
        return;
    fl.bFrmLostOpen = 1;
    fl.enFrmLostMode = 1;
    fl.u32EncFrmGaps = 1;
    DU_DUZ_VENC_SetFrameLostStrategy(chn, &fl);
}

// What the stage's steps work on: each encoder set's picture size and bit rate.
struct VencStage {
    SIZE_S size[kVencChnNum];
    u32 kbps[kVencChnNum];
    u8 sensor_fps;
};

const KX_DV_VENC_PARAM_S &main_set() { return dvVencParam[1]; }

// A channel that cannot be made reports itself; the stage goes on.
s32 start_photo(VencStage *s)
{
    if (dvVencParam[0].bEnable)
        KX_DV_Venc_Chn_Start(0, jpeg_record(s->size[0]));
    return 0;
}

s32 start_recording(VencStage *s)
{
    const KX_DV_VENC_PARAM_S &main = main_set();
    if (!main.bEnable)
        return 0;
    printf("dst = %d ,src=%d\n", main.u8FrameRate, s->sensor_fps);
    KX_DV_Venc_Chn_Start(1, stream_record(main, s->size[1], s->kbps[1], s->sensor_fps));
    tune_rate_control(1, main.enType == PT_H264, s->sensor_fps);
    return 0;
}

s32 tune_recording(VencStage *)
{
    const KX_DV_VENC_PARAM_S &main = main_set();
    if (!main.bEnable)
        return 0;
    s32 ret = main.enType == PT_H264
                  ? set_deblocking<VENC_H264_DBLK_REC_S>(1, DU_DUZ_VENC_GetH264Dblk, DU_DUZ_VENC_SetH264Dblk,
                                                         "DU_DUZ_VENC_GetH264Dblk failed",
                                                         "DU_DUZ_VENC_SetH264Dblk failed")
                  : set_deblocking<VENC_H265_DBLK_REC_S>(1, DU_DUZ_VENC_GetH265Dblk, DU_DUZ_VENC_SetH265Dblk,
                                                         "DU_DUZ_VENC_GetH265Dblk failed",
                                                         "DU_DUZ_VENC_SetH265Dblk failed");
    if (ret != 0)
        return -1;
    if (main.u8ImageQuality < 2)
        arm_frame_lost(1);
    return 0;
}

template <u32 Chn> void stop_chn(VencStage *) { KX_DV_Venc_Chn_Stop(Chn); }

// A failing step stops the channels made before it, so the caller unwinds
// only the stages before this one. Set 2 describes a secondary stream that
// no channel carries.
const mpi_step<VencStage> kVencSteps[] = {
    {nullptr, start_photo, stop_chn<0>},
    {nullptr, start_recording, stop_chn<1>},
    {nullptr, tune_recording, nullptr},
};

} // namespace

s32 KX_DV_Venc_Run(void)
{
    puts("KX_DV_Venc_Run");
    memcpy(dvVencParam, Setup_DV_Venc->sParam, sizeof dvVencParam);
    memset(u8vencworkstatus, 0, sizeof u8vencworkstatus);
    VencStage stage;
    stage.sensor_fps = dvViParam.sParam[0].u8FrameRate;
    for (u32 i = 0; i < kVencChnNum; i++) {
        const KX_DV_VENC_PARAM_S &e = dvVencParam[i];
        stage.size[i] = pic_size(e.u8Resolution);
        stage.kbps[i] = KX_DV_Get_BitRate(e.u8ImageQuality, e.enType, e.u8Resolution, e.u8FrameRate);
    }
    if (mpi_steps_run(kVencSteps, &stage) != 0)
        return -1;
    printf("%s success\n", "KX_DV_Venc_Run");
    return 0;
}

s32 KX_DV_Venc_Chn_Start(u32 chn, VENC_CHN_ATTR_REC_S attr)
{
    if (!(u32RecModeFlag & DV_STATE_VPSS)) {
        puts("vpss is not run ");
        return -1;
    }
    if (chn >= kVencChnNum)
        return -1;
    u8 &status = u8vencworkstatus[chn];
    if (status == 0) {
        s32 ret = DU_DUZ_VENC_CreateChn((VENC_CHN)chn, &attr);
        if (ret != 0) {
            printf("DU_DUZ_VENC_CreateChn [%d] faild with %#x!\n", chn, ret);
            return ret;
        }
        status = 1;
    }
    if (status == 1)
        status = 2; // receiving is started by the stream thread
    if (status == 2) {
        MPP_CHN_ADDR_S src = {DU_ID_VPSS, 0, (s32)chn}, dst = {DU_ID_VENC, 0, (s32)chn};
        s32 ret = DU_DUZ_SYS_Bind(&src, &dst);
        if (ret != 0) {
            printf("DU_DUZ_SYS_Bind [%d] faild with %#x!\n", chn, ret);
            return -1;
        }
        status = 3;
    }
    return 0;
}

s32 KX_DV_Venc_Chn_Stop(u32 chn)
{
    if (chn >= kVencChnNum)
        return 0;
    u8 &status = u8vencworkstatus[chn];
    if (status == 3) {
        MPP_CHN_ADDR_S src = {DU_ID_VPSS, (s32)(chn / 3), (s32)(chn % 3)}, dst = {DU_ID_VENC, 0, (s32)chn};
        if (DU_DUZ_SYS_UnBind(&src, &dst) != 0) {
            puts("Start Venc failed!");
            return -1;
        }
        status = 2;
    }
    if (status == 2)
        status = 1;
    if (status == 1) {
        s32 ret = DU_DUZ_VENC_DestroyChn((VENC_CHN)chn);
        if (ret != 0) {
            printf("DU_DUZ_VENC_DestroyChn err 0x%x\n", ret);
            return -1;
        }
        status = 0;
    }
    return 0;
}

// ---- bit rates ----------------------------------------------------------------------------

namespace {

// A row of the table: kbit/s by quality 0..7, then every quality above.
struct RateRow {
    u32 type;
    int size;  // 16, 17, or -1 for every other size
    int group; // 120, 60 or 30 frames per second (100, 50, 25 alike)
    u32 kbps[9];
};

constexpr RateRow kRates[] = {
    {PT_H264, 16, 120, {32768, 30720, 28672, 26624, 24576, 16384, 8192, 4096, 32768}},
    {PT_H264, 16, 60, {28672, 24576, 20480, 16384, 12288, 8192, 4096, 2048, 16384}},
    {PT_H264, 16, 30, {16384, 13312, 11264, 9216, 6144, 4096, 2048, 1024, 9216}},
    {PT_H264, 17, 60, {40960, 38912, 35840, 32768, 24576, 16384, 8192, 4096, 32768}},
    {PT_H264, 17, 30, {28672, 24576, 20480, 16384, 12288, 8192, 4096, 2048, 16384}},
    {PT_H264, -1, 120, {28672, 24576, 20480, 16384, 12288, 8192, 4096, 2048, 16384}},
    {PT_H264, -1, 60, {16384, 13312, 11264, 9216, 6144, 4096, 2048, 1024, 9216}},
    {PT_H264, -1, 30, {8192, 7168, 6144, 5120, 3072, 2048, 1024, 512, 5120}},
    {PT_H265, 16, 120, {38912, 32768, 26624, 20480, 16384, 8192, 4096, 2048, 20480}},
    {PT_H265, 16, 60, {21504, 17408, 13312, 10240, 8192, 4096, 2048, 1024, 10240}},
    {PT_H265, 16, 30, {12288, 10240, 8192, 6144, 4096, 2048, 1024, 512, 6144}},
    {PT_H265, 17, 60, {38912, 32768, 26624, 20480, 16384, 8192, 4096, 2048, 20480}},
    {PT_H265, 17, 30, {21504, 17408, 13312, 10240, 8192, 4096, 2048, 1024, 10240}},
    {PT_H265, -1, 120, {21504, 17408, 13312, 10240, 8192, 4096, 2048, 1024, 10240}},
    {PT_H265, -1, 60, {12288, 10240, 8192, 6144, 4096, 2048, 1024, 512, 6144}},
    {PT_H265, -1, 30, {6144, 5120, 4096, 3072, 2048, 1024, 512, 256, 3072}},
};

constexpr u32 kRateMissing = 24576;

int fps_group(u8 fps)
{
    switch (fps) {
    case 120: case 100: return 120;
    case 60: case 50: return 60;
    case 30: case 25: return 30;
    }
    return 0;
}

} // namespace

u32 KX_DV_Get_BitRate(u8 quality, u32 enType, u8 sizeCode, u8 fps)
{
    int size = sizeCode == PIC_HD720 || sizeCode == PIC_HD1080 ? sizeCode : -1;
    int group = fps_group(fps);
    u32 kbps = kRateMissing;
    for (const RateRow &r : kRates)
        if (r.type == enType && r.size == size && r.group == group) {
            kbps = r.kbps[quality > 7 ? 8 : quality];
            break;
        }
    if (fps == 25 || fps == 50 || fps == 100)
        kbps = kbps * 5 / 6;
    if (kbps > 40960)
        kbps = 40960;
    if (kbps < 100)
        kbps = 100;
    return kbps;
}
