// Argument checks of every encoder call: the channel first (before anything
// is opened), then the record (after the lazy open), then call-specific ones.
#include "mpi/video/venc/mpi_venc.h"
#include "mpi/video/venc/venc_requests.h"
#include "tests/support/arg_rules.h"

using argrules::Case;

namespace {

constexpr s32 kBadChn = (s32)0xA0088002, kNull = (s32)0xA0088006, kIllegal = (s32)0xA0088003;

struct Call {
    std::string name;
    std::function<s32(s32 chn, bool null)> fn;
    bool record; // takes a record address (null-checked)
};

std::vector<Call> all_calls()
{
    static VENC_PACK_REC_S pack;
    std::vector<Call> calls = {
#define PAIR(name, rec, size, set_nr, get_nr, get_dir)                                                     \
    {"DU_DUZ_VENC_Set" #name, [](s32 c, bool n) { static rec r; return DU_DUZ_VENC_Set##name(c, n ? nullptr : &r); }, true}, \
    {"DU_DUZ_VENC_Get" #name, [](s32 c, bool n) { static rec r; return DU_DUZ_VENC_Get##name(c, n ? nullptr : &r); }, true},
        VENC_ALL_PARAM_PAIRS(PAIR)
#undef PAIR
#define REC(fn, rec) {#fn, [](s32 c, bool n) { static rec r; return fn(c, n ? nullptr : &r); }, true}
#define VAL(fn) {#fn, [](s32 c, bool) { return fn(c, 0); }, false}
#define NONE(fn) {#fn, [](s32 c, bool) { return fn(c); }, false}
        REC(DU_DUZ_VENC_CreateChn, VENC_CHN_ATTR_REC_S),
        REC(DU_DUZ_VENC_Query, VENC_CHN_STATE_S),
        REC(DU_DUZ_VENC_GetChnAttr, VENC_CHN_ATTR_REC_S),
        REC(DU_DUZ_VENC_SetChnAttr, VENC_CHN_ATTR_REC_S),
        REC(DU_DUZ_VENC_SetRcParam, VENC_RC_PARAM_REC_S),
        REC(DU_DUZ_VENC_GetRcParam, VENC_RC_PARAM_REC_S),
        REC(DU_DUZ_VENC_GetMaxStreamCnt, u32),
        REC(DU_DUZ_VENC_GetChnlPriority, u32),
        REC(DU_DUZ_VENC_GetJpegSnapMode, VENC_JPEG_SNAP_MODE_E),
        REC(DU_DUZ_VENC_StartRecvPicEx, VENC_RECV_PIC_PARAM_REC_S),
        REC(DU_DUZ_VENC_GetStreamBufInfo, VENC_STREAM_BUF_INFO_REC_S),
        REC(DU_DUZ_VENC_SetRoiCfg, VENC_ROI_CFG_REC_S),
        REC(DU_DUZ_VENC_GetRcPriority, VENC_RC_PRIORITY_E),
        // Reads the flag into whatever address it is given, null too.
        {"DU_DUZ_VENC_GetCostAlgFlag", [](s32 c, bool n) { static u32 r; return DU_DUZ_VENC_GetCostAlgFlag(c, n ? nullptr : &r); }, false},
        {"DU_DUZ_VENC_VpssQuery", [](s32 c, bool n) { static u8 r[144]; return DU_DUZ_VENC_VpssQuery(c, n ? nullptr : r); }, true},
        {"DU_DUZ_VENC_VpssSend", [](s32 c, bool n) { static u8 r[144]; return DU_DUZ_VENC_VpssSend(c, n ? nullptr : r); }, true},
        {"DU_DUZ_VENC_GetRoiCfg", [](s32 c, bool n) { static VENC_ROI_CFG_REC_S r; return DU_DUZ_VENC_GetRoiCfg(c, 0, n ? nullptr : &r); }, true},
        {"DU_DUZ_VENC_GetStream", [](s32 c, bool n) { static VENC_STREAM_REC_S s{&pack, 1, 0, {}}; return DU_DUZ_VENC_GetStream(c, n ? nullptr : &s, 0); }, true},
        {"DU_DUZ_VENC_ReleaseStream", [](s32 c, bool n) { static VENC_STREAM_REC_S s{&pack, 0, 0, {}}; return DU_DUZ_VENC_ReleaseStream(c, n ? nullptr : &s); }, true},
        {"DU_DUZ_VENC_InsertUserData", [](s32 c, bool n) { static u8 d[4]; return DU_DUZ_VENC_InsertUserData(c, n ? nullptr : d, 4); }, true},
        {"DU_DUZ_VENC_SendFrame", [](s32 c, bool n) { static VIDEO_FRAME_REC_S f; return DU_DUZ_VENC_SendFrame(c, n ? nullptr : &f, 0); }, true},
        VAL(DU_DUZ_VENC_SetMaxStreamCnt),
        VAL(DU_DUZ_VENC_RequestIDR),
        VAL(DU_DUZ_VENC_SetChnlPriority),
        VAL(DU_DUZ_VENC_SetJpegSnapMode),
        VAL(DU_DUZ_VENC_EnableIDR),
        VAL(DU_DUZ_VENC_SetCostAlgFlag),
        VAL(DU_DUZ_VENC_EnableInterPskip),
        VAL(DU_DUZ_VENC_SetRcPriority),
        VAL(DU_DUZ_VENC_AttachVbPool),
        NONE(DU_DUZ_VENC_DetachVbPool),
        NONE(DU_DUZ_VENC_DestroyChn),
        NONE(DU_DUZ_VENC_ResetChn),
        NONE(DU_DUZ_VENC_StartRecvPic),
        NONE(DU_DUZ_VENC_StopRecvPic),
        NONE(DU_DUZ_VENC_GetFd),
        NONE(DU_DUZ_VENC_CloseFd),
#undef REC
#undef VAL
#undef NONE
    };
    return calls;
}

class VencArgs : public BoardTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        BoardTest::SetUp();
        MPI_VENC_Exit(); // each test starts from a unit that is not started
    }
    void TearDown() override { MPI_VENC_Exit(); }
};

} // namespace

TEST_F(VencArgs, ChannelOutOfRangeIsRefusedBeforeAnythingElse)
{
    std::vector<Case> cases;
    for (const Call &call : all_calls())
        for (s32 chn : {16, -1, 0x7fffffff})
            cases.push_back({call.name + " chn " + std::to_string(chn), [call, chn] { return call.fn(chn, false); },
                             kBadChn,
                             "func:" + call.name + ", chnid " + std::to_string(chn) +
                                 " err,should in [0,VENC_MAX_CHN_NUM)\n"});
    argrules::run(cases, argrules::device("/dev/venc"));
    EXPECT_EQ(0u, s_bMpiVencInit); // the channel check comes before the unit starts
}

TEST_F(VencArgs, NullRecordIsRefusedAfterTheLazyOpen)
{
    std::vector<Case> cases;
    for (const Call &call : all_calls())
        if (call.record)
            cases.push_back({call.name, [call] { return call.fn(3, true); }, kNull,
                             "func:" + call.name + ",NULL pointer detected\n"});
    // The first case opens and binds channel 3's descriptor; nothing else
    // reaches the driver.
    argrules::run(cases, argrules::device("/dev/venc", true, "ioctl /dev/venc 0x40044514"));
    EXPECT_GE(g_stMpiVencChn[3].s32Fd, 0);
}

TEST_F(VencArgs, CallSpecificChecks)
{
    static VENC_PACK_REC_S pack;
    static VENC_STREAM_REC_S no_packs{nullptr, 1, 0, {}}, stream{&pack, 1, 0, {}};
    static VENC_ROI_CFG_REC_S roi;
    static u8 data[1025];
    static VIDEO_FRAME_REC_S frame;
    std::vector<Case> cases = {
        {"stream without pack array", [] { return DU_DUZ_VENC_GetStream(2, &no_packs, 0); }, kNull,
         "func:DU_DUZ_VENC_GetStream,NULL pointer detected\n"},
        {"release without pack array", [] { return DU_DUZ_VENC_ReleaseStream(2, &no_packs); }, kNull,
         "func:DU_DUZ_VENC_ReleaseStream,NULL pointer detected\n"},
        {"stream wait below -1", [] { return DU_DUZ_VENC_GetStream(2, &stream, -2); }, kIllegal,
         "The param:s32MilliSec -2 should larger than -1 in func:DU_DUZ_VENC_GetStream\n"},
        {"send wait below -1", [] { return DU_DUZ_VENC_SendFrame(2, &frame, -5); }, kIllegal,
         "The param:s32MilliSec -5 should larger than -1 in func:DU_DUZ_VENC_SendFrame\n"},
        {"user data of 0 bytes", [] { return DU_DUZ_VENC_InsertUserData(2, data, 0); }, kIllegal, ""},
        {"user data of 1025 bytes", [] { return DU_DUZ_VENC_InsertUserData(2, data, 1025); }, kIllegal, ""},
        {"region 8", [] { return DU_DUZ_VENC_GetRoiCfg(2, 8, &roi); }, kIllegal,
         "func:DU_DUZ_VENC_GetRoiCfg, RoiIndex  8 err,should in [0,VENC_MAX_ROI_NUM)\n"},
        {"set region 8", [] { roi.u32Index = 8; return DU_DUZ_VENC_SetRoiCfg(2, &roi); }, kIllegal,
         "func:DU_DUZ_VENC_SetRoiCfg, RoiIndex  8 err,should in [0,VENC_MAX_ROI_NUM)\n"},
        {"set null region before its index", [] { return DU_DUZ_VENC_SetRoiCfg(2, nullptr); }, kNull,
         "NULL pointer detected"},
        {"intra refresh by I slices of 2", [] {
             static VENC_INTRA_REFRESH_REC_S r = {1, 2, {0, 0}};
             return DU_DUZ_VENC_SetIntraRefresh(2, &r); }, kIllegal,
         "func:DU_DUZ_VENC_SetIntraRefresh, chnid (2) bISliceEnable(2) should be DU_TRUE or DU_FALSE\n"},
        {"intra refresh by I slices of -1", [] {
             static VENC_INTRA_REFRESH_REC_S r = {1, 0xFFFFFFFFu, {0, 0}};
             return DU_DUZ_VENC_SetIntraRefresh(2, &r); }, kIllegal, "bISliceEnable(-1) should be"},
        {"I slices on a channel that is no H.264 one", [] {
             static VENC_INTRA_REFRESH_REC_S r = {0, 1, {0, 0}};
             return DU_DUZ_VENC_SetIntraRefresh(2, &r); }, (s32)0xA0088008,
         "func:DU_DUZ_VENC_SetIntraRefresh, chnid (2) enType is (0),not support refresh ISlice\n"},
        {"buffer information of a channel never made", [] {
             static VENC_STREAM_BUF_INFO_REC_S info;
             return DU_DUZ_VENC_GetStreamBufInfo(2, &info); }, (s32)0xA0088005, ""},
    };
    argrules::run(cases, argrules::device("/dev/venc", true, "ioctl /dev/venc 0x40044514"));
}

// Values and limits that pass on to the driver.
TEST_F(VencArgs, BoundaryValuesReachTheDriver)
{
    u8 data[1024] = {};
    VENC_ROI_CFG_REC_S roi{};
    // No channel exists: the driver answers that it is missing, so the
    // request was made.
    const s32 missing = (s32)0xA0088005;
    EXPECT_EQ(missing, DU_DUZ_VENC_InsertUserData(1, data, 1));
    EXPECT_EQ(missing, DU_DUZ_VENC_InsertUserData(1, data, 1024));
    EXPECT_EQ(missing, DU_DUZ_VENC_GetRoiCfg(1, 7, &roi));
    EXPECT_EQ(7u, roi.u32Index);
    EXPECT_EQ(missing, DU_DUZ_VENC_EnableIDR(1, 0));
    EXPECT_EQ(missing, DU_DUZ_VENC_SetJpegSnapMode(1, 0));
    EXPECT_EQ(missing, DU_DUZ_VENC_SetCostAlgFlag(1, 0));
    EXPECT_EQ(missing, DU_DUZ_VENC_GetCostAlgFlag(1, nullptr));
    EXPECT_EQ(missing, DU_DUZ_VENC_SetRcPriority(1, 0));
    EXPECT_EQ(missing, DU_DUZ_VENC_DetachVbPool(1));
    // Refresh without I slices is not looked at on this side.
    VENC_INTRA_REFRESH_REC_S refresh = {7, 0, {0, 0}};
    EXPECT_EQ(missing, DU_DUZ_VENC_SetIntraRefresh(1, &refresh));
}
