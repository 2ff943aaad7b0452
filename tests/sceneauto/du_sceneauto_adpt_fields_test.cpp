// The adapter's records field by field, against the platform's: each field
// of the platform's record gets a value of its own, the adapter's get must
// hand each one to its own engine field, and its set must put each engine
// field's own value back where it belongs. A swapped or missing field shows
// by name. Where the platform's record is a block packed at the bit, the
// test names each field's place itself, apart from the adapter's table.
#include "tests/sceneauto/adpt_fixture.h"

#include "isp/3a/ae/ae_records.h"
#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "isp/isp_acm.h"

#include <initializer_list>
#include <string>
#include <type_traits>

namespace {

constexpr u32 kSetElsewhere = 0xFFFFFFFF; // the set takes this field from elsewhere

// A field of the engine's record and the platform field it mirrors, by
// name, with the value the platform holds for the get and the value the
// engine gives the set.
template <class E, class P> struct FieldPair {
    const char *name;
    u32 (*engine)(const E &);
    void (*put_engine)(E &, u32);
    u32 (*platform)(const P &);
    void (*put_platform)(P &, u32);
    u32 got, put;
};

// Within a test that names its records E and P. A field's type, not a
// reference to it (decltype of an element of an array is one): the value is
// converted, never read through another type.
#define FIELD_TYPE(x) std::remove_reference_t<decltype(x)>
#define FIELD(em, pm, got, put)                                                                       \
    FieldPair<E, P>                                                                                   \
    {                                                                                                 \
        #em, [](const E &e) { return (u32)e.em; }, [](E &e, u32 v) { e.em = (FIELD_TYPE(e.em))v; }, \
            [](const P &p) { return (u32)p.pm; }, [](P &p, u32 v) { p.pm = (FIELD_TYPE(p.pm))v; }, got, put \
    }

// `bits` bits from bit `shift` of the little-endian bytes from `at`.
template <class P> u32 packed_bits(const P &p, u32 at, u32 shift, u32 bits)
{
    const u8 *b = reinterpret_cast<const u8 *>(&p);
    u64 unit = 0;
    for (u32 i = 0; i < 4 && at + i < sizeof p; i++)
        unit |= (u64)b[at + i] << 8 * i;
    return (u32)(unit >> shift & ((1ull << bits) - 1));
}

// An engine field the set packs into the platform's block (set only).
#define PACKED(em, at, shift, bits, put)                                                                      \
    FieldPair<E, P>                                                                                           \
    {                                                                                                         \
        #em, [](const E &e) { return (u32)e.em; }, [](E &e, u32 v) { e.em = (FIELD_TYPE(e.em))v; },         \
            [](const P &p) { return packed_bits(p, at, shift, bits); }, nullptr, 0, put                         \
    }

template <class E, class P> struct Calls {
    s32 (*platform_get)(s32, P *);
    s32 (*platform_set)(s32, const P *);
    s32 (*get)(s32, E *); // nullptr: the engine only writes the record
    s32 (*set)(s32, const E *); // nullptr: the engine only reads the record
};

template <class E, class P> void expect_each_field_moves(const Calls<E, P> &c, std::initializer_list<FieldPair<E, P>> rows)
{
    P p = {};
    E e;
    memset(&e, 0xA5, sizeof e); // a field the get leaves out keeps this
    if (c.get) {
        ASSERT_EQ(0, c.platform_get(0, &p));
        for (const auto &r : rows)
            r.put_platform(p, r.got);
        ASSERT_EQ(0, c.platform_set(0, &p));
        ASSERT_EQ(0, c.get(0, &e));
        for (const auto &r : rows) {
            SCOPED_TRACE(std::string("get ") + r.name);
            EXPECT_EQ(r.got, r.engine(e));
        }
    }
    if (!c.set)
        return;

    for (const auto &r : rows)
        if (r.put != kSetElsewhere)
            r.put_engine(e, r.put);
    ASSERT_EQ(0, c.set(0, &e));
    ASSERT_EQ(0, c.platform_get(0, &p));
    for (const auto &r : rows) {
        if (r.put == kSetElsewhere)
            continue;
        SCOPED_TRACE(std::string("set ") + r.name);
        EXPECT_EQ(r.put, r.platform(p));
    }
}

// The status is the exposure library's to publish: the test publishes it.
s32 publish_status(s32, const AE_EXPOSURE_STATUS_S *s)
{
    vreg_publish(kAeStatusRecord, ae_page(0), *s);
    return 0;
}

} // namespace

// With no exposure value the compensation passes as it is; the strategy
// and the weights the set takes from the preferences.
TEST_F(AdapterTest, TheExposureRecordFieldByField)
{
    using E = SCENEAUTO_AE_ATTR_S;
    using P = AE_EXPOSURE_SETTINGS_S;
    pref_.ExposureValue = 0;
    expect_each_field_moves<E, P>(
        {DU_DUZ_ISP_GetExposureAttr, DU_DUZ_ISP_SetExposureAttr, CommSceneautoGetAEAttr, CommSceneautoSetAEAttr},
        {
            FIELD(u8Speed, stAuto.u8Speed, 40, 41),
            FIELD(u8Tolerance, stAuto.u8Tolerance, 5, 6),
            FIELD(u8Compensation, stAuto.u8Compensation, 60, 61),
            FIELD(u16BlackDelayFrame, stAuto.u16BlackDelayFrame, 7, 8),
            FIELD(u16WhiteDelayFrame, stAuto.u16WhiteDelayFrame, 9, 10),
            FIELD(u8AEStrategyMode, stAuto.enStrategyMode, 1, kSetElsewhere),
            FIELD(u8MaxHistOffset, stAuto.u8MaxHistOffset, 11, 12),
            FIELD(u16HistRatioSlope, stAuto.u16HistRatioSlope, 300, 301),
            FIELD(u32SysGainMax, stAuto.u32SysGainMax, 0x5000, 0x6100),
            FIELD(u32AGainMax, stAuto.u32AGainMax, 0x4000, 0x4100),
            FIELD(u32DGainMax, stAuto.u32DGainMax, 0x800, 0x820),
            FIELD(u32ISPDGainMax, stAuto.u32ISPDGainMax, 0x900, 0x920),
            FIELD(u8AERunInterval, u8AERunInterval, 3, 4),
            FIELD(u8FSWDRMode, stAuto.enFSWDRMode, 1, 0),
            FIELD(bWDRQuick, stAuto.bWDRQuick, 0, 1),
            FIELD(au8Weight[5][6], stAuto.au8Weight[5][6], 13, kSetElsewhere),
            FIELD(au8Weight[14][16], stAuto.au8Weight[14][16], 14, kSetElsewhere),
        });
}

// A staircase each way, as the exposure library takes only routes that
// climb one parameter a node. The get takes all seven nodes the engine's
// record holds; the set's six stop before the last, which keeps the get's
// (the iris every node is set at: the route tests).
TEST_F(AdapterTest, TheRouteFieldByField)
{
    using E = SCENEAUTO_AE_ROUTE_S;
    using P = AE_ROUTE_TABLE_S;
    // The set prints the route; a failure's lines are shown with it.
    const std::string out = testsupport::capture_stdout([] {
        expect_each_field_moves<E, P>(
            {DU_DUZ_ISP_GetAERouteAttr, DU_DUZ_ISP_SetAERouteAttr, CommSceneautoGetAERoute, CommSceneautoSetAERoute},
            {
                FIELD(u32TotalNum, u32TotalNum, 7, 6),
                FIELD(astRouteNode[0].u32IntTime, astRouteNode[0].u32IntTime, 100, 110),
                FIELD(astRouteNode[0].u32SysGain, astRouteNode[0].u32SysGain, 1024, 1100),
                FIELD(astRouteNode[1].u32IntTime, astRouteNode[1].u32IntTime, 200, 220),
                FIELD(astRouteNode[1].u32SysGain, astRouteNode[1].u32SysGain, 1024, 1100),
                FIELD(astRouteNode[2].u32IntTime, astRouteNode[2].u32IntTime, 200, 220),
                FIELD(astRouteNode[2].u32SysGain, astRouteNode[2].u32SysGain, 2048, 2200),
                FIELD(astRouteNode[3].u32IntTime, astRouteNode[3].u32IntTime, 400, 440),
                FIELD(astRouteNode[3].u32SysGain, astRouteNode[3].u32SysGain, 2048, 2200),
                FIELD(astRouteNode[4].u32IntTime, astRouteNode[4].u32IntTime, 400, 440),
                FIELD(astRouteNode[4].u32SysGain, astRouteNode[4].u32SysGain, 4096, 4400),
                FIELD(astRouteNode[5].u32IntTime, astRouteNode[5].u32IntTime, 800, 880),
                FIELD(astRouteNode[5].u32SysGain, astRouteNode[5].u32SysGain, 4096, 4400),
                FIELD(astRouteNode[6].u32IntTime, astRouteNode[6].u32IntTime, 800, kSetElsewhere),
                FIELD(astRouteNode[6].u32SysGain, astRouteNode[6].u32SysGain, 8192, kSetElsewhere),
            });
    });
    if (HasFailure())
        fputs(out.c_str(), stdout);
}

TEST_F(AdapterTest, TheExposureInformationFieldByField)
{
    using E = SCENEAUTO_EXPOSURE_INFO_S;
    using P = AE_EXPOSURE_STATUS_S;
    expect_each_field_moves<E, P>({DU_DUZ_ISP_QueryExposureInfo, publish_status, CommSceneautoGetExposureInfo, nullptr},
                                  {
                                      FIELD(u32Exposure, u32Exposure, 123456, 0),
                                      FIELD(u32AGain, u32AGain, 2000, 0),
                                      FIELD(u32DGain, u32DGain, 1100, 0),
                                      FIELD(u32ISPDGain, u32ISPDGain, 1200, 0),
                                      FIELD(u32ExpTime, u32ExpTime, 3000, 0),
                                      FIELD(u32ISO, u32ISO, 500, 0),
                                      FIELD(u32ExpRatio, u32ExpRatio, 0x123, 0),
                                  });
}

// High, middle and low temperature with their matrices (sign-magnitude).
TEST_F(AdapterTest, TheColourMatricesFieldByField)
{
    using E = SCENEAUTO_CCM_S;
    using P = AWB_CCM_SETTINGS_S;
    expect_each_field_moves<E, P>(
        {DU_DUZ_ISP_GetCCMAttr, DU_DUZ_ISP_SetCCMAttr, CommSceneautoGetCcmAttr, CommSceneautoSetCcmAttr},
        {
            FIELD(astCCM[0].u16ColorTemp, stAuto.u16HighColorTemp, 6500, 7000),
            FIELD(astCCM[1].u16ColorTemp, stAuto.u16MidColorTemp, 5000, 4800),
            FIELD(astCCM[2].u16ColorTemp, stAuto.u16LowColorTemp, 3000, 2600),
            FIELD(astCCM[0].au16CCM[0], stAuto.au16HighCCM[0], 0x101, 0x121),
            FIELD(astCCM[0].au16CCM[8], stAuto.au16HighCCM[8], 0x8011, 0x8031),
            FIELD(astCCM[1].au16CCM[0], stAuto.au16MidCCM[0], 0x102, 0x122),
            FIELD(astCCM[1].au16CCM[8], stAuto.au16MidCCM[8], 0x8012, 0x8032),
            FIELD(astCCM[2].au16CCM[0], stAuto.au16LowCCM[0], 0x103, 0x123),
            FIELD(astCCM[2].au16CCM[8], stAuto.au16LowCCM[8], 0x8013, 0x8033),
        });
}

TEST_F(AdapterTest, TheColourManagementWordsFieldByField)
{
    using E = SCENEAUTO_ACM_S;
    using P = ISP_ACM_CFG_S;
    testsupport::capture_stdout([] {
        expect_each_field_moves<E, P>(
            {DU_DUZ_ISP_GetAcmAttr, DU_DUZ_ISP_SetAcmAttr, CommSceneautoGetAcmAttr, CommSceneautoSetAcmAttr},
            {
                FIELD(au32Word[0], bEnable, 1, 0),
                FIELD(au32Word[1], u32CbcrThr, 101, 201),
                FIELD(au32Word[2], u32GainLuma, 102, 202),
                FIELD(au32Word[3], u32GainHue, 103, 203),
                FIELD(au32Word[4], u32GainSat, 104, 204),
            });
    });
}

// The set takes the saturation from the user's preferences (the prefs test).
TEST_F(AdapterTest, TheSaturationFieldByField)
{
    using E = SCENEAUTO_SATURATION_S;
    using P = AWB_SATURATION_SETTINGS_S;
    expect_each_field_moves<E, P>({DU_DUZ_ISP_GetSaturationAttr, DU_DUZ_ISP_SetSaturationAttr,
                                   CommSceneautoGetSaturation, nullptr},
                                  {
                                      FIELD(u8OpType, enOpType, 1, 0),
                                      FIELD(u8Saturation, u8Saturation, 77, 0),
                                      FIELD(au8Sat[0], au8Sat[0], 88, 0),
                                      FIELD(au8Sat[15], au8Sat[15], 99, 0),
                                  });
}

// Each field's value sets the top bit of its width, so a field cut short
// shows; three two-bit fields cannot all differ with it.
TEST_F(AdapterVpssTest, TheNoiseReductionBlockFieldByField)
{
    using E = SCENEAUTO_3DNR_PARAM_S;
    using P = VPSS_NR_V3_PARAM_REC_S;
    expect_each_field_moves<E, P>({DU_DUZ_VPSS_GetNRV3Param, nullptr, nullptr, CommSceneautoSet3DNR},
                                  {
                                      PACKED(u8Global0, 1, 0, 8, 0x81),
                                      PACKED(u8Global1, 2, 0, 8, 0x82),
                                      PACKED(au8GroupSel[0], 3, 0, 8, 0x83),
                                      PACKED(au8Strength[0][0], 4, 0, 8, 0x84),
                                      PACKED(au8Strength[1][0], 5, 0, 8, 0x85),
                                      PACKED(au8Strength[2][0], 6, 0, 8, 0x86),
                                      PACKED(au8Strength[3][0], 7, 0, 8, 0x87),
                                      PACKED(au16Thresh[3][0], 8, 0, 8, 0x88),
                                      PACKED(au8GroupSel[1], 9, 0, 8, 0x89),
                                      PACKED(au8Strength[0][1], 10, 0, 8, 0x8A),
                                      PACKED(au8Strength[1][1], 11, 0, 8, 0x8B),
                                      PACKED(au8Strength[2][1], 12, 0, 8, 0x8C),
                                      PACKED(au8Strength[3][1], 13, 0, 8, 0x8D),
                                      PACKED(au16Thresh[3][1], 14, 0, 8, 0x8E),
                                      PACKED(au8GroupSel[2], 15, 0, 8, 0x8F),
                                      PACKED(au8Strength[0][2], 16, 0, 8, 0x90),
                                      PACKED(au8Strength[1][2], 17, 0, 8, 0x91),
                                      PACKED(au8Strength[2][2], 18, 0, 8, 0x92),
                                      PACKED(au8Strength[3][2], 19, 0, 8, 0x93),
                                      PACKED(au16Thresh[2][0], 20, 0, 2, 2),
                                      PACKED(au16Thresh[2][1], 20, 2, 2, 3),
                                      PACKED(au16Thresh[2][2], 20, 4, 2, 2),
                                      PACKED(au16Thresh[3][2], 20, 6, 10, 0x2A5),
                                      PACKED(au16Thresh[0][0], 22, 0, 4, 0x9),
                                      PACKED(au16Thresh[0][1], 22, 4, 4, 0xA),
                                      PACKED(au16Thresh[0][2], 23, 0, 4, 0xB),
                                      PACKED(u16Global, 23, 4, 4, 0xC),
                                      PACKED(au16Thresh[1][0], 24, 0, 5, 0x11),
                                      PACKED(au16Thresh[1][1], 24, 5, 5, 0x12),
                                      PACKED(au16Thresh[1][2], 24, 10, 5, 0x13),
                                      PACKED(u16BlendKey, 24, 15, 1, 1),
                                  });
}

TEST_F(AdapterVpssTest, TheGroupsSecondParameterBlockFieldByField)
{
    using E = SCENEAUTO_3DNR_PARAM_S;
    using P = VPSS_GRP_PARAM_V2_REC_S;
    expect_each_field_moves<E, P>({DU_DUZ_VPSS_GetGrpParamV2, nullptr, nullptr, CommSceneautoSet3DNR},
                                  {
                                      PACKED(au8GrpByte[0], 0, 0, 8, 0xA1),
                                      PACKED(au8GrpByte[1], 1, 0, 8, 0xA2),
                                      PACKED(au16GrpWord[0], 2, 0, 16, 0x8123),
                                      PACKED(au16GrpWord[1], 4, 0, 16, 0x8456),
                                      PACKED(au16GrpWord[2], 6, 0, 16, 0x8789),
                                      PACKED(au8GrpTail[0], 8, 0, 8, 0xB1),
                                      PACKED(au8GrpTail[1], 9, 0, 8, 0xB2),
                                      PACKED(au8GrpTail[2], 10, 0, 8, 0xB3),
                                      PACKED(au8GrpTail[3], 11, 0, 8, 0xB4),
                                  });
}
