// The adapter's operations on the processing unit's 3D noise reduction and
// on the encoder's rate control, transform, deblocking and face
// configuration.
#include "sceneauto/du_sceneauto_adpt.h"

#include "mpi/video/venc/mpi_venc.h"
#include "mpi/video/vpss/mpi_vpss.h"
#include "sceneauto/du_sceneauto_adpt_call.h"

#include <cstring>

using namespace sceneauto_adpt;

// ---- 3D noise reduction -----------------------------------------------------------------

namespace {

// A record as its bytes, for the bit-packed blocks (little-endian halfwords).
template <size_t N> struct byte_image {
    u8 b[N];
    u16 h(size_t k) const { return (u16)(b[k] | b[k + 1] << 8); }
    void put_h(size_t k, u16 v)
    {
        b[k] = (u8)v;
        b[k + 1] = (u8)(v >> 8);
    }
};

template <size_t N, class Rec> byte_image<N> bytes_of(const Rec &r)
{
    static_assert(sizeof(Rec) == N, "record size");
    byte_image<N> img;
    memcpy(img.b, &r, N);
    return img;
}

template <size_t N, class Rec> void store_bytes(Rec &r, const byte_image<N> &img)
{
    static_assert(sizeof(Rec) == N, "record size");
    memcpy(&r, img.b, N);
}

// Bytes 1-19 of the noise-reduction block and the point's byte each takes.
constexpr u8 kNrBytes[][2] = {
    {1, 12}, {2, 16}, {3, 13}, {4, 0},  {5, 3},  {6, 6},  {7, 9},  {9, 14}, {10, 1},
    {11, 4}, {12, 7}, {13, 10}, {15, 15}, {16, 2}, {17, 5}, {18, 8}, {19, 11},
};

// The point packed into the block; byte 0 stays as read.
void pack_nr(VPSS_NR_V3_PARAM_REC_S &rec, const SCENEAUTO_3DNR_PARAM_S &point)
{
    const byte_image<66> s = bytes_of<66>(point);
    byte_image<30> blk = bytes_of<30>(rec);
    for (const auto &m : kNrBytes)
        blk.b[m[0]] = s.b[m[1]];
    blk.b[8] = (u8)s.h(40);
    blk.b[14] = (u8)s.h(42);
    blk.put_h(20, (u16)((s.h(34) & 3) | (s.h(36) & 3) << 2 | (s.h(38) & 3) << 4 | (s.h(44) & 0x3FF) << 6));
    blk.b[22] = (u8)((s.h(22) & 15) | (s.h(24) & 15) << 4);
    blk.b[23] = (u8)((s.h(26) & 15) | (s.h(18) & 15) << 4);
    blk.put_h(24, (u16)((s.h(28) & 31) | (s.h(30) & 31) << 5 | (s.h(32) & 31) << 10 | (s.h(20) & 1) << 15));
    blk.b[26] = 3;
    blk.b[27] = 1 | 12 << 2 | 1 << 7;
    blk.b[28] = 16;
    blk.b[29] = 255;
    store_bytes(rec, blk);
}

// Bytes 53-65 of the point as the group's second parameter block: two
// bytes, three halfwords, four bytes.
void pack_grp_v2(VPSS_GRP_PARAM_V2_REC_S &rec, const SCENEAUTO_3DNR_PARAM_S &point)
{
    const byte_image<66> s = bytes_of<66>(point);
    byte_image<12> v2 = bytes_of<12>(rec);
    v2.b[0] = s.b[53];
    v2.b[1] = s.b[54];
    v2.put_h(2, s.h(56));
    v2.put_h(4, s.h(58));
    v2.put_h(6, s.h(60));
    memcpy(&v2.b[8], &s.b[62], 4);
    store_bytes(rec, v2);
}

} // namespace

s32 CommSceneautoSet3DNR(s32 grp, const SCENEAUTO_3DNR_PARAM_S *pst3dnr)
{
    // Each record is set only after it was read, so a failed read writes
    // nothing over the group's other fields; the other steps still run.
    const s32 nr = get_patch_set<VPSS_NR_V3_PARAM_REC_S>(
        grp, SCENEAUTO_CALL(DU_DUZ_VPSS_GetNRV3Param), SCENEAUTO_CALL(DU_DUZ_VPSS_SetNRV3Param),
        [pst3dnr](VPSS_NR_V3_PARAM_REC_S &r) { pack_nr(r, *pst3dnr); });
    const s32 param = get_patch_set<VPSS_GRP_PARAM_REC_S>(
        grp, SCENEAUTO_CALL(DU_DUZ_VPSS_GetGrpParam), SCENEAUTO_CALL(DU_DUZ_VPSS_SetGrpParam),
        [](VPSS_GRP_PARAM_REC_S &r) {
            r.au32Word[0] = 32;
            r.au32Word[1] = 128;
            for (int i = 2; i < 8; i++)
                r.au32Word[i] = 0xFFFFFFFF;
        });
    const s32 v2 = get_patch_set<VPSS_GRP_PARAM_V2_REC_S>(
        grp, SCENEAUTO_CALL(DU_DUZ_VPSS_GetGrpParamV2), SCENEAUTO_CALL(DU_DUZ_VPSS_SetGrpParamV2),
        [pst3dnr](VPSS_GRP_PARAM_V2_REC_S &r) { pack_grp_v2(r, *pst3dnr); });
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
