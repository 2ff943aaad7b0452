// Every image-quality record on the simulated board: its checks, refused
// fields that leave every register untouched, good values that read back,
// the register and bits each field lives in, and each module's proc text.
#include "tests/isp/isp_iq_fixture.h"

#include "tests/isp/vreg_field_cases.h"

using namespace isptest;
using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

// ---- one table over every record -------------------------------------------------------------

// A record's Set and Get, what each field refuses, and a record of good
// values that reads back.
template <class T> struct Probe {
    const char *set_name;
    s32 (*set)(ISP_DEV, const T *);
    s32 (*get)(ISP_DEV, T *);
    void (*good)(T &); // every settable field away from its default
    struct Bad {
        const char *field;
        void (*change)(T &);
        const char *message;
        bool traced; // standard error after the prefix, else standard output
    };
    std::vector<Bad> bad;
    // The fields that read back, compared; null: the whole record.
    std::function<void(const T &set, const T &got)> same = nullptr;
    bool after_frame = false; // the Get shows a good Set only after the next frame
};

template <class T> std::function<void(IspIqTest &)> probe(Probe<T> p);

// What the whole record compares as, for records whose every byte reads back.
template <class T> void same_bytes(const T &a, const T &b) { EXPECT_EQ(memcmp(&a, &b, sizeof a), 0); }

template <class T> std::function<void(IspIqTest &)> probe(Probe<T> p)
{
    return [p](IspIqTest &t) {
        SCOPED_TRACE(p.set_name);
        IspIqTest &fx = t;
        static T base, rec, got; // the largest records are 32 KB
        memset(&base, 0, sizeof base);
        ASSERT_EQ(p.get(0, &base), 0);
        p.good(base);

        // The checks every call starts with.
        capture_stderr([&] {
            EXPECT_EQ(p.set(1, &base), kIllegal);
            EXPECT_EQ(p.set(0, nullptr), kNullPtr);
            EXPECT_EQ(p.get(0, nullptr), kNullPtr);
        });

        for (const auto &b : p.bad) {
            SCOPED_TRACE(b.field);
            rec = base;
            b.change(rec);
            const std::vector<u8> before = fx.pages();
            s32 ret = 0;
            std::string err, out = capture_stdout([&] { err = capture_stderr([&] { ret = p.set(0, &rec); }); });
            EXPECT_EQ(ret, kIllegal);
            if (b.traced) {
                EXPECT_NE(err.find(std::string("[Func]:") + p.set_name + " [Line]:"), std::string::npos) << err;
                EXPECT_NE(err.find(std::string("[Info]:") + b.message), std::string::npos) << err;
            } else {
                EXPECT_EQ(out, b.message);
            }
            EXPECT_TRUE(fx.pages() == before) << "a refused record changed registers";
        }

        ASSERT_EQ(p.set(0, &base), 0);
        if (p.after_frame) {
            fx.frame(); // the module hands it over
            fx.frame(); // the kernel switches it at the next frame
        }
        memset(&got, 0, sizeof got); // as the good record's padding
        ASSERT_EQ(p.get(0, &got), 0);
        if (p.same)
            p.same(base, got);
        else
            same_bytes(base, got);
    };
}

const char kBool2[] = "Invalid Isp Bool Type 2!\n";

std::vector<std::function<void(IspIqTest &)>> all_records()
{
    using DPC = ISP_DP_STATIC_CALIBRATE_S;
    using DPA = ISP_DP_ATTR_S;
    return {
        probe<ISP_BLACK_LEVEL_S>({"DU_DUZ_ISP_SetBlackLevelAttr",
                                  DU_DUZ_ISP_SetBlackLevelAttr,
                                  DU_DUZ_ISP_GetBlackLevelAttr,
                                  [](ISP_BLACK_LEVEL_S &r) { r = {{260, 256, 258, 4095}}; },
                                  {{"au16BlackLevel[2]", [](ISP_BLACK_LEVEL_S &r) { r.au16BlackLevel[2] = 4096; },
                                    "Invalid BlackLevel[2]:4096!\n", true}}}),
        probe<DPC>({"DU_DUZ_ISP_SetDPCalibrate",
                    DU_DUZ_ISP_SetDPCalibrate,
                    DU_DUZ_ISP_GetDPCalibrate,
                    [](DPC &r) {
                        r.bEnable = 0;
                        r.bEnableDetect = 0;
                        r.enStaticDPType = 1;
                        r.u8StartThresh = 40;
                        r.u16CountMax = 4095;
                        r.u16CountMin = 4095;
                        r.u16TimeLimit = 1600;
                        r.enStatus = 2;
                    },
                    {{"bEnable", [](DPC &r) { r.bEnable = 2; }, kBool2, true},
                     {"bEnableDetect", [](DPC &r) { r.bEnableDetect = 2; }, kBool2, true},
                     {"u16CountMax", [](DPC &r) { r.u16CountMax = 4096; }, "Invalid u16CountMax Parameter Input!", false},
                     {"u16CountMin", [](DPC &r) { r.u16CountMax = 100, r.u16CountMin = 101; },
                      "Invalid u16CountMin Parameter Input!", false},
                     {"u16TimeLimit", [](DPC &r) { r.u16TimeLimit = 1601; }, "Invalid u16TimeLimit Parameter Input!", false},
                     {"enStaticDPType", [](DPC &r) { r.enStaticDPType = 2; }, "Invalid  enStaticDPType Input!", false},
                     {"enStatus", [](DPC &r) { r.enStatus = 3; }, "Invalid  enStatus Input!", false},
                     {"u8StartThresh", [](DPC &r) { r.u8StartThresh = 0; }, "u8StartThresh  should be bigger than 0!", false},
                     {"both counts: the maximum first", [](DPC &r) { r.u16CountMax = 4096, r.u16CountMin = 4097; },
                      "Invalid u16CountMax Parameter Input!", false}},
                    [](const DPC &s, const DPC &g) {
                        EXPECT_EQ(g.bEnable, s.bEnable);
                        EXPECT_EQ(g.bEnableDetect, s.bEnableDetect);
                        EXPECT_EQ(g.enStaticDPType, s.enStaticDPType);
                        EXPECT_EQ(g.u8StartThresh, s.u8StartThresh);
                        EXPECT_EQ(g.u16CountMax, s.u16CountMax);
                        EXPECT_EQ(g.u16CountMin, s.u16CountMin);
                        EXPECT_EQ(g.u16TimeLimit, s.u16TimeLimit);
                        EXPECT_EQ(g.enStatus, s.enStatus);
                        EXPECT_EQ(g.u16Count, 0u); // nothing found yet, so no table
                        EXPECT_EQ(g.au32Table[0], 0u);
                    }}),
        probe<DPA>(
            {"DU_DUZ_ISP_SetDPAttr",
             DU_DUZ_ISP_SetDPAttr,
             DU_DUZ_ISP_GetDPAttr,
             [](DPA &r) {
                 r.stDynamicAttr = {0, 100, 200, 300, 4095, 50};
                 ISP_DP_STATIC_ATTR_S &s = r.stStaticAttr;
                 s.bEnable = 1;
                 s.bDetectMode = 1;
                 // Two ascending lists sharing one entry.
                 s.u16BrightCount = 2;
                 s.au32BrightTable[0] = 5, s.au32BrightTable[1] = 9;
                 s.u16DarkCount = 2;
                 s.au32DarkTable[0] = 5, s.au32DarkTable[1] = 7;
             },
             {{"dynamic bEnable", [](DPA &r) { r.stDynamicAttr.bEnable = 2; }, kBool2, true},
              {"u16Slope", [](DPA &r) { r.stDynamicAttr.u16Slope = 4096; }, "DynamicAttr u16Slope should be less  than 0xFFF!",
               false},
              {"u16Thresh", [](DPA &r) { r.stDynamicAttr.u16Thresh = 4096; },
               "DynamicAttr u16Thresh should be less  than 0xFFF!", false},
              {"u16LineThresh", [](DPA &r) { r.stDynamicAttr.u16LineThresh = 4096; },
               "DynamicAttr u16LineThresh should be less  than 0xFFF!", false},
              {"u16HpThresh", [](DPA &r) { r.stDynamicAttr.u16HpThresh = 4096; },
               "DynamicAttr u16HpThresh should be less  than 0xFFF!", false},
              {"static bEnable", [](DPA &r) { r.stStaticAttr.bEnable = 2; }, kBool2, true},
              {"u16BrightCount", [](DPA &r) { r.stStaticAttr.u16BrightCount = 4097; },
               "StaticAttr u16BrightCount should be less  than STATIC_DP_COUNT_MAX!", false},
              {"u16DarkCount", [](DPA &r) { r.stStaticAttr.u16DarkCount = 4097; },
               "StaticAttr u16DarkCount should be less  than STATIC_DP_COUNT_MAX!", false},
              // Every entry is checked, whatever the counts.
              {"au32BrightTable[4095]", [](DPA &r) { r.stStaticAttr.au32BrightTable[4095] = 0x1000000; },
               "au32DarkTable and au32BrightTable should be less than 0x1000000!", false},
              {"au32DarkTable[3000]", [](DPA &r) { r.stStaticAttr.au32DarkTable[3000] = 0xFFFFFFFF; },
               "au32DarkTable and au32BrightTable should be less than 0x1000000!", false},
              {"bDetectMode", [](DPA &r) { r.stStaticAttr.bDetectMode = 2; }, kBool2, true},
              {"merged: 4096 bright and one more dark",
               [](DPA &r) {
                   ISP_DP_STATIC_ATTR_S &s = r.stStaticAttr;
                   s.u16BrightCount = 4096;
                   for (u32 i = 0; i < 4096; i++)
                       s.au32BrightTable[i] = 2 * i;
                   s.u16DarkCount = 1;
                   s.au32DarkTable[0] = 1;
               },
               "The size of merging DP table(BrightTable and DarkTable) is larger than STATIC_DP_COUNT_MAX!", false},
              // The count register holds 12 bits: a full table would read as empty.
              {"merged: 4096 bright alone",
               [](DPA &r) {
                   ISP_DP_STATIC_ATTR_S &s = r.stStaticAttr;
                   s.u16BrightCount = 4096;
                   for (u32 i = 0; i < 4096; i++)
                       s.au32BrightTable[i] = i;
                   s.u16DarkCount = 0;
               },
               "The size of merging DP table(BrightTable and DarkTable) is larger than STATIC_DP_COUNT_MAX!", false}},
             [](const DPA &s, const DPA &g) {
                 const ISP_DP_DYNAMIC_ATTR_S &a = s.stDynamicAttr, &b = g.stDynamicAttr;
                 EXPECT_EQ(b.bEnable, a.bEnable);
                 EXPECT_EQ(b.u16Slope, a.u16Slope);
                 EXPECT_EQ(b.u16Thresh, a.u16Thresh);
                 EXPECT_EQ(b.u16LineThresh, a.u16LineThresh);
                 EXPECT_EQ(b.u16HpThresh, a.u16HpThresh);
                 EXPECT_EQ(b.u8BlendRatio, a.u8BlendRatio);
                 EXPECT_EQ(g.stStaticAttr.bEnable, 1u);
                 EXPECT_EQ(g.stStaticAttr.bDetectMode, 1u);
                 // The merged table {5, 7, 9} comes back as the bright one.
                 EXPECT_EQ(g.stStaticAttr.u16BrightCount, 3u);
                 EXPECT_EQ(IO_READ16(H + 0x1F4) & 0xFFF, 3u);
                 EXPECT_EQ(g.stStaticAttr.u16DarkCount, 0u);
                 EXPECT_EQ(g.stStaticAttr.au32DarkTable[0], 0u);
             }}),
        probe<ISP_DRC_CFG_S>(
            {"DU_DUZ_ISP_SetDRCAttr",
             DU_DUZ_ISP_SetDRCAttr,
             DU_DUZ_ISP_GetDRCAttr,
             [](ISP_DRC_CFG_S &r) { r = {1, 255, 20, 4095, 100, 15, 9, 30, 180, 1, 77, 255}; },
             {{"bEnable", [](ISP_DRC_CFG_S &r) { r.bEnable = 2; }, kBool2, true},
              {"u32SlopeMax", [](ISP_DRC_CFG_S &r) { r.u32SlopeMax = 256; }, "Invalid u32SlopeMax Parameter Input!", false},
              {"u32SlopeMin", [](ISP_DRC_CFG_S &r) { r.u32SlopeMin = 256; }, "Invalid u32SlopeMin Parameter Input!", false},
              {"u32WhiteLevel", [](ISP_DRC_CFG_S &r) { r.u32WhiteLevel = 4096; }, "Invalid u32WhiteLevel Parameter Input!",
               false},
              {"u32BlackLevel", [](ISP_DRC_CFG_S &r) { r.u32BlackLevel = 4096; }, "Invalid u32BlackLevel Parameter Input!",
               false},
              {"u32VarianceSpace", [](ISP_DRC_CFG_S &r) { r.u32VarianceSpace = 16; },
               "Invalid u32VarianceSpace Parameter Input!", false},
              {"u32VarianceIntensity", [](ISP_DRC_CFG_S &r) { r.u32VarianceIntensity = 16; },
               "Invalid u32VarianceIntensity Parameter Input!", false},
              {"u32Asymmetry", [](ISP_DRC_CFG_S &r) { r.u32Asymmetry = 256; }, "Invalid u32Asymmetry Parameter Input!", false},
              {"u32BrightEnhance", [](ISP_DRC_CFG_S &r) { r.u32BrightEnhance = 256; },
               "Invalid u32BrightEnhance Parameter Input!", false},
              {"enOpType", [](ISP_DRC_CFG_S &r) { r.enOpType = 2; }, "Invalid DRC Op mode:2!\n", true},
              {"u32Strength", [](ISP_DRC_CFG_S &r) { r.u32Strength = 256; }, "Invalid u32Strength:256!\n", true},
              {"u32StrengthTarget", [](ISP_DRC_CFG_S &r) { r.u32StrengthTarget = 256; }, "Invalid u32StrengthTarget 256!\n",
               true},
              {"the target before the strength",
               [](ISP_DRC_CFG_S &r) { r.u32Strength = 256, r.u32StrengthTarget = 256, r.enOpType = 2; },
               "Invalid u32StrengthTarget 256!\n", true}}}),
        probe<ISP_NR_ATTR_S>({"DU_DUZ_ISP_SetNRAttr",
                              DU_DUZ_ISP_SetNRAttr,
                              DU_DUZ_ISP_GetNRAttr,
                              [](ISP_NR_ATTR_S &r) {
                                  r.bEnable = 0;
                                  r.enOpType = 1;
                                  r.u8ThreshS = 11;
                                  r.u8ThreshL = 22;
                                  fill(r.au8Thresh, 16, 200, 3);
                              },
                              {{"bEnable", [](ISP_NR_ATTR_S &r) { r.bEnable = 2; }, kBool2, true},
                               {"enOpType", [](ISP_NR_ATTR_S &r) { r.enOpType = 2; }, "Invalid NR type 2!\n", true}}}),
        probe<ISP_NP_TABLE_S>({"DU_DUZ_ISP_SetNPTable",
                               DU_DUZ_ISP_SetNPTable,
                               DU_DUZ_ISP_GetNPTable,
                               [](ISP_NP_TABLE_S &r) { fill(r.au8NPTable, NP_NODE_NUM, 255, 255); },
                               {}}),
        probe<ISP_SHARPEN_ATTR_S>(
            {"DU_DUZ_ISP_SetSharpenAttr",
             DU_DUZ_ISP_SetSharpenAttr,
             DU_DUZ_ISP_GetSharpenAttr,
             [](ISP_SHARPEN_ATTR_S &r) {
                 r.bEnable = 0;
                 r.enOpType = 1;
                 r.u8SharpenD = 255, r.u8SharpenUd = 1, r.u8SharpenRGB = 254;
                 fill(r.au8SharpenD, 16, 1, 5);
                 fill(r.au8SharpenUd, 16, 2, 7);
                 fill(r.au8SharpenRGB, 16, 3, 11);
                 r.u8RGBSharpenCurve = 200, r.u8RGBSharpenStrength = 127, r.u8RGBSharpenMagnitude = 31;
             },
             {{"bEnable", [](ISP_SHARPEN_ATTR_S &r) { r.bEnable = 2; }, kBool2, true},
              {"enOpType", [](ISP_SHARPEN_ATTR_S &r) { r.enOpType = 2; }, "Invalid Sharpen Type 2!\n", true},
              {"u8RGBSharpenStrength", [](ISP_SHARPEN_ATTR_S &r) { r.u8RGBSharpenStrength = 128; },
               "Invalid RGBSharpen Strength 128!\n", true},
              {"u8RGBSharpenMagnitude", [](ISP_SHARPEN_ATTR_S &r) { r.u8RGBSharpenMagnitude = 32; },
               "Invalid RGBSharpen Magnitude 32!\n", true}}}),
        probe<ISP_GAMMA_ATTR_S>(
            {"DU_DUZ_ISP_SetGammaAttr",
             DU_DUZ_ISP_SetGammaAttr,
             DU_DUZ_ISP_GetGammaAttr,
             [](ISP_GAMMA_ATTR_S &r) {
                 r.bEnable = 1;
                 r.enCurveType = 2;
                 for (u32 i = 0; i < 257; i++)
                     r.au16Table[i] = (u16)(i * 4095 / 256);
             },
             {{"bEnable", [](ISP_GAMMA_ATTR_S &r) { r.bEnable = 2; }, kBool2, true},
              {"enCurveType", [](ISP_GAMMA_ATTR_S &r) { r.enCurveType = 3; }, "Invalid ISP Gamma Curve Type 3!\n", false},
              {"au16Table[100]", [](ISP_GAMMA_ATTR_S &r) { r.au16Table[100] = 4096; }, "Invalid Gamma Table[100] 4096!\n",
               true}},
             nullptr,
             true}),
        probe<ISP_GAMMAFE_ATTR_S>({"DU_DUZ_ISP_SetGammaFEAttr",
                                   DU_DUZ_ISP_SetGammaFEAttr,
                                   DU_DUZ_ISP_GetGammaFEAttr,
                                   [](ISP_GAMMAFE_ATTR_S &r) {
                                       r.bEnable = 1;
                                       for (u32 i = 0; i < 33; i++)
                                           r.au16Node[i] = (u16)(2047 * i);
                                       for (u32 i = 0; i < 257; i++)
                                           r.au16Table[i] = (u16)(65535 - i);
                                   },
                                   {{"bEnable", [](ISP_GAMMAFE_ATTR_S &r) { r.bEnable = 2; }, kBool2, true}}}),
        probe<ISP_DEMOSAIC_ATTR_S>(
            {"DU_DUZ_ISP_SetDemosaicAttr",
             DU_DUZ_ISP_SetDemosaicAttr,
             DU_DUZ_ISP_GetDemosaicAttr,
             [](ISP_DEMOSAIC_ATTR_S &r) {
                 r.u8VhSlope = 1, r.u8AaSlope = 2, r.u8VaSlope = 3, r.u8UuSlope = 255;
                 r.u16VhThresh = 4095, r.u16AaThresh = 1, r.u16VaThresh = 2, r.u16UuThresh = 3;
                 r.enCfgType = 3;
                 fill(r.au8LumThresh, 16, 9, 9);
                 fill(r.au8NpOffset, 16, 4, 4);
             },
             {{"u16VhThresh", [](ISP_DEMOSAIC_ATTR_S &r) { r.u16VhThresh = 4096; }, "Invalid Demosaic VhThresh 4096!\n", true},
              {"u16AaThresh", [](ISP_DEMOSAIC_ATTR_S &r) { r.u16AaThresh = 4096; }, "Invalid Demosaic AaThresh 4096!\n", true},
              {"u16VaThresh", [](ISP_DEMOSAIC_ATTR_S &r) { r.u16VaThresh = 4096; }, "Invalid Demosaic VaThresh 4096!\n", true},
              {"u16UuThresh", [](ISP_DEMOSAIC_ATTR_S &r) { r.u16UuThresh = 5000; }, "Invalid Demosaic UuThresh 5000!\n", true},
              {"enCfgType", [](ISP_DEMOSAIC_ATTR_S &r) { r.enCfgType = 5; }, "Invalid Demosaic Config 5!\n", true},
              {"a threshold before the configuration", [](ISP_DEMOSAIC_ATTR_S &r) { r.enCfgType = 5, r.u16UuThresh = 4096; },
               "Invalid Demosaic UuThresh 4096!\n", true}}}),
        probe<ISP_ANTI_FALSECOLOR_S>({"DU_DUZ_ISP_SetAntiFalseColorAttr",
                                      DU_DUZ_ISP_SetAntiFalseColorAttr,
                                      DU_DUZ_ISP_GetAntiFalseColorAttr,
                                      [](ISP_ANTI_FALSECOLOR_S &r) { r.u8Strength = 7; },
                                      {}}),
        probe<ISP_COLORTONE_S>({"DU_DUZ_ISP_SetColorToneAttr",
                                DU_DUZ_ISP_SetColorToneAttr,
                                DU_DUZ_ISP_GetColorToneAttr,
                                [](ISP_COLORTONE_S &r) { r = {300, 250, 65535}; },
                                {}}),
        probe<ISP_CR_ATTR_S>(
            {"DU_DUZ_ISP_SetCrosstalkAttr",
             DU_DUZ_ISP_SetCrosstalkAttr,
             DU_DUZ_ISP_GetCrosstalkAttr,
             [](ISP_CR_ATTR_S &r) {
                 r.bEnable = 0;
                 fill(r.au8Strength, 16, 100, 1);
                 r.u8Weight = 3;
                 r.u16Threshold = 4095;
                 r.u16Slope = 9;
             },
             {{"bEnable", [](ISP_CR_ATTR_S &r) { r.bEnable = 2; }, kBool2, true},
              {"u16Threshold", [](ISP_CR_ATTR_S &r) { r.u16Threshold = 4096; }, "Invalid CrosstalkAttr u16Threshold:4096!\n",
               true},
              {"u16Slope", [](ISP_CR_ATTR_S &r) { r.u16Slope = 4096; }, "Invalid CrosstalkAttr u16Slope:4096!\n", true}}}),
        probe<ISP_FSWDR_ATTR_S>(
            {"DU_DUZ_ISP_SetFSWDRAttr",
             DU_DUZ_ISP_SetFSWDRAttr,
             DU_DUZ_ISP_GetFSWDRAttr,
             [](ISP_FSWDR_ATTR_S &r) { r = {1, 800, 800, 1}; }, // equal thresholds pass
             {{"bEnable", [](ISP_FSWDR_ATTR_S &r) { r.bEnable = 2; }, kBool2, true},
              {"u16ShortThresh", [](ISP_FSWDR_ATTR_S &r) { r.u16ShortThresh = 4096; }, "Invalid u16ShortThresh 4096!\n", false},
              {"u16LongThresh", [](ISP_FSWDR_ATTR_S &r) { r.u16LongThresh = 4096; }, "Invalid u16LongThresh 4096!\n", false},
              {"long above short", [](ISP_FSWDR_ATTR_S &r) { r.u16ShortThresh = 99, r.u16LongThresh = 100; },
               "u16LongThresh should NOT be larger than u16ShortThresh!", false},
              {"enFSWDRComMode", [](ISP_FSWDR_ATTR_S &r) { r.enFSWDRComMode = 2; }, "Invalid enFSWDRComMode 2!\n", false}}}),
    };
}

} // namespace

TEST_F(IspIqTest, EachRecordRefusesItsBadFieldsUntouchedAndReadsBackItsGoodOnes)
{
    for (auto &run : all_records())
        run(*this);
}

// ---- where each field lives -----------------------------------------------------------------------

// Each field's register and bits, written out from the register map rather
// than taken from the code's tables: a Set lands in them, the Get reads
// them back.
TEST_F(IspIqTest, EachFieldLivesInItsRegister)
{
    using vregcases::FieldCase;
    {
        SCOPED_TRACE("black level");
        ISP_BLACK_LEVEL_S base = {};
        vregcases::check_fields<ISP_BLACK_LEVEL_S>(
            {VREG_CASE(ISP_BLACK_LEVEL_S, au16BlackLevel[0], 0x125A4, 2, 0xFFFF, 300, 301),
             VREG_CASE(ISP_BLACK_LEVEL_S, au16BlackLevel[3], 0x125AA, 2, 0xFFFF, 4095, 7)},
            base, DU_DUZ_ISP_SetBlackLevelAttr, DU_DUZ_ISP_GetBlackLevelAttr);
    }
    {
        SCOPED_TRACE("defect-pixel calibration");
        static ISP_DP_STATIC_CALIBRATE_S base;
        ASSERT_EQ(DU_DUZ_ISP_GetDPCalibrate(0, &base), 0);
        using C = ISP_DP_STATIC_CALIBRATE_S;
        vregcases::check_fields<C>({VREG_CASE(C, bEnable, 0x205A01E8, 1, 0x04, 1, 0),
                                    VREG_CASE(C, enStaticDPType, 0x12116, 1, 0x01, 1, 0),
                                    VREG_CASE(C, u8StartThresh, 0x12106, 2, 0x00FF, 200, 5),
                                    VREG_CASE(C, u16CountMax, 0x12110, 2, 0xFFFF, 300, 4000),
                                    VREG_CASE(C, u16CountMin, 0x12112, 2, 0xFFFF, 100, 3),
                                    VREG_CASE(C, u16TimeLimit, 0x12108, 2, 0xFFFF, 800, 9),
                                    VREG_CASE(C, enStatus, 0x12106, 2, 0x0300, 2, 1),
                                    VREG_CASE(C, bEnableDetect, 0x10308, 1, 0x01, 0, 1)},
                                   base, DU_DUZ_ISP_SetDPCalibrate, DU_DUZ_ISP_GetDPCalibrate);
        vregcases::check_fields<C>({VREG_CASE(C, u8FinishThresh, 0x12104, 1, 0xFF, 0, 77),
                                    VREG_CASE(C, u16Count, 0x205A01EC, 2, 0x0FFF, 0, 0)},
                                   base, nullptr, DU_DUZ_ISP_GetDPCalibrate);
    }
    {
        SCOPED_TRACE("defect-pixel attributes");
        static ISP_DP_ATTR_S base;
        ASSERT_EQ(DU_DUZ_ISP_GetDPAttr(0, &base), 0);
        using A = ISP_DP_ATTR_S;
        vregcases::check_fields<A>({VREG_CASE(A, stDynamicAttr.bEnable, 0x205A01C0, 1, 0x04, 0, 1),
                                    VREG_CASE(A, stDynamicAttr.u16Slope, 0x1219C, 2, 0xFFFF, 4095, 12),
                                    VREG_CASE(A, stDynamicAttr.u16Thresh, 0x1219E, 2, 0xFFFF, 17, 4000),
                                    VREG_CASE(A, stDynamicAttr.u16LineThresh, 0x205A01B0, 2, 0x0FFF, 333, 2),
                                    VREG_CASE(A, stDynamicAttr.u16HpThresh, 0x205A01DC, 2, 0x0FFF, 444, 3),
                                    VREG_CASE(A, stDynamicAttr.u8BlendRatio, 0x205A01B4, 1, 0xFF, 255, 4),
                                    VREG_CASE(A, stStaticAttr.bEnable, 0x205A01E8, 1, 0x04, 1, 0),
                                    VREG_CASE(A, stStaticAttr.bDetectMode, 0x205A01E8, 1, 0x08, 1, 0)},
                                   base, DU_DUZ_ISP_SetDPAttr, DU_DUZ_ISP_GetDPAttr);
    }
    {
        SCOPED_TRACE("DRC");
        ISP_DRC_CFG_S base;
        ASSERT_EQ(DU_DUZ_ISP_GetDRCAttr(0, &base), 0);
        using D = ISP_DRC_CFG_S;
        vregcases::check_fields<D>({VREG_CASE(D, bEnable, 0x205A0380, 1, 0x01, 1, 0),
                                    VREG_CASE(D, u32SlopeMax, 0x205A0389, 1, 0xFF, 201, 3),
                                    VREG_CASE(D, u32SlopeMin, 0x205A038A, 1, 0xFF, 5, 250),
                                    VREG_CASE(D, u32WhiteLevel, 0x205A0394, 2, 0x0FFF, 4095, 9),
                                    VREG_CASE(D, u32BlackLevel, 0x205A0390, 2, 0x0FFF, 64, 4000),
                                    VREG_CASE(D, u32VarianceSpace, 0x205A0388, 1, 0x0F, 15, 2),
                                    VREG_CASE(D, u32VarianceIntensity, 0x205A0388, 1, 0xF0, 3, 14),
                                    VREG_CASE(D, u32Asymmetry, 0x1032E, 1, 0xFF, 99, 1),
                                    VREG_CASE(D, u32BrightEnhance, 0x1032F, 1, 0xFF, 7, 254),
                                    VREG_CASE(D, enOpType, 0x10301, 1, 0x02, 1, 0),
                                    VREG_CASE(D, u32Strength, 0x1032C, 1, 0xFF, 255, 6),
                                    VREG_CASE(D, u32StrengthTarget, 0x1032D, 1, 0xFF, 8, 200)},
                                   base, DU_DUZ_ISP_SetDRCAttr, DU_DUZ_ISP_GetDRCAttr);
    }
    {
        SCOPED_TRACE("noise reduction");
        ISP_NR_ATTR_S base;
        ASSERT_EQ(DU_DUZ_ISP_GetNRAttr(0, &base), 0);
        using N = ISP_NR_ATTR_S;
        vregcases::check_fields<N>({VREG_CASE(N, bEnable, 0x205A0200, 1, 0x10, 0, 1),
                                    VREG_CASE(N, enOpType, 0x11A00, 1, 0x01, 1, 0),
                                    VREG_CASE(N, u8ThreshS, 0x10330, 1, 0xFF, 200, 2),
                                    VREG_CASE(N, u8ThreshL, 0x10331, 1, 0xFF, 3, 201),
                                    VREG_CASE(N, au8Thresh[0], 0x12356, 1, 0xFF, 11, 12),
                                    VREG_CASE(N, au8Thresh[15], 0x12365, 1, 0xFF, 13, 14)},
                                   base, DU_DUZ_ISP_SetNRAttr, DU_DUZ_ISP_GetNRAttr);
        ISP_NP_TABLE_S np;
        ASSERT_EQ(DU_DUZ_ISP_GetNPTable(0, &np), 0);
        vregcases::check_fields<ISP_NP_TABLE_S>(
            {VREG_CASE(ISP_NP_TABLE_S, au8NPTable[0], 0x11A10, 1, 0xFF, 250, 1),
             VREG_CASE(ISP_NP_TABLE_S, au8NPTable[127], 0x11A8F, 1, 0xFF, 2, 251)},
            np, DU_DUZ_ISP_SetNPTable, DU_DUZ_ISP_GetNPTable);
    }
    {
        SCOPED_TRACE("sharpen");
        ISP_SHARPEN_ATTR_S base;
        ASSERT_EQ(DU_DUZ_ISP_GetSharpenAttr(0, &base), 0);
        using S = ISP_SHARPEN_ATTR_S;
        vregcases::check_fields<S>({VREG_CASE(S, bEnable, 0x12000, 1, 0x01, 0, 1),
                                    VREG_CASE(S, enOpType, 0x12000, 1, 0x02, 1, 0),
                                    VREG_CASE(S, u8SharpenD, 0x12002, 2, 0xFF00, 201, 7),
                                    VREG_CASE(S, u8SharpenUd, 0x12008, 2, 0x00FF, 8, 202),
                                    VREG_CASE(S, u8SharpenRGB, 0x12004, 2, 0xFF00, 203, 9),
                                    VREG_CASE(S, au8SharpenD[0], 0x12326, 1, 0xFF, 21, 22),
                                    VREG_CASE(S, au8SharpenUd[5], 0x1233B, 1, 0xFF, 23, 24),
                                    VREG_CASE(S, au8SharpenRGB[15], 0x12355, 1, 0xFF, 25, 26),
                                    VREG_CASE(S, u8RGBSharpenCurve, 0x1200A, 1, 0xFF, 180, 3),
                                    VREG_CASE(S, u8RGBSharpenStrength, 0x1200B, 1, 0x7F, 127, 4),
                                    VREG_CASE(S, u8RGBSharpenMagnitude, 0x1200C, 1, 0x1F, 31, 5)},
                                   base, DU_DUZ_ISP_SetSharpenAttr, DU_DUZ_ISP_GetSharpenAttr);
    }
    {
        SCOPED_TRACE("gamma");
        static ISP_GAMMA_ATTR_S base;
        ASSERT_EQ(DU_DUZ_ISP_GetGammaAttr(0, &base), 0);
        using G = ISP_GAMMA_ATTR_S;
        vregcases::check_fields<G>({VREG_CASE(G, bEnable, 0x205A04C0, 1, 0x01, 0, 1),
                                    VREG_CASE(G, enCurveType, 0x12120, 1, 0xFF, 2, 1)},
                                   base, DU_DUZ_ISP_SetGammaAttr, DU_DUZ_ISP_GetGammaAttr);
        static ISP_GAMMAFE_ATTR_S fe;
        ASSERT_EQ(DU_DUZ_ISP_GetGammaFEAttr(0, &fe), 0);
        using F = ISP_GAMMAFE_ATTR_S;
        vregcases::check_fields<F>({VREG_CASE(F, bEnable, 0x205A0188, 1, 0x02, 1, 0),
                                    VREG_CASE(F, au16Node[0], 0x205A3800, 4, 0xFFFF, 1000, 2),
                                    VREG_CASE(F, au16Node[32], 0x205A3880, 4, 0xFFFF, 65535, 3),
                                    VREG_CASE(F, au16Table[0], 0x205A2000, 4, 0xFFFF, 4, 5),
                                    VREG_CASE(F, au16Table[256], 0x205A2400, 4, 0xFFFF, 4095, 6)},
                                   fe, DU_DUZ_ISP_SetGammaFEAttr, DU_DUZ_ISP_GetGammaFEAttr);
        EXPECT_EQ(IO_READ8(0x205A0188) & 0x08, 0u); // the curve access closed again
    }
    {
        SCOPED_TRACE("demosaic, anti false colour, colour tone, crosstalk");
        ISP_DEMOSAIC_ATTR_S dm;
        ASSERT_EQ(DU_DUZ_ISP_GetDemosaicAttr(0, &dm), 0);
        using M = ISP_DEMOSAIC_ATTR_S;
        vregcases::check_fields<M>({VREG_CASE(M, u8VhSlope, 0x205A0400, 1, 0xFF, 1, 2),
                                    VREG_CASE(M, u8AaSlope, 0x205A0404, 1, 0xFF, 3, 4),
                                    VREG_CASE(M, u8VaSlope, 0x205A0408, 1, 0xFF, 5, 6),
                                    VREG_CASE(M, u8UuSlope, 0x205A040C, 1, 0xFF, 7, 8),
                                    VREG_CASE(M, u16VhThresh, 0x205A0414, 2, 0x0FFF, 4095, 9),
                                    VREG_CASE(M, u16AaThresh, 0x205A0418, 2, 0x0FFF, 10, 11),
                                    VREG_CASE(M, u16VaThresh, 0x205A041C, 2, 0x0FFF, 12, 13),
                                    VREG_CASE(M, u16UuThresh, 0x205A0420, 2, 0x0FFF, 14, 15),
                                    VREG_CASE(M, au8LumThresh[0], 0x12386, 1, 0xFF, 16, 17),
                                    VREG_CASE(M, au8NpOffset[15], 0x12385, 1, 0xFF, 18, 19)},
                                   dm, DU_DUZ_ISP_SetDemosaicAttr, DU_DUZ_ISP_GetDemosaicAttr);
        ISP_ANTI_FALSECOLOR_S fc = {};
        vregcases::check_fields<ISP_ANTI_FALSECOLOR_S>(
            {VREG_CASE(ISP_ANTI_FALSECOLOR_S, u8Strength, 0x205A045C, 1, 0xFF, 99, 100)}, fc,
            DU_DUZ_ISP_SetAntiFalseColorAttr, DU_DUZ_ISP_GetAntiFalseColorAttr);
        ISP_COLORTONE_S ct = {256, 256, 256};
        using T = ISP_COLORTONE_S;
        vregcases::check_fields<T>({VREG_CASE(T, u16RedCastGain, 0x205A04A8, 2, 0xFFFF, 300, 301),
                                    VREG_CASE(T, u16GreenCastGain, 0x205A04AC, 2, 0xFFFF, 302, 303),
                                    VREG_CASE(T, u16BlueCastGain, 0x205A04B0, 2, 0xFFFF, 304, 305)},
                                   ct, DU_DUZ_ISP_SetColorToneAttr, DU_DUZ_ISP_GetColorToneAttr);
        ISP_CR_ATTR_S cr;
        ASSERT_EQ(DU_DUZ_ISP_GetCrosstalkAttr(0, &cr), 0);
        using R = ISP_CR_ATTR_S;
        vregcases::check_fields<R>({VREG_CASE(R, bEnable, 0x205A01C0, 1, 0x01, 0, 1),
                                    VREG_CASE(R, au8Strength[3], 0x12369, 1, 0xFF, 20, 21),
                                    VREG_CASE(R, u8Weight, 0x205A01D8, 1, 0xFF, 22, 23),
                                    VREG_CASE(R, u16Threshold, 0x205A01CC, 2, 0x0FFF, 4095, 24),
                                    VREG_CASE(R, u16Slope, 0x205A01D4, 2, 0x0FFF, 25, 4000)},
                                   cr, DU_DUZ_ISP_SetCrosstalkAttr, DU_DUZ_ISP_GetCrosstalkAttr);
    }
    {
        SCOPED_TRACE("frame WDR");
        ISP_FSWDR_ATTR_S base = {1, 4095, 0, 0};
        using W = ISP_FSWDR_ATTR_S;
        vregcases::check_fields<W>({VREG_CASE(W, bEnable, 0x205A0150, 1, 0x02, 0, 1),
                                    VREG_CASE(W, u16ShortThresh, 0x205A0152, 2, 0x0FFF, 4000, 3),
                                    VREG_CASE(W, u16LongThresh, 0x205A0154, 2, 0x0FFF, 4095, 5),
                                    VREG_CASE(W, enFSWDRComMode, 0x205A0150, 1, 0x20, 1, 0)},
                                   base, DU_DUZ_ISP_SetFSWDRAttr, DU_DUZ_ISP_GetFSWDRAttr);
    }
}

// The demosaic configuration goes to its register as the hardware's code;
// a code the record has no value for reads back as 5.
TEST_F(IspIqTest, TheDemosaicConfigurationIsCodedInItsRegister)
{
    ISP_DEMOSAIC_ATTR_S dm;
    ASSERT_EQ(DU_DUZ_ISP_GetDemosaicAttr(0, &dm), 0);
    const u32 codes[5] = {0, 19, 17, 18, 4};
    for (u32 cfg = 0; cfg < 5; cfg++) {
        SCOPED_TRACE(cfg);
        dm.enCfgType = cfg;
        ASSERT_EQ(DU_DUZ_ISP_SetDemosaicAttr(0, &dm), 0);
        EXPECT_EQ(IO_READ8(0x205A044C), codes[cfg]);
        ISP_DEMOSAIC_ATTR_S back;
        ASSERT_EQ(DU_DUZ_ISP_GetDemosaicAttr(0, &back), 0);
        EXPECT_EQ(back.enCfgType, cfg);
    }
    IO_WRITE8(0x205A044C, 7);
    ASSERT_EQ(DU_DUZ_ISP_GetDemosaicAttr(0, &dm), 0);
    EXPECT_EQ(dm.enCfgType, 5u);
}

// Each module's proc text stays within the space the record gives it, cut
// short and still ended by its zero.
TEST_F(IspIqTest, ProcTextStaysWithinItsSpace)
{
    for (ISP_ALG_ID_E id : {ISP_ALG_DRC, ISP_ALG_DEMOSAIC, ISP_ALG_NR, ISP_ALG_SHARPEN}) {
        SCOPED_TRACE(id);
        char whole[1024] = {}, cut[64];
        ISP_CTRL_PROC_WRITE_S all = {whole, sizeof whole - 1, 0};
        ASSERT_EQ(slot(id).stAlgFunc.pfn_alg_ctrl(0, ISP_PROC_WRITE, &all), 0);
        ASSERT_GT(all.u32WriteLen, 40u);
        EXPECT_EQ(whole[all.u32WriteLen - 1], '\0');
        memset(cut, 0x5A, sizeof cut);
        ISP_CTRL_PROC_WRITE_S small = {cut, 40, 0};
        ASSERT_EQ(slot(id).stAlgFunc.pfn_alg_ctrl(0, ISP_PROC_WRITE, &small), 0);
        EXPECT_LE(small.u32WriteLen, 40u);
        EXPECT_EQ(cut[small.u32WriteLen - 1], '\0');
        EXPECT_EQ(std::string(cut), std::string(whole, 39));
        for (size_t i = 40; i < sizeof cut; i++)
            ASSERT_EQ(cut[i], 0x5A) << i;
    }
}
