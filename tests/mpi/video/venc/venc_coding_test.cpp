// The coding records reach the stream: each record set on a channel before it
// starts shows in the parameter sets and slice headers of what it records,
// read back with FFmpeg's trace_headers filter, or in the decoded pictures.
#include "mpi/video/venc/venc_requests.h"
#include "tests/mpi/video/stream_syntax.h"
#include "tests/mpi/video/video_pipeline.h"
#include "tests/support/board_fixture.h"

#include <algorithm>
#include <functional>

using namespace videotest;
using syntaxtest::Element;
using syntaxtest::every;

namespace {

constexpr int kWidth = 320, kHeight = 240, kGop = 10, kPictures = 12;

class VencCoding : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        start_vi(1280, 720, 30);
        start_vpss(1, kWidth, kHeight);
    }
    void TearDown() override
    {
        drop_channel();
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_VI_DisableChn(0);
        DU_DUZ_VI_DisableDev(0);
        DU_DUZ_SYS_Exit();
    }

    void drop_channel()
    {
        DU_DUZ_VENC_StopRecvPic(1);
        MPP_CHN_ADDR_S src = {DU_ID_VPSS, 0, 1}, dst = {DU_ID_VENC, 0, 1};
        DU_DUZ_SYS_UnBind(&src, &dst);
        DU_DUZ_VENC_DestroyChn(1);
    }

    static VENC_CHN_ATTR_REC_S attr(uint32_t type) { return video_attr(type, kWidth, kHeight, kGop, 1024, 30, 30); }
};

AVCodecID codec_of(uint32_t type) { return type == PT_H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC; }

// Every pack's elements.
std::vector<std::vector<Element>> traced(uint32_t type, const std::vector<Pack> &packs)
{
    std::vector<std::vector<uint8_t>> aus;
    for (const Pack &p : packs)
        aus.push_back(p.bytes);
    return syntaxtest::trace(codec_of(type), aus);
}

// The values of `name` in every pack, one after the other.
std::vector<int64_t> all_values(const std::vector<std::vector<Element>> &aus, const std::string &name)
{
    std::vector<int64_t> v;
    for (const auto &au : aus) {
        std::vector<int64_t> one = syntaxtest::values(au, name);
        v.insert(v.end(), one.begin(), one.end());
    }
    return v;
}

// Whether `name` appears and always holds `want`.
::testing::AssertionResult always(const std::vector<std::vector<Element>> &aus, const std::string &name,
                                  int64_t want)
{
    std::vector<int64_t> v = all_values(aus, name);
    if (v.empty())
        return ::testing::AssertionFailure() << name << " never appears";
    for (int64_t x : v)
        if (x != want)
            return ::testing::AssertionFailure() << name << " is " << x << ", not " << want;
    return ::testing::AssertionSuccess();
}

// Whether `name` never holds `value`.
::testing::AssertionResult never(const std::vector<std::vector<Element>> &aus, const std::string &name, int64_t value)
{
    for (int64_t x : all_values(aus, name))
        if (x == value)
            return ::testing::AssertionFailure() << name << " is " << value;
    return ::testing::AssertionSuccess();
}

// Slices of each picture: every slice header counts.
std::vector<size_t> slices_per_picture(const std::vector<std::vector<Element>> &aus, uint32_t type)
{
    std::vector<size_t> n;
    for (const auto &au : aus)
        n.push_back(syntaxtest::sections(au, type == PT_H264 ? "Slice Header" : "Slice Segment Header"));
    return n;
}

// The slices' QP: the picture parameter set's initial QP (H.264
// pic_init_qp_minus26, H.265 init_qp_minus26) plus each slice's
// slice_qp_delta, plus 26.
std::vector<int64_t> slice_qps(const std::vector<std::vector<Element>> &aus)
{
    std::vector<int64_t> qps;
    int64_t init = 0;
    for (const auto &au : aus)
        for (const Element &e : au) {
            if (e.name == "pic_init_qp_minus26" || e.name == "init_qp_minus26")
                init = e.value;
            if (e.name == "slice_qp_delta")
                qps.push_back(26 + init + e.value);
        }
    return qps;
}

// The QP of the I slices and of the P slices, each the one value its slices
// all have (-1 when they differ or there are none).
struct IpQp {
    int64_t i = -1, p = -1;
};
IpQp ip_qps(uint32_t type, const std::vector<std::vector<Element>> &aus)
{
    IpQp out;
    bool i_differs = false, p_differs = false;
    std::vector<int64_t> qps = slice_qps(aus), types = all_values(aus, "slice_type");
    EXPECT_EQ(qps.size(), types.size());
    for (size_t k = 0; k < std::min(qps.size(), types.size()); k++) {
        // H.264 slice types 2 and 7 are I, 0 and 5 P; H.265 2 is I, 1 P.
        bool intra = type == PT_H264 ? types[k] % 5 == 2 : types[k] == 2;
        int64_t &qp = intra ? out.i : out.p;
        bool &differs = intra ? i_differs : p_differs;
        differs = differs || (qp >= 0 && qp != qps[k]);
        qp = qps[k];
    }
    return {i_differs ? -1 : out.i, p_differs ? -1 : out.p};
}

// Fixed-QP rate control at these I and P QPs (the bit rate means nothing).
std::function<void(VENC_CHN_ATTR_REC_S &)> fixed_qp(u32 i_qp, u32 p_qp)
{
    return [=](VENC_CHN_ATTR_REC_S &a) {
        a.stRcAttr.enRcMode = a.enType == PT_H264 ? VENC_RC_MODE_H264FIXQP : VENC_RC_MODE_H265FIXQP;
        a.stRcAttr.u32FluctuateLevelOrMaxQp = i_qp;
        a.stRcAttr.u32MinQp = p_qp;
        a.stRcAttr.u32BitRate = 0;
    };
}

// The check that every I slice has `i_qp` and every P slice `p_qp`.
std::function<void(const std::vector<Pack> &, const std::vector<std::vector<Element>> &)>
coded_at(uint32_t type, int64_t i_qp, int64_t p_qp)
{
    return [=](const std::vector<Pack> &, const std::vector<std::vector<Element>> &aus) {
        IpQp qp = ip_qps(type, aus);
        EXPECT_EQ(i_qp, qp.i);
        EXPECT_EQ(p_qp, qp.p);
    };
}

// Whether each picture carries a recovery point (an SEI message of type 6).
std::vector<bool> recovery_points(const std::vector<std::vector<Element>> &aus)
{
    std::vector<bool> out;
    for (const auto &au : aus)
        out.push_back(!syntaxtest::values(au, "recovery_frame_cnt").empty());
    return out;
}

// The length of each H.264 slice NAL unit of a pack, its header included.
std::vector<size_t> slice_lengths(const Pack &p)
{
    const std::vector<uint8_t> &b = p.bytes;
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= b.size(); i++)
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) {
            i += 2;
            starts.push_back(i + 1);
        }
    std::vector<size_t> out;
    for (size_t k = 0; k < starts.size(); k++) {
        size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : b.size();
        while (end > starts[k] && b[end - 1] == 0) // a four-byte start code's zero
            end--;
        int type = b[starts[k]] & 0x1f;
        if (type == 1 || type == 5)
            out.push_back(end - starts[k]);
    }
    return out;
}

struct Decoded {
    int pictures = 0, width = 0, height = 0;
    int chroma_off = 0; // the largest distance of a chroma sample from 128
};

Decoded decoded(uint32_t type, const std::vector<Pack> &packs)
{
    Decoded d;
    d.pictures = decode(type == PT_H264 ? "h264" : "hevc", packs, &d.width, &d.height, [&](const AVFrame *f) {
        for (int plane = 1; plane < 3; plane++)
            for (int y = 0; y < f->height / 2; y++)
                for (int x = 0; x < f->width / 2; x++)
                    d.chroma_off = std::max(d.chroma_off, std::abs(f->data[plane][y * f->linesize[plane] + x] - 128));
    });
    return d;
}

} // namespace

TEST_F(VencCoding, EachRecordShowsInTheStream)
{
    using Aus = std::vector<std::vector<Element>>;
    struct Case {
        const char *name;
        uint32_t type;
        std::function<void(VENC_CHN_ATTR_REC_S &)> attr; // changes the attributes (or null)
        std::function<s32()> set;                        // sets a record on the made channel (or null)
        std::function<void(const std::vector<Pack> &, const Aus &)> check;
        int pictures = kPictures;
    } cases[] = {
        {"Baseline: CAVLC, no 8x8 transform", PT_H264,
         [](VENC_CHN_ATTR_REC_S &a) { a.stVideo.u32Profile = VENC_H264_PROFILE_BASELINE; }, nullptr,
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "profile_idc", 66));
             EXPECT_TRUE(always(a, "entropy_coding_mode_flag", 0));
             EXPECT_TRUE(never(a, "transform_8x8_mode_flag", 1));
         }},
        {"Main: CABAC by default, no 8x8 transform", PT_H264,
         [](VENC_CHN_ATTR_REC_S &a) { a.stVideo.u32Profile = VENC_H264_PROFILE_MAIN; }, nullptr,
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "profile_idc", 77));
             EXPECT_TRUE(always(a, "entropy_coding_mode_flag", 1));
             EXPECT_TRUE(never(a, "transform_8x8_mode_flag", 1));
         }},
        {"Main with CAVLC", PT_H264,
         [](VENC_CHN_ATTR_REC_S &a) { a.stVideo.u32Profile = VENC_H264_PROFILE_MAIN; }, [] {
             VENC_H264_ENTROPY_REC_S r = {0, 0, 0, 0};
             return DU_DUZ_VENC_SetH264Entropy(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "profile_idc", 77));
             EXPECT_TRUE(always(a, "entropy_coding_mode_flag", 0));
         }},
        {"High: CABAC and the 8x8 transform by default", PT_H264, nullptr, nullptr,
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "profile_idc", 100));
             EXPECT_TRUE(always(a, "entropy_coding_mode_flag", 1));
             EXPECT_TRUE(always(a, "transform_8x8_mode_flag", 1));
         }},
        {"High with CAVLC", PT_H264,
         nullptr, [] {
             VENC_H264_ENTROPY_REC_S r = {0, 0, 0, 0};
             return DU_DUZ_VENC_SetH264Entropy(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "profile_idc", 100));
             EXPECT_TRUE(always(a, "entropy_coding_mode_flag", 0));
             EXPECT_TRUE(always(a, "transform_8x8_mode_flag", 1));
         }},
        {"H.265 Main", PT_H265, nullptr, nullptr,
         [](const std::vector<Pack> &, const Aus &a) { EXPECT_TRUE(always(a, "general_profile_idc", 1)); }},
        {"CABAC", PT_H264,
         nullptr, [] {
             VENC_H264_ENTROPY_REC_S r = {1, 1, 0, 0};
             return DU_DUZ_VENC_SetH264Entropy(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) { EXPECT_TRUE(always(a, "entropy_coding_mode_flag", 1)); }},
        {"deblocking off", PT_H264,
         nullptr, [] {
             VENC_H264_DBLK_REC_S r = {1, 0, 0};
             return DU_DUZ_VENC_SetH264Dblk(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "disable_deblocking_filter_idc", 1));
             EXPECT_TRUE(all_values(a, "slice_alpha_c0_offset_div2").empty());
         }},
        {"deblocking offsets", PT_H264,
         nullptr, [] {
             VENC_H264_DBLK_REC_S r = {0, -3, 4};
             return DU_DUZ_VENC_SetH264Dblk(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "disable_deblocking_filter_idc", 0));
             EXPECT_TRUE(always(a, "slice_alpha_c0_offset_div2", -3));
             EXPECT_TRUE(always(a, "slice_beta_offset_div2", 4));
         }},
        {"a slice every 4 macroblock rows", PT_H264,
         nullptr, [] {
             VENC_H264_SLICE_SPLIT_REC_S r = {1, VENC_SLICE_SPLIT_ROWS, 4};
             return DU_DUZ_VENC_SetH264SliceSplit(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             // 15 rows of 20 macroblocks: slices start at rows 0, 4, 8 and 12.
             for (size_t n : slices_per_picture(a, PT_H264))
                 EXPECT_EQ(4u, n);
             std::vector<int64_t> first = syntaxtest::values(a[0], "first_mb_in_slice");
             EXPECT_EQ((std::vector<int64_t>{0, 80, 160, 240}), first);
         }},
        {"slices of at most 400 bytes", PT_H264,
         nullptr, [] {
             VENC_H264_SLICE_SPLIT_REC_S r = {1, VENC_SLICE_SPLIT_BYTES, 400};
             return DU_DUZ_VENC_SetH264SliceSplit(1, &r);
         },
         [](const std::vector<Pack> &p, const Aus &a) {
             // The key picture is far larger than one slice may be.
             ASSERT_GT(p[0].bytes.size(), 2000u);
             EXPECT_GT(slices_per_picture(a, PT_H264)[0], 4u);
             for (const Pack &pk : p)
                 for (size_t len : slice_lengths(pk))
                     EXPECT_LE(len, 400u);
         }},
        {"one slice by default", PT_H264, nullptr, nullptr,
         [](const std::vector<Pack> &, const Aus &a) {
             for (size_t n : slices_per_picture(a, PT_H264))
                 EXPECT_EQ(1u, n);
         }},
        {"VUI timing and colour", PT_H264,
         nullptr, [] {
             VENC_H264_VUI_REC_S r = {1, 1001, 60000, 1, 1, 1, 1, 1, 1, 1};
             return DU_DUZ_VENC_SetH264Vui(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "num_units_in_tick", 1001));
             EXPECT_TRUE(always(a, "time_scale", 60000));
             EXPECT_TRUE(always(a, "fixed_frame_rate_flag", 1));
             EXPECT_TRUE(always(a, "video_full_range_flag", 1));
             EXPECT_TRUE(always(a, "colour_primaries", 1));
             EXPECT_TRUE(always(a, "transfer_characteristics", 1));
             EXPECT_TRUE(always(a, "matrix_coefficients", 1));
         }},
        {"crop", PT_H264,
         nullptr, [] {
             VENC_CROP_REC_S r = {1, 32, 16, 160, 128};
             return DU_DUZ_VENC_SetCrop(1, &r);
         },
         [](const std::vector<Pack> &p, const Aus &) {
             Decoded d = decoded(PT_H264, p);
             EXPECT_EQ(kPictures, d.pictures);
             EXPECT_EQ(160, d.width);
             EXPECT_EQ(128, d.height);
         }},
        {"colour to grey", PT_H264,
         nullptr, [] {
             VENC_COLOR2GREY_REC_S r = {1};
             return DU_DUZ_VENC_SetColor2Grey(1, &r);
         },
         [](const std::vector<Pack> &p, const Aus &) {
             Decoded d = decoded(PT_H264, p);
             EXPECT_EQ(kPictures, d.pictures);
             EXPECT_LE(d.chroma_off, 2);
         }},
        {"colour without the record", PT_H264, nullptr, nullptr,
         [](const std::vector<Pack> &p, const Aus &) { EXPECT_GT(decoded(PT_H264, p).chroma_off, 40); }},
        {"an IDR every 4 pictures", PT_H264,
         [](VENC_CHN_ATTR_REC_S &a) { a.stRcAttr.u32Gop = 4; }, nullptr,
         [](const std::vector<Pack> &p, const Aus &a) {
             for (size_t i = 0; i < p.size(); i++) {
                 EXPECT_EQ(i % 4 == 0 ? "67" : "61", nal_head(p[i], false)) << i;
                 EXPECT_EQ(i % 4 == 0 ? 1u : 0u, syntaxtest::values(a[i], "idr_pic_id").size()) << i;
             }
             EXPECT_TRUE(every(syntaxtest::idr_pictures(AV_CODEC_ID_H264, a), 4));
         }},
        {"H.265: an IDR every 4 pictures", PT_H265,
         [](VENC_CHN_ATTR_REC_S &a) { a.stRcAttr.u32Gop = 4; }, nullptr,
         [](const std::vector<Pack> &, const Aus &a) { EXPECT_TRUE(every(syntaxtest::idr_pictures(AV_CODEC_ID_HEVC, a), 4)); }},
        {"H.265 replayed: an IDR every group to the last picture", PT_H265,
         [](VENC_CHN_ATTR_REC_S &a) {
             // More pixels a second than two cores code live.
             a.stVideo = {640, 480, 640 * 480 * 2, 0, 1, 640, 480, 0, 1};
             a.stRcAttr.u32SrcFrmRate = a.stRcAttr.u32DstFrmRate = 240;
         },
         nullptr,
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_EQ(1u, testsupport::events("chn 1 encodes 640x480 (replaying").size());
             EXPECT_TRUE(every(syntaxtest::idr_pictures(AV_CODEC_ID_HEVC, a), kGop));
         },
         3 * kGop},
        {"intra refresh: a wave every group, no IDR after the first", PT_H264,
         nullptr, [] {
             VENC_INTRA_REFRESH_REC_S r = {1, 0, {0, 0}};
             return DU_DUZ_VENC_SetIntraRefresh(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             std::vector<bool> idr = syntaxtest::idr_pictures(AV_CODEC_ID_H264, a), starts = recovery_points(a);
             EXPECT_TRUE(every(idr, a.size())) << "the first picture only";
             starts[0] = idr[0];
             EXPECT_TRUE(every(starts, kGop)) << "recovery points";
             for (size_t i = 0; i < a.size(); i++) {
                 std::vector<int64_t> types = syntaxtest::values(a[i], "slice_type");
                 ASSERT_FALSE(types.empty());
                 for (int64_t t : types)
                     EXPECT_EQ(i == 0 ? 2 : 0, t % 5) << "picture " << i; // I, then P only
             }
         },
         3 * kGop},
        {"fixed QP: I 24, P 32", PT_H264, fixed_qp(24, 32), nullptr, coded_at(PT_H264, 24, 32)},
        // The ends of libx264's range: I 19 below and 39 above the P QP.
        {"fixed QP: I 11, P 30", PT_H264, fixed_qp(11, 30), nullptr, coded_at(PT_H264, 11, 30)},
        {"fixed QP: I 49, P 10", PT_H264, fixed_qp(49, 10), nullptr, coded_at(PT_H264, 49, 10)},
        {"H.265 fixed QP: I 35, P 27", PT_H265, fixed_qp(35, 27), nullptr, coded_at(PT_H265, 35, 27)},
        {"QP bounds of a variable rate", PT_H264,
         [](VENC_CHN_ATTR_REC_S &a) {
             a.stRcAttr.enRcMode = VENC_RC_MODE_H264VBR;
             a.stRcAttr.u32FluctuateLevelOrMaxQp = 30;
             a.stRcAttr.u32MinQp = 30;
         },
         nullptr,
         [](const std::vector<Pack> &, const Aus &a) {
             std::vector<int64_t> qps = slice_qps(a);
             ASSERT_FALSE(qps.empty());
             for (int64_t qp : qps)
                 EXPECT_EQ(30, qp);
         }},
        {"H.265 deblocking off", PT_H265,
         nullptr, [] {
             VENC_H265_DBLK_REC_S r = {1, 0, 0};
             return DU_DUZ_VENC_SetH265Dblk(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "pps_deblocking_filter_disabled_flag", 1));
         }},
        {"H.265 deblocking offsets", PT_H265,
         nullptr, [] {
             VENC_H265_DBLK_REC_S r = {0, 3, -2};
             return DU_DUZ_VENC_SetH265Dblk(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "pps_deblocking_filter_disabled_flag", 0));
             EXPECT_TRUE(always(a, "pps_beta_offset_div2", 3));
             EXPECT_TRUE(always(a, "pps_tc_offset_div2", -2));
         }},
        {"H.265 a slice every 3 CTU rows", PT_H265,
         nullptr, [] {
             VENC_H265_SLICE_SPLIT_REC_S r = {1, VENC_SLICE_SPLIT_ROWS, 3, 0};
             return DU_DUZ_VENC_SetH265SliceSplit(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             // 8 rows of 32-pixel CTUs.
             for (size_t n : slices_per_picture(a, PT_H265))
                 EXPECT_EQ(3u, n);
         }},
        {"H.265 timing", PT_H265,
         nullptr, [] {
             VENC_H265_TIMING_REC_S r = {1, 1001, 30000, 2};
             return DU_DUZ_VENC_SetH265Timing(1, &r);
         },
         [](const std::vector<Pack> &, const Aus &a) {
             EXPECT_TRUE(always(a, "vui_num_units_in_tick", 1001));
             EXPECT_TRUE(always(a, "vui_time_scale", 30000));
             EXPECT_TRUE(always(a, "vui_num_ticks_poc_diff_one_minus1", 1));
         }},
        {"H.265 crop and grey", PT_H265,
         nullptr, [] {
             VENC_CROP_REC_S crop = {1, 0, 0, 256, 192};
             VENC_COLOR2GREY_REC_S grey = {1};
             return DU_DUZ_VENC_SetCrop(1, &crop) | DU_DUZ_VENC_SetColor2Grey(1, &grey);
         },
         [](const std::vector<Pack> &p, const Aus &) {
             Decoded d = decoded(PT_H265, p);
             EXPECT_EQ(256, d.width);
             EXPECT_EQ(192, d.height);
             EXPECT_LE(d.chroma_off, 2);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VENC_CHN_ATTR_REC_S a = attr(c.type);
        if (c.attr)
            c.attr(a);
        create_venc(1, a);
        if (c.set) {
            ASSERT_EQ(0, c.set());
        }
        ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
        std::vector<Pack> packs = collect(1, c.pictures);
        drop_channel();
        ASSERT_EQ((size_t)c.pictures, packs.size());
        Aus aus = traced(c.type, packs);
        for (const auto &au : aus)
            ASSERT_FALSE(au.empty());
        c.check(packs, aus);
    }
}

// A record that needs the codec opened anew waits for the next IDR picture:
// the pictures of the group under way keep what they began with.
TEST_F(VencCoding, ARecordSetWhileRecordingTakesEffectAtTheNextIdr)
{
    create_venc(1, attr(PT_H264));
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    std::vector<Pack> before = collect(1, 3);
    VENC_H264_DBLK_REC_S off = {1, 0, 0};
    ASSERT_EQ(0, DU_DUZ_VENC_SetH264Dblk(1, &off));
    std::vector<Pack> after = collect(1, 3 * kGop);
    ASSERT_EQ(3u * kGop, after.size());
    std::vector<Pack> all = before;
    all.insert(all.end(), after.begin(), after.end());
    auto aus = traced(PT_H264, all);
    // The first picture without deblocking is the key picture of a group
    // (the next one after the set, unless a slow host let the encoder run
    // ahead); every one before it has the filter, every one after not.
    size_t changed = all.size();
    for (size_t i = 0; i < all.size() && changed == all.size(); i++)
        if (syntaxtest::values(aus[i], "disable_deblocking_filter_idc") == std::vector<int64_t>{1})
            changed = i;
    ASSERT_LT(changed, all.size());
    EXPECT_EQ(0u, changed % kGop);
    EXPECT_GE(changed, before.size());
    EXPECT_EQ("67", nal_head(all[changed], false));
    for (size_t i = 0; i < all.size(); i++)
        EXPECT_EQ(std::vector<int64_t>{i < changed ? 0 : 1},
                  syntaxtest::values(aus[i], "disable_deblocking_filter_idc"))
            << "picture " << i;
    EXPECT_EQ(all.size(), (size_t)decode("h264", all));
}

// Before any set, the records say what the stream says; afterwards they hand
// back what was set.
TEST_F(VencCoding, RecordsReadBackAsTheStreamHasThem)
{
    create_venc(1, attr(PT_H264));
    VENC_H264_VUI_REC_S vui;
    ASSERT_EQ(0, DU_DUZ_VENC_GetH264Vui(1, &vui));
    VENC_H264_DBLK_REC_S dblk;
    ASSERT_EQ(0, DU_DUZ_VENC_GetH264Dblk(1, &dblk));
    VENC_H264_ENTROPY_REC_S entropy;
    ASSERT_EQ(0, DU_DUZ_VENC_GetH264Entropy(1, &entropy));
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    auto aus = traced(PT_H264, collect(1, 2));
    EXPECT_TRUE(always(aus, "timing_info_present_flag", vui.timing_info_present_flag));
    EXPECT_TRUE(always(aus, "num_units_in_tick", vui.num_units_in_tick));
    EXPECT_TRUE(always(aus, "time_scale", vui.time_scale));
    EXPECT_TRUE(always(aus, "fixed_frame_rate_flag", vui.fixed_frame_rate_flag));
    EXPECT_TRUE(always(aus, "video_signal_type_present_flag", vui.video_signal_type_present_flag));
    EXPECT_TRUE(always(aus, "disable_deblocking_filter_idc", dblk.disable_deblocking_filter_idc));
    EXPECT_TRUE(always(aus, "slice_alpha_c0_offset_div2", dblk.slice_alpha_c0_offset_div2));
    EXPECT_TRUE(always(aus, "entropy_coding_mode_flag", entropy.u32EntropyModeI));

    VENC_H264_VUI_REC_S set = {1, 1, 50, 1, 1, 0, 1, 5, 6, 7};
    ASSERT_EQ(0, DU_DUZ_VENC_SetH264Vui(1, &set));
    VENC_H264_VUI_REC_S back{};
    ASSERT_EQ(0, DU_DUZ_VENC_GetH264Vui(1, &back));
    EXPECT_EQ(0, memcmp(&set, &back, sizeof set));
    drop_channel();

    create_venc(1, attr(PT_H265));
    VENC_H265_TIMING_REC_S timing;
    ASSERT_EQ(0, DU_DUZ_VENC_GetH265Timing(1, &timing));
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    aus = traced(PT_H265, collect(1, 2));
    EXPECT_TRUE(always(aus, "vui_timing_info_present_flag", timing.timing_info_present_flag));
    EXPECT_TRUE(always(aus, "vui_num_units_in_tick", timing.num_units_in_tick));
    EXPECT_TRUE(always(aus, "vui_time_scale", timing.time_scale));
    EXPECT_TRUE(always(aus, "vui_poc_proportional_to_timing_flag", timing.u32NumTicksPocDiffOne != 0));
}

// What the encoder cannot code is refused, and the record keeps its value.
TEST_F(VencCoding, RecordsTheEncoderCannotCodeAreRefused)
{
    constexpr s32 kNotSupported = (s32)0xA0088008, kIllegal = (s32)0xA0088003;
    struct Case {
        const char *name;
        uint32_t type;
        std::function<s32()> set;
        s32 code;
    } cases[] = {
        {"CAVLC for I slices, CABAC for P", PT_H264, [] {
             VENC_H264_ENTROPY_REC_S r = {0, 1, 0, 0};
             return DU_DUZ_VENC_SetH264Entropy(1, &r); }, kNotSupported},
        {"entropy mode 2", PT_H264, [] {
             VENC_H264_ENTROPY_REC_S r = {2, 2, 0, 0};
             return DU_DUZ_VENC_SetH264Entropy(1, &r); }, kIllegal},
        {"deblocking inside slices only", PT_H264, [] {
             VENC_H264_DBLK_REC_S r = {2, 0, 0};
             return DU_DUZ_VENC_SetH264Dblk(1, &r); }, kNotSupported},
        {"deblocking offset 7", PT_H264, [] {
             VENC_H264_DBLK_REC_S r = {0, 7, 0};
             return DU_DUZ_VENC_SetH264Dblk(1, &r); }, kIllegal},
        {"slices of 0 rows", PT_H264, [] {
             VENC_H264_SLICE_SPLIT_REC_S r = {1, VENC_SLICE_SPLIT_ROWS, 0};
             return DU_DUZ_VENC_SetH264SliceSplit(1, &r); }, kIllegal},
        {"a VUI without timing", PT_H264, [] {
             VENC_H264_VUI_REC_S r = {0, 1, 60, 1, 0, 0, 0, 2, 2, 2};
             return DU_DUZ_VENC_SetH264Vui(1, &r); }, kNotSupported},
        {"a colour description without the signal type", PT_H264, [] {
             VENC_H264_VUI_REC_S r = {1, 1, 60, 1, 0, 0, 1, 1, 1, 1};
             return DU_DUZ_VENC_SetH264Vui(1, &r); }, kIllegal},
        {"a tick of 0", PT_H264, [] {
             VENC_H264_VUI_REC_S r = {1, 0, 60, 1, 0, 0, 0, 2, 2, 2};
             return DU_DUZ_VENC_SetH264Vui(1, &r); }, kIllegal},
        {"crop past the picture", PT_H264, [] {
             VENC_CROP_REC_S r = {1, 200, 0, 160, 128};
             return DU_DUZ_VENC_SetCrop(1, &r); }, kIllegal},
        {"crop at an odd place", PT_H264, [] {
             VENC_CROP_REC_S r = {1, 3, 0, 160, 128};
             return DU_DUZ_VENC_SetCrop(1, &r); }, kIllegal},
        {"grey of 2", PT_H264, [] {
             VENC_COLOR2GREY_REC_S r = {2};
             return DU_DUZ_VENC_SetColor2Grey(1, &r); }, kIllegal},
        {"an H.265 record on an H.264 channel", PT_H264, [] {
             VENC_H265_DBLK_REC_S r = {0, 0, 0};
             return DU_DUZ_VENC_SetH265Dblk(1, &r); }, kNotSupported},
        {"an H.264 record on an H.265 channel", PT_H265, [] {
             VENC_H264_DBLK_REC_S r = {0, 0, 0};
             return DU_DUZ_VENC_SetH264Dblk(1, &r); }, kNotSupported},
        {"H.265 slices by bytes", PT_H265, [] {
             VENC_H265_SLICE_SPLIT_REC_S r = {1, VENC_SLICE_SPLIT_BYTES, 1000, 0};
             return DU_DUZ_VENC_SetH265SliceSplit(1, &r); }, kNotSupported},
        {"H.265 without timing", PT_H265, [] {
             VENC_H265_TIMING_REC_S r = {0, 0, 0, 0};
             return DU_DUZ_VENC_SetH265Timing(1, &r); }, kNotSupported},
        {"CABAC with its second table", PT_H264, [] {
             VENC_H264_ENTROPY_REC_S r = {1, 1, 0, 1};
             return DU_DUZ_VENC_SetH264Entropy(1, &r); }, kNotSupported},
        {"CABAC stuffing", PT_H264, [] {
             VENC_H264_ENTROPY_REC_S r = {1, 1, 1, 0};
             return DU_DUZ_VENC_SetH264Entropy(1, &r); }, kNotSupported},
        {"intra refresh by I slices", PT_H264, [] {
             VENC_INTRA_REFRESH_REC_S r = {1, 1, {0, 0}};
             return DU_DUZ_VENC_SetIntraRefresh(1, &r); }, kNotSupported},
        {"intra refresh of a set number of rows", PT_H264, [] {
             VENC_INTRA_REFRESH_REC_S r = {1, 0, {8, 0}};
             return DU_DUZ_VENC_SetIntraRefresh(1, &r); }, kNotSupported},
        {"intra refresh 2", PT_H264, [] {
             VENC_INTRA_REFRESH_REC_S r = {2, 0, {0, 0}};
             return DU_DUZ_VENC_SetIntraRefresh(1, &r); }, kIllegal},
        {"H.265 intra refresh", PT_H265, [] {
             VENC_INTRA_REFRESH_REC_S r = {1, 0, {0, 0}};
             return DU_DUZ_VENC_SetIntraRefresh(1, &r); }, kNotSupported},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VENC_CHN_ATTR_REC_S a = attr(c.type);
        if (c.type == PT_H264)
            a.stVideo.u32Profile = VENC_H264_PROFILE_MAIN;
        ASSERT_EQ(0, DU_DUZ_VENC_CreateChn(1, &a));
        EXPECT_EQ((u32)c.code, (u32)c.set());
        VENC_CROP_REC_S crop;
        ASSERT_EQ(0, DU_DUZ_VENC_GetCrop(1, &crop));
        EXPECT_EQ(0u, crop.bEnable);
        ASSERT_EQ(0, DU_DUZ_VENC_DestroyChn(1));
    }
    // CABAC has no place in the baseline profile.
    VENC_CHN_ATTR_REC_S a = attr(PT_H264);
    a.stVideo.u32Profile = 0;
    ASSERT_EQ(0, DU_DUZ_VENC_CreateChn(1, &a));
    VENC_H264_ENTROPY_REC_S cabac = {1, 1, 0, 0};
    EXPECT_EQ((u32)kNotSupported, (u32)DU_DUZ_VENC_SetH264Entropy(1, &cabac));
    // CABAC set on a High channel keeps it from becoming Baseline; without
    // the record the entropy coding follows the profile.
    a.stVideo.u32Profile = VENC_H264_PROFILE_HIGH;
    ASSERT_EQ(0, DU_DUZ_VENC_SetChnAttr(1, &a));
    ASSERT_EQ(0, DU_DUZ_VENC_SetH264Entropy(1, &cabac));
    VENC_CHN_ATTR_REC_S baseline = a;
    baseline.stVideo.u32Profile = VENC_H264_PROFILE_BASELINE;
    EXPECT_EQ((u32)kNotSupported, (u32)DU_DUZ_VENC_SetChnAttr(1, &baseline));
    ASSERT_EQ(0, DU_DUZ_VENC_DestroyChn(1));
    ASSERT_EQ(0, DU_DUZ_VENC_CreateChn(1, &a));
    EXPECT_EQ(0, DU_DUZ_VENC_SetChnAttr(1, &baseline));
    VENC_H264_ENTROPY_REC_S entropy;
    ASSERT_EQ(0, DU_DUZ_VENC_GetH264Entropy(1, &entropy));
    EXPECT_EQ(0u, entropy.u32EntropyModeI);
    // A crop window set before holds the picture to its size.
    VENC_CROP_REC_S crop = {1, 0, 0, 320, 240};
    ASSERT_EQ(0, DU_DUZ_VENC_SetCrop(1, &crop));
    VENC_CHN_ATTR_REC_S smaller = attr(PT_H264);
    smaller.stVideo.u32PicWidth = 160;
    EXPECT_EQ((u32)kIllegal, (u32)DU_DUZ_VENC_SetChnAttr(1, &smaller));
    ASSERT_EQ(0, DU_DUZ_VENC_DestroyChn(1));
}

// Channel attributes the encoder cannot code are refused at creation.
TEST_F(VencCoding, AttributesTheEncoderCannotCodeAreRefused)
{
    constexpr s32 kNotSupported = (s32)0xA0088008, kIllegal = (s32)0xA0088003;
    struct Case {
        const char *name;
        uint32_t type;
        std::function<void(VENC_CHN_ATTR_REC_S &)> attr;
        s32 code;
    } cases[] = {
        {"H.264 profile 3", PT_H264, [](VENC_CHN_ATTR_REC_S &a) { a.stVideo.u32Profile = 3; }, kNotSupported},
        {"H.265 profile 1", PT_H265, [](VENC_CHN_ATTR_REC_S &a) { a.stVideo.u32Profile = 1; }, kNotSupported},
        {"rate-control mode 4", PT_H264, [](VENC_CHN_ATTR_REC_S &a) { a.stRcAttr.enRcMode = 4; }, kNotSupported},
        {"an H.265 mode on H.264", PT_H264, [](VENC_CHN_ATTR_REC_S &a) { a.stRcAttr.enRcMode = 15; }, kNotSupported},
        {"B pictures", PT_H264, [](VENC_CHN_ATTR_REC_S &a) { a.stVideo.u32BFrameNum = 1; }, kNotSupported},
        {"fixed QP 52", PT_H264, fixed_qp(52, 30), kIllegal},
        {"H.265 fixed QP 52", PT_H265, fixed_qp(30, 52), kIllegal},
        // Lossless coding, which none of the profiles has.
        {"fixed P QP 0", PT_H264, fixed_qp(0, 0), kNotSupported},
        {"I QP 20 below the P QP", PT_H264, fixed_qp(10, 30), kNotSupported},
        {"I QP 40 above the P QP", PT_H264, fixed_qp(50, 10), kNotSupported},
        {"H.265 any QP pair", PT_H265, fixed_qp(0, 51), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VENC_CHN_ATTR_REC_S a = attr(c.type);
        c.attr(a);
        EXPECT_EQ((u32)c.code, (u32)DU_DUZ_VENC_CreateChn(1, &a));
        if (c.code == 0) {
            ASSERT_EQ(0, DU_DUZ_VENC_DestroyChn(1));
        }
    }
}
