// The adapter's operations on the processing unit's 3D noise reduction and
// on the encoder's rate control, transform, deblocking and face
// configuration.
#include "sceneauto/du_sceneauto_adpt.h"

#include "mpi/video/venc/mpi_venc.h"
#include "mpi/video/vpss/mpi_vpss.h"
#include "sceneauto/du_sceneauto_adpt_call.h"

using namespace sceneauto_adpt;

// ---- 3D noise reduction -----------------------------------------------------------------

namespace {

using Nr = SCENEAUTO_3DNR_PARAM_S;
#define NR(m) VREG_MEMBER(Nr, m)

// The point in the noise-reduction block: each field's byte, first bit and
// bits (the halfwords at 20 and 24 little-endian). Byte 0 is the block's
// own and stays as read; bytes 26-29 are the block's fixed settings.
// clang-format off
constexpr adpt_field kNrBlockRows[] = {
    //          the point's field         byte                            bit  bits
    adpt_packed(NR(u8Global0),             1,                              0,   8),
    adpt_packed(NR(u8Global1),             2,                              0,   8),
    adpt_packed(NR(au8GroupSel[0]),        3,                              0,   8),
    adpt_packed(NR(au8Strength[0][0]),     4,                              0,   8),
    adpt_packed(NR(au8Strength[1][0]),     5,                              0,   8),
    adpt_packed(NR(au8Strength[2][0]),     6,                              0,   8),
    adpt_packed(NR(au8Strength[3][0]),     7,                              0,   8),
    adpt_packed(NR(au16Thresh[3][0]),      8,                              0,   8),
    adpt_packed(NR(au8GroupSel[1]),        9,                              0,   8),
    adpt_packed(NR(au8Strength[0][1]),     10,                             0,   8),
    adpt_packed(NR(au8Strength[1][1]),     11,                             0,   8),
    adpt_packed(NR(au8Strength[2][1]),     12,                             0,   8),
    adpt_packed(NR(au8Strength[3][1]),     13,                             0,   8),
    adpt_packed(NR(au16Thresh[3][1]),      14,                             0,   8),
    adpt_packed(NR(au8GroupSel[2]),        VPSS_NRV3_TEMPORAL_SHARE_BYTE,  0,   8),
    adpt_packed(NR(au8Strength[0][2]),     16,                             0,   8),
    adpt_packed(NR(au8Strength[1][2]),     17,                             0,   8),
    adpt_packed(NR(au8Strength[2][2]),     18,                             0,   8),
    adpt_packed(NR(au8Strength[3][2]),     VPSS_NRV3_MOTION_BYTE,          0,   8),
    adpt_packed(NR(au16Thresh[2][0]),      20,                             0,   2),
    adpt_packed(NR(au16Thresh[2][1]),      20,                             2,   2),
    adpt_packed(NR(au16Thresh[2][2]),      20,                             4,   2),
    adpt_packed(NR(au16Thresh[3][2]),      20,                             6,   10),
    adpt_packed(NR(au16Thresh[0][0]),      22,                             0,   4),
    adpt_packed(NR(au16Thresh[0][1]),      22,                             4,   4),
    adpt_packed(NR(au16Thresh[0][2]),      23,                             0,   4),
    adpt_packed(NR(u16Global),             23,                             4,   4),
    adpt_packed(NR(au16Thresh[1][0]),      24,                             0,   5),
    adpt_packed(NR(au16Thresh[1][1]),      24,                             5,   5),
    adpt_packed(NR(au16Thresh[1][2]),      24,                             10,  5),
    adpt_packed(NR(u16BlendKey),           24,                             15,  1),
    //                the block's fixed settings
    //                byte  bit  bits  value
    adpt_packed_fixed(26,   0,   8,    3),
    adpt_packed_fixed(27,   0,   1,    1),
    adpt_packed_fixed(27,   1,   1,    0),
    adpt_packed_fixed(27,   2,   5,    12),
    adpt_packed_fixed(27,   7,   1,    1),
    adpt_packed_fixed(28,   0,   8,    16),
    adpt_packed_fixed(29,   0,   8,    255),
};
// clang-format on
constexpr adpt_map<Nr, VPSS_NR_V3_PARAM_REC_S> kNrBlockMap = adpt_map_of<Nr, VPSS_NR_V3_PARAM_REC_S>(kNrBlockRows);

// The point's tail as the group's second parameter block.
constexpr adpt_field kGrpV2Rows[] = {
    adpt_pair(NR(au8GrpByte), adpt_at(0, 1, 2)),  // bytes 0-1
    adpt_pair(NR(au16GrpWord), adpt_at(2, 2, 3)), // halfwords at 2, 4 and 6
    adpt_pair(NR(au8GrpTail), adpt_at(8, 1, 4)),  // bytes 8-11
};
constexpr adpt_map<Nr, VPSS_GRP_PARAM_V2_REC_S> kGrpV2Map = adpt_map_of<Nr, VPSS_GRP_PARAM_V2_REC_S>(kGrpV2Rows);

#undef NR

} // namespace

s32 CommSceneautoSet3DNR(s32 grp, const SCENEAUTO_3DNR_PARAM_S *pst3dnr)
{
    // Each record is set only after it was read, so a failed read writes
    // nothing over the group's other fields; the other steps still run.
    const s32 nr = set_mapped(grp, SCENEAUTO_CALL(DU_DUZ_VPSS_GetNRV3Param), SCENEAUTO_CALL(DU_DUZ_VPSS_SetNRV3Param),
                              kNrBlockMap, pst3dnr);
    const s32 param = get_patch_set<VPSS_GRP_PARAM_REC_S>(
        grp, SCENEAUTO_CALL(DU_DUZ_VPSS_GetGrpParam), SCENEAUTO_CALL(DU_DUZ_VPSS_SetGrpParam),
        [](VPSS_GRP_PARAM_REC_S &r) {
            r.au32Word[0] = 32;
            r.au32Word[1] = 128;
            for (int i = 2; i < 8; i++)
                r.au32Word[i] = 0xFFFFFFFF;
        });
    const s32 v2 = set_mapped(grp, SCENEAUTO_CALL(DU_DUZ_VPSS_GetGrpParamV2),
                              SCENEAUTO_CALL(DU_DUZ_VPSS_SetGrpParamV2), kGrpV2Map, pst3dnr);
    return nr == 0 && param == 0 && v2 == 0 ? 0 : -1;
}

// ---- H.264 transform and deblocking --------------------------------------------------------

s32 CommSceneautoGetH264Trans(s32 chn, u32 *pu32Word)
{
    return get_record<VENC_H264_TRANS_REC_S>(chn, SCENEAUTO_CALL(DU_DUZ_VENC_GetH264Trans),
                                             [pu32Word](const VENC_H264_TRANS_REC_S &t) { *pu32Word = t.au32Word[35]; });
}

s32 CommSceneautoSetH264Trans(s32 chn, u32 u32Word)
{
    return get_patch_set<VENC_H264_TRANS_REC_S>(chn, SCENEAUTO_CALL(DU_DUZ_VENC_GetH264Trans),
                                                SCENEAUTO_CALL(DU_DUZ_VENC_SetH264Trans),
                                                [u32Word](VENC_H264_TRANS_REC_S &t) { t.au32Word[35] = u32Word; });
}

namespace {

using Dblk = SCENEAUTO_H264_DBLK_S;
using DblkRec = VENC_H264_DBLK_REC_S;
constexpr adpt_field kDeblockRows[] = {
    adpt_pair(VREG_MEMBER(Dblk, au32Word[0]), VREG_MEMBER(DblkRec, disable_deblocking_filter_idc)),
    adpt_pair(VREG_MEMBER(Dblk, au32Word[1]), VREG_MEMBER(DblkRec, slice_alpha_c0_offset_div2)),
    adpt_pair(VREG_MEMBER(Dblk, au32Word[2]), VREG_MEMBER(DblkRec, slice_beta_offset_div2)),
};
constexpr adpt_map<Dblk, DblkRec> kDeblockMap = adpt_map_of<Dblk, DblkRec>(kDeblockRows);

} // namespace

s32 CommSceneautoGetH24Deblock(s32 chn, SCENEAUTO_H264_DBLK_S *pstDblk)
{
    return get_mapped(chn, SCENEAUTO_CALL(DU_DUZ_VENC_GetH264Dblk), kDeblockMap, pstDblk);
}

// The tuned deblocking is not applied: the encoder keeps the filter the
// pipeline gave it (the tuning's strongest levels ask for filtering that
// stops at slice edges, which this encoder does not do).
s32 CommSceneautoSetH24Deblock(s32, const SCENEAUTO_H264_DBLK_S *) { return 0; }

// ---- rate control ---------------------------------------------------------------------------

namespace {

// The rate-control modes of a codec: constant and variable bit rate.
struct rc_modes {
    u32 cbr, vbr;
    const char *op; // the operation's name in its line before the set
};
constexpr rc_modes kH264Rc = {1, 2, "CommSceneautoSetH264RcParam"};
constexpr rc_modes kH265Rc = {13, 14, "CommSceneautoSetH265RcParam"};

// The channel's rate-control mode; -1 after the failure line.
s32 rc_mode(s32 chn, u32 *mode)
{
    return get_record<VENC_CHN_ATTR_REC_S>(chn, SCENEAUTO_CALL(DU_DUZ_VENC_GetChnAttr),
                                           [mode](const VENC_CHN_ATTR_REC_S &a) { *mode = a.stRcAttr.enRcMode; });
}

// The word the mode-dependent value sits in.
constexpr u32 mode_word(const rc_modes &m, u32 mode) { return mode == m.cbr ? 29 : 25; }

// The words of every mode; the mode's own word goes beside them.
using Rc = SCENEAUTO_RC_PARAM_S;
using RcRec = VENC_RC_PARAM_REC_S;
constexpr adpt_field kRcRows[] = {
    adpt_pair(VREG_MEMBER(Rc, au32ThreshI), adpt_span(VREG_MEMBER(RcRec, au32Word[0]), 12)),
    adpt_pair(VREG_MEMBER(Rc, au32ThreshP), adpt_span(VREG_MEMBER(RcRec, au32Word[12]), 12)),
    adpt_pair(VREG_MEMBER(Rc, u32Common), VREG_MEMBER(RcRec, au32Word[24])),
};
constexpr adpt_map<Rc, RcRec> kRcMap = adpt_map_of<Rc, RcRec>(kRcRows);

s32 get_rc(s32 chn, const rc_modes &m, SCENEAUTO_RC_PARAM_S *pstRc)
{
    u32 mode = 0;
    if (rc_mode(chn, &mode) != 0)
        return -1;
    if (mode != m.cbr && mode != m.vbr)
        return 0;
    return get_record<VENC_RC_PARAM_REC_S>(chn, SCENEAUTO_CALL(DU_DUZ_VENC_GetRcParam),
                                           [&](const VENC_RC_PARAM_REC_S &r) {
                                               adpt_get(kRcMap, r, *pstRc);
                                               pstRc->u32ModeWord = r.au32Word[mode_word(m, mode)];
                                           });
}

s32 set_rc(s32 chn, const rc_modes &m, const SCENEAUTO_RC_PARAM_S *pstRc)
{
    u32 mode = 0;
    if (rc_mode(chn, &mode) != 0)
        return -1;
    if (mode != m.cbr && mode != m.vbr)
        return 0;
    return get_patch_set<VENC_RC_PARAM_REC_S>(
        chn, SCENEAUTO_CALL(DU_DUZ_VENC_GetRcParam), SCENEAUTO_CALL(DU_DUZ_VENC_SetRcParam),
        [&](VENC_RC_PARAM_REC_S &r) {
            adpt_set(kRcMap, *pstRc, r);
            r.au32Word[mode_word(m, mode)] = pstRc->u32ModeWord;
            printf("%s,DU_DUZ_VENC_SetRcParam\n", m.op);
        });
}

} // namespace

s32 CommSceneautoGetH264RcParam(s32 chn, SCENEAUTO_RC_PARAM_S *pstRc) { return get_rc(chn, kH264Rc, pstRc); }
s32 CommSceneautoSetH264RcParam(s32 chn, const SCENEAUTO_RC_PARAM_S *pstRc) { return set_rc(chn, kH264Rc, pstRc); }
s32 CommSceneautoGetH265RcParam(s32 chn, SCENEAUTO_RC_PARAM_S *pstRc) { return get_rc(chn, kH265Rc, pstRc); }
s32 CommSceneautoSetH265RcParam(s32 chn, const SCENEAUTO_RC_PARAM_S *pstRc) { return set_rc(chn, kH265Rc, pstRc); }

s32 CommSceneautoGetVencAttr(s32 chn, SCENEAUTO_VENC_ATTR_S *pstAttr)
{
    return get_record<VENC_CHN_ATTR_REC_S>(
        chn, SCENEAUTO_CALL(DU_DUZ_VENC_GetChnAttr), [pstAttr](const VENC_CHN_ATTR_REC_S &a) {
            switch (a.stRcAttr.enRcMode) {
            case 1:
            case 2:
            case 4:
                *pstAttr = {0, a.stRcAttr.u32BitRate};
                break;
            case 13:
            case 14:
            case 15:
                *pstAttr = {1, a.stRcAttr.u32BitRate};
                break;
            }
        });
}

bool sceneauto_venc_chn_exists(s32 chn)
{
    VENC_CHN_ATTR_REC_S a;
    return DU_DUZ_VENC_GetChnAttr(chn, &a) != DU_ERR_VENC_UNEXIST;
}

s32 CommSceneautoGetBitrate(s32 chn, u32 *pu32BitRate)
{
    return get_record<VENC_CHN_ATTR_REC_S>(chn, SCENEAUTO_CALL(DU_DUZ_VENC_GetChnAttr),
                                           [pu32BitRate](const VENC_CHN_ATTR_REC_S &a) {
                                               *pu32BitRate = a.stRcAttr.u32BitRate;
                                           });
}

// ---- H.265 face configuration ----------------------------------------------------------------

namespace {

// Each four bytes of the record's first 48 go to every other byte of the
// configuration, downwards from the one listed here.
constexpr u16 kFaceByteRuns[12] = {1262, 1286, 1310, 1263, 1287, 1311, 1279, 1303, 1327, 1271, 1295, 1319};
constexpr u16 kFaceTailWords[18] = {1120, 1124, 1132, 1148, 1140, 1156, 1164, 1180, 1172,
                                    1188, 1196, 1212, 1204, 1220, 1228, 1244, 1236, 1252};

// The face record's fields and where they lie in the encoder's face
// configuration: `size` bytes (1 or 4) at `rec` and at `cfg`.
struct face_rows {
    adpt_field f[48 + 22 + 18] = {};
    size_t n = 0;

    constexpr void add(u16 rec, u16 cfg, u8 size)
    {
        adpt_field &r = f[n++];
        r.engine = {rec, size, false, false, 1};
        r.platform = {cfg, size, false, false, 1};
    }
    constexpr face_rows()
    {
        for (u16 run = 0; run < 12; run++)
            for (u16 i = 0; i < 4; i++)
                add((u16)(run * 4 + i), (u16)(kFaceByteRuns[run] - 2 * i), 1);
        add(48, 1344, 4);
        add(52, 1352, 4);
        for (u16 i = 0; i < 4; i++)
            add((u16)(56 + i), (u16)(1360 + 2 * i), 1);
        add(60, 1368, 4);
        add(64, 1348, 4);
        add(68, 1356, 4);
        for (u16 i = 0; i < 4; i++)
            add((u16)(72 + i), (u16)(1361 + 2 * i), 1);
        add(76, 1372, 4);
        add(80, 1378, 1);
        add(81, 1376, 1);
        add(84, 1328, 4);
        add(88, 1336, 4);
        add(92, 1379, 1);
        add(93, 1377, 1);
        add(96, 1332, 4);
        add(100, 1340, 4);
        for (u16 i = 0; i < 18; i++)
            add((u16)(104 + 4 * i), kFaceTailWords[i], 4);
    }
};
constexpr face_rows kFaceRows;
static_assert(kFaceRows.n == sizeof kFaceRows.f / sizeof kFaceRows.f[0], "every field mapped");
constexpr adpt_map<SCENEAUTO_H265_FACE_S, VENC_FACE_CFG_REC_S> kFaceMap =
    adpt_map_of<SCENEAUTO_H265_FACE_S, VENC_FACE_CFG_REC_S>(kFaceRows.f);

} // namespace

s32 CommSceneautoGetH265FaceCfg(s32 chn, SCENEAUTO_H265_FACE_S *pstFace)
{
    return get_mapped(chn, SCENEAUTO_CALL(DU_DUZ_VENC_GetFaceCfg), kFaceMap, pstFace);
}

s32 CommSceneautoSetH265FaceCfg(s32 chn, const SCENEAUTO_H265_FACE_S *pstFace)
{
    return set_mapped(chn, SCENEAUTO_CALL(DU_DUZ_VENC_GetFaceCfg), SCENEAUTO_CALL(DU_DUZ_VENC_SetFaceCfg), kFaceMap,
                      pstFace);
}
