// The written check rules of the picture operators, one table: a picture
// too small, too large, with a misaligned stride, of the wrong type or size,
// an unknown mode, and the limits that pass. Each row is the whole of what
// the call reports (the check's messages, then the operator's own line) and
// the code it returns; a call that passes reaches the engine.
#include "tests/ive/ive_fixture.h"

using namespace ivetest;

namespace {

constexpr s32 kIllegal = (s32)0xA01D8003, kNull = (s32)0xA01D8006;
constexpr u32 U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, YUV420 = IVE_IMAGE_TYPE_YUV420SP,
              S8C2 = IVE_IMAGE_TYPE_S8C2_PACKAGE, S16C1 = IVE_IMAGE_TYPE_S16C1, U16C1 = IVE_IMAGE_TYPE_U16C1,
              RGB = IVE_IMAGE_TYPE_U8C3_PACKAGE, PLANAR = IVE_IMAGE_TYPE_U8C3_PLANAR;

// The messages of the image test, as it and the check report them.
std::string too_narrow(const char *name, int w, int lo, int hi)
{
    return "pstImage->u16Width(" + std::to_string(w) + ") must be in [" + std::to_string(lo) + ", " +
           std::to_string(hi) + "]!\ncheck image " + name + " failed!\n";
}
std::string too_high(const char *name, int h, int lo, int hi)
{
    return "pstImage->u16Height(" + std::to_string(h) + ") must be in [" + std::to_string(lo) + " ," +
           std::to_string(hi) + "]!\ncheck image " + name + " failed!\n";
}
std::string bad_stride(const char *name, int stride, int plane = 0)
{
    return "stride(" + std::to_string(stride) + ") must be 16 align!\ncheck pstImage->u16Stride[" +
           std::to_string(plane) + "] failed!\ncheck image " + name + " failed!\n";
}
std::string not_same(const char *name, int w, int h, const char *ref, int rw, int rh, const char *end = "!\n")
{
    return std::string(name) + "->u16Width(" + std::to_string(w) + ") and " + name + "->u16Height(" +
           std::to_string(h) + ") must be equal to " + ref + "->u16Width(" + std::to_string(rw) + ") and " + ref +
           "->u16Height(" + std::to_string(rh) + ")" + end;
}

class IveRules : public IveTest {
protected:
    IVE_TASK_HANDLE h_;

    IVE_IMG_DESC_S pic(u32 type, u16 w = 64, u16 ht = 64, u16 stride = 0) { return image(type, w, ht, stride); }
    // A picture whose first plane starts `by` bytes into its allocation.
    IVE_IMG_DESC_S shifted(u32 type, u32 by, u16 w = 64, u16 ht = 64)
    {
        IVE_IMG_DESC_S d = image(type, w, (u16)(ht + 1));
        d.u16Height = ht;
        d.u32PhyAddr[0] += by;
        d.pu8VirAddr[0] += by;
        return d;
    }
    IVE_MEM_BLOCK_S shifted_block(u32 size, u32 by)
    {
        IVE_MEM_BLOCK_S m = block(size + by);
        m.u32PhyAddr += by;
        m.pu8VirAddr += by;
        m.u32Size = size;
        return m;
    }

    struct Rule {
        const char *name;
        std::function<s32()> call;
        s32 code;
        std::string text; // every message but the operator's line; "" when the call passes
        const char *op;   // the operator's name in its line
    };
    static std::string reported(const std::string &err)
    {
        std::string text;
        for (size_t at = 0; (at = err.find("[Info]:", at)) != std::string::npos;) {
            at += 7;
            const size_t next = err.find("[Func]:", at);
            text += err.substr(at, next == std::string::npos ? std::string::npos : next - at);
        }
        return text;
    }
    // Each row is the whole of what its call reports: the rule's messages,
    // then the operator's line naming the failed check.
    void check(const std::vector<Rule> &rules)
    {
        std::vector<argrules::Case> cases;
        for (const Rule &r : rules) {
            char line[96];
            snprintf(line, sizeof line, "Error(%#x): check %s parameters failed!\n", (u32)r.code, r.op);
            cases.push_back({r.name, r.call, r.code, r.code == 0 ? "" : r.text + line});
        }
        argrules::Watch w = engine_watch();
        w.whole = true;
        w.shown = reported;
        argrules::run(cases, w);
    }
};

TEST_F(IveRules, FilterColourAndGradientOperators)
{
    auto filter = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S d, u8 norm = 0) {
        IVE_FILTER_CTRL_S c = {{}, norm};
        return DU_DUZ_IVE_Filter(&h_, &s, &d, &c, 0);
    };
    auto csc = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S d, u32 mode) {
        IVE_CSC_CTRL_S c = {mode};
        return DU_DUZ_IVE_CSC(&h_, &s, &d, &c, 0);
    };
    auto fcsc = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S d, u32 mode, u8 norm = 0) {
        IVE_FILTER_AND_CSC_CTRL_S c;
        memset(&c, 0, sizeof c);
        c.enMode = mode;
        c.u8Norm = norm;
        return DU_DUZ_IVE_FilterAndCSC(&h_, &s, &d, &c, 0);
    };
    auto sobel = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S dh, IVE_IMG_DESC_S dv, u32 out, bool no_v = false) {
        IVE_SOBEL_CTRL_S c;
        memset(&c, 0, sizeof c);
        c.enOutCtrl = out;
        return DU_DUZ_IVE_Sobel(&h_, &s, &dh, no_v ? nullptr : &dv, &c, 0);
    };
    auto mag = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S m, IVE_IMG_DESC_S a, u32 out) {
        IVE_MAG_AND_ANG_CTRL_S c;
        memset(&c, 0, sizeof c);
        c.enOutCtrl = out;
        return DU_DUZ_IVE_MagAndAng(&h_, &s, &m, &a, &c, 0);
    };
    IVE_IMG_DESC_S planar_uneven = pic(PLANAR), yuv_uneven = pic(YUV420);
    planar_uneven.u16Stride[1] = 80;
    yuv_uneven.u16Stride[1] = 80;
    IVE_IMG_DESC_S yuv_bad_chroma = pic(YUV420);
    yuv_bad_chroma.u16Stride[1] = 72;
    check({
        {"Filter, norm 13", [&] { return filter(pic(U8C1), pic(U8C1), 13); }, 0, "", "Filter"},
        {"Filter, norm 14", [&] { return filter(pic(U8C1), pic(U8C1), 14); }, kIllegal,
         "pstFltCtrl->u8Norm(14) must be in [0, 13]!\n", "Filter"},
        {"Filter, a source 62 wide", [&] { return filter(pic(U8C1, 62), pic(U8C1, 62)); }, kIllegal,
         too_narrow("pstSrc", 62, 64, 1920), "Filter"},
        {"Filter, 1026 lines", [&] { return filter(pic(U8C1, 64, 1026), pic(U8C1, 64, 1026)); }, kIllegal,
         too_high("pstSrc", 1026, 64, 1024), "Filter"},
        {"Filter, a destination stride of 72", [&] { return filter(pic(U8C1), pic(U8C1, 64, 64, 72)); }, kIllegal,
         bad_stride("pstDst", 72), "Filter"},
        {"Filter, a signed source", [&] { return filter(pic(S8C1), pic(S8C1)); }, kIllegal,
         "pstSrc->enType(1) must be in {U8C1(0), YUV420SP(2), YUV422SP(3)}!\n", "Filter"},
        {"Filter, types that differ before any picture test", [&] { return filter(pic(U8C1, 2), pic(YUV420)); },
         kIllegal, "pstDst->enType(2) and pstSrc->enType(0) must be of same type!\n", "Filter"},
        {"Filter, a destination two lines taller", [&] { return filter(pic(U8C1), pic(U8C1, 64, 66)); }, kIllegal,
         not_same("pstDst", 64, 66, "pstSrc", 64, 64), "Filter"},
        {"Filter, YUV chroma strides that differ", [&] { return filter(pic(YUV420), yuv_uneven); }, kIllegal,
         "pstDst->u16Stride[0](64) and pstDst->u16Stride[1](80) must be of same value!\n", "Filter"},
        {"CSC, sizes before types", [&] { return csc(pic(U8C1), pic(U8C1, 64, 66), 0); }, kIllegal,
         not_same("pstDst", 64, 66, "pstSrc", 64, 64), "CSC"},
        {"CSC, mode 12", [&] { return csc(pic(YUV420), pic(RGB), 12); }, kIllegal,
         "pstCscCtrl->enMode(12) must be in [0, 12)!\n", "CSC"},
        {"CSC, a grey source", [&] { return csc(pic(U8C1), pic(RGB), 1); }, kIllegal,
         "pstSrc->enType(0) must be in {YUV420SP(2), YUV422SP(3)} in pstCscCtrl->enMode(1)!\n", "CSC"},
        {"CSC, a grey destination", [&] { return csc(pic(YUV420), pic(U8C1), 3); }, kIllegal,
         "pstDst->enType(0) must be in {U8C3_PACKAGE(10), U8C3_PLANAR(11)} in pstCscCtrl->enMode(3)!\n", "CSC"},
        {"CSC, 1922 pixels wide", [&] { return csc(pic(YUV420, 1922), pic(RGB, 1922), 0); }, kIllegal,
         too_narrow("pstSrc", 1922, 64, 1920), "CSC"},
        {"CSC, a chroma stride of 72", [&] { return csc(yuv_bad_chroma, pic(RGB), 0); }, kIllegal,
         bad_stride("pstSrc", 72, 1), "CSC"},
        {"CSC, planar strides that differ", [&] { return csc(pic(YUV420), planar_uneven, 4); }, kIllegal,
         "pstDst->u16Stride[0](64), pstDst->u16Stride[1](80) and pstDst->u16Stride[2](64) must be of same value!\n",
         "CSC"},
        {"CSC to YUV, chroma strides that differ", [&] { return csc(pic(RGB), yuv_uneven, 8); }, kIllegal,
         "pstDst->u16Stride[0](64) and pstDst->u16Stride[1](80) must be of same value!\n", "CSC"},
        {"CSC to YUV, a YUV source", [&] { return csc(pic(YUV420), pic(YUV420), 9); }, kIllegal,
         "pstSrc->enType(2) must be in {U8C3_PACKAGE(10), U8C3_PLANAR(11)} in pstCscCtrl->enMode(9)!\n", "CSC"},
        {"CSC to YUV, 1080 lines", [&] { return csc(pic(RGB, 64, 1080), pic(YUV420, 64, 1080), 10); }, 0, "", "CSC"},
        {"FilterAndCSC, mode 3, norm 13", [&] { return fcsc(pic(YUV420), pic(RGB), 3, 13); }, 0, "", "FilterAndCSC"},
        {"FilterAndCSC, mode 4", [&] { return fcsc(pic(YUV420), pic(RGB), 4); }, kIllegal,
         "pstFltCscCtrl->enMode(4) must be in [0, 3]!\n", "FilterAndCSC"},
        {"FilterAndCSC, norm 14", [&] { return fcsc(pic(YUV420), pic(RGB), 0, 14); }, kIllegal,
         "pstFilterCtrl->u8Norm(14) must be in [0, 13]!\n", "FilterAndCSC"},
        {"FilterAndCSC, 1026 lines", [&] { return fcsc(pic(YUV420, 64, 1026), pic(RGB, 64, 1026), 0); }, kIllegal,
         too_high("pstSrc", 1026, 64, 1024), "FilterAndCSC"},
        {"FilterAndCSC, a grey destination", [&] { return fcsc(pic(YUV420), pic(U8C1), 0); }, kIllegal,
         "pstDst->enType(0) must be in {U8C3_PACKAGE(10), U8C3_PLANAR(11)}!\n", "FilterAndCSC"},
        {"FilterAndCSC, a destination two lines taller", [&] { return fcsc(pic(YUV420), pic(RGB, 64, 66), 0); },
         kIllegal, not_same("pstDst", 64, 66, "pstSrc", 64, 64), "FilterAndCSC"},
        {"FilterAndCSC, a planar source, type tested last", [&] { return fcsc(pic(PLANAR), pic(RGB), 0); }, kIllegal,
         "pstSrc->enType(11) must be in {YUV420SP(2), YUV422SP(3)}!\n", "FilterAndCSC"},
        {"Sobel, both outputs", [&] { return sobel(pic(U8C1), pic(S16C1), pic(S16C1), 0); }, 0, "", "Sobel"},
        {"Sobel, output control 3", [&] { return sobel(pic(U8C1), pic(S16C1), pic(S16C1), 3); }, kIllegal,
         "pstSobelCtrl->enOutCtrl(3) must in [0, 3)!\n", "Sobel"},
        {"Sobel, a signed source", [&] { return sobel(pic(S8C1), pic(S16C1), pic(S16C1), 0); }, kIllegal,
         "pstSrc->enType(1) must be U8C1(0)!\n", "Sobel"},
        {"Sobel, 62 lines", [&] { return sobel(pic(U8C1, 64, 62), pic(S16C1), pic(S16C1), 0); }, kIllegal,
         too_high("pstSrc", 62, 64, 1024), "Sobel"},
        {"Sobel, an unsigned output", [&] { return sobel(pic(U8C1), pic(U16C1), pic(S16C1), 1); }, kIllegal,
         "pstDstH->enType(9) must be S16C1(8)!\n", "Sobel"},
        {"Sobel, a vertical output two lines taller",
         [&] { return sobel(pic(U8C1), pic(S16C1), pic(S16C1, 64, 66), 2); }, kIllegal,
         not_same("pstDstV", 64, 66, "pstSrc", 64, 64), "Sobel"},
        {"Sobel, output strides that differ", [&] { return sobel(pic(U8C1), pic(S16C1), pic(S16C1, 64, 64, 80), 0); },
         kIllegal, "pstDstH->u16Stride[0](64) and pstDstV->u16Stride[0](80) must be of same value!\n", "Sobel"},
        {"Sobel, no vertical output for both", [&] { return sobel(pic(U8C1), pic(S16C1), pic(S16C1), 0, true); },
         kNull, "pstDstV can't be NULL!\n", "Sobel"},
        {"Sobel, horizontal only without a vertical output",
         [&] { return sobel(pic(U8C1), pic(S16C1), pic(S16C1), 1, true); }, 0, "", "Sobel"},
        {"MagAndAng, magnitude and angle", [&] { return mag(pic(U8C1), pic(U16C1), pic(U8C1), 1); }, 0, "",
         "MagAndAng"},
        {"MagAndAng, output control 2", [&] { return mag(pic(U8C1), pic(U16C1), pic(U8C1), 2); }, kIllegal,
         "pstMagAndAngCtrl->enOutCtrl(2) must be in [0, 2)!\n", "MagAndAng"},
        {"MagAndAng, a signed magnitude", [&] { return mag(pic(U8C1), pic(S16C1), pic(U8C1), 0); }, kIllegal,
         "pstDstMag->enType(8) must be U16C1(9)!\n", "MagAndAng"},
        {"MagAndAng, a signed angle", [&] { return mag(pic(U8C1), pic(U16C1), pic(S8C1), 1); }, kIllegal,
         "pstDstAng->enType(1) must be U8C1(0)!\n", "MagAndAng"},
        {"MagAndAng, strides that differ", [&] { return mag(pic(U8C1), pic(U16C1), pic(U8C1, 64, 64, 80), 1); },
         kIllegal, "pstDstAng->u16Stride[0](80) and pstDstMag->u16Stride[0](64) must be of same value!\n",
         "MagAndAng"},
        {"MagAndAng, a source 1922 wide", [&] { return mag(pic(U8C1, 1922), pic(U16C1, 1922), pic(U8C1), 0); },
         kIllegal, too_narrow("pstSrc", 1922, 64, 1920), "MagAndAng"},
        {"MagAndAng, an angle two lines taller", [&] { return mag(pic(U8C1), pic(U16C1), pic(U8C1, 64, 66), 1); },
         kIllegal, not_same("pstDstAng", 64, 66, "pstSrc", 64, 64), "MagAndAng"},
    });
}

TEST_F(IveRules, MorphologyThresholdsAndOrderStatistics)
{
    auto dilate = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S d) {
        IVE_DILATE_CTRL_S c = {};
        return DU_DUZ_IVE_Dilate(&h_, &s, &d, &c, 0);
    };
    auto erode = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S d, bool no_ctrl = false) {
        IVE_ERODE_CTRL_S c = {};
        return DU_DUZ_IVE_Erode(&h_, &s, &d, no_ctrl ? nullptr : &c, 0);
    };
    auto thresh = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S d, u32 mode, u8 low = 10, u8 high = 20) {
        IVE_THRESH_CTRL_S c = {mode, low, high, 0, 0, 0, {}};
        return DU_DUZ_IVE_Thresh(&h_, &s, &d, &c, 0);
    };
    auto thresh16 = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S d, u32 mode, u16 low = 10, u16 high = 20) {
        IVE_THRESH_U16_CTRL_S c = {mode, low, high, 0, 0, 0, 0};
        return DU_DUZ_IVE_Thresh_U16(&h_, &s, &d, &c, 0);
    };
    auto ord = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S d, u32 mode) {
        IVE_ORD_STAT_FILTER_CTRL_S c = {mode};
        return DU_DUZ_IVE_OrdStatFilter(&h_, &s, &d, &c, 0);
    };
    const IVE_IMG_DESC_S off8 = shifted(U8C1, 8), off2 = shifted(U16C1, 2), off1 = shifted(U16C1, 1);
    check({
        {"Dilate, 1024 lines", [&] { return dilate(pic(U8C1, 64, 1024), pic(U8C1, 64, 1024)); }, 0, "", "Dilate"},
        {"Dilate, 1026 lines", [&] { return dilate(pic(U8C1, 64, 1026), pic(U8C1, 64, 1026)); }, kIllegal,
         too_high("pstSrc", 1026, 64, 1024), "Dilate"},
        {"Dilate, a source 62 wide", [&] { return dilate(pic(U8C1, 62), pic(U8C1)); }, kIllegal,
         too_narrow("pstSrc", 62, 64, 1920), "Dilate"},
        {"Dilate, a destination stride of 72", [&] { return dilate(pic(U8C1), pic(U8C1, 64, 64, 72)); }, kIllegal,
         bad_stride("pstDst", 72), "Dilate"},
        {"Dilate, a signed destination", [&] { return dilate(pic(U8C1), pic(S8C1)); }, kIllegal,
         "pstDst->enType(1) must be U8C1(0)!\n", "Dilate"},
        {"Dilate, a destination of 62 lines", [&] { return dilate(pic(U8C1), pic(U8C1, 64, 62)); }, kIllegal,
         too_high("pstDst", 62, 64, 1024), "Dilate"},
        {"Dilate, a destination two lines taller", [&] { return dilate(pic(U8C1), pic(U8C1, 64, 66)); }, kIllegal,
         not_same("pstDst", 64, 66, "pstSrc", 64, 64), "Dilate"},
        {"Erode, a source at 8 bytes", [&] { return erode(off8, pic(U8C1)); }, kIllegal,
         "pstSrc->u32PhyAddr[0](" + hex(off8.u32PhyAddr[0]) + ") must be 16 byte align!\n", "Erode"},
        {"Erode, a signed source", [&] { return erode(pic(S8C1), pic(U8C1)); }, kIllegal,
         "pstSrc->enType(1) must be U8C1(0)!\n", "Erode"},
        {"Erode, no control", [&] { return erode(pic(U8C1), pic(U8C1), true); }, kNull,
         "pstErodeCtrl can't be NULL!\n", "Erode"},
        {"Thresh, mode 2 with the thresholds crossed", [&] { return thresh(pic(U8C1), pic(U8C1), 2, 30, 20); }, 0, "",
         "Thresh"},
        {"Thresh, mode 3 with the thresholds crossed", [&] { return thresh(pic(U8C1), pic(U8C1), 3, 30, 20); },
         kIllegal, "pstThrCtrl->u8HighThr(20) must be greater than or equal to pstThrCtrl->u8LowThr(30)!\n", "Thresh"},
        {"Thresh, mode 8", [&] { return thresh(pic(U8C1), pic(U8C1), 8); }, kIllegal,
         "pstThrCtrl->enMode(8) must be in [0, 8)!\n", "Thresh"},
        {"Thresh, 1080 lines", [&] { return thresh(pic(U8C1, 64, 1080), pic(U8C1, 64, 1080), 0); }, 0, "", "Thresh"},
        {"Thresh, 1082 lines", [&] { return thresh(pic(U8C1, 64, 1082), pic(U8C1, 64, 1082), 0); }, kIllegal,
         too_high("pstSrc", 1082, 64, 1080), "Thresh"},
        {"Thresh, a source stride of 72", [&] { return thresh(pic(U8C1, 64, 64, 72), pic(U8C1), 0); }, kIllegal,
         bad_stride("pstSrc", 72), "Thresh"},
        {"Thresh, a 16-bit source", [&] { return thresh(pic(U16C1), pic(U8C1), 0); }, kIllegal,
         "pstSrc->enType(9) must be U8C1(0)!\n", "Thresh"},
        {"Thresh, sizes after the mode", [&] { return thresh(pic(U8C1), pic(U8C1, 64, 66), 0); }, kIllegal,
         not_same("pstDst", 64, 66, "pstSrc", 64, 64), "Thresh"},
        {"Thresh, unaligned addresses", [&] { return thresh(off8, shifted(U8C1, 4), 1); }, 0, "", "Thresh"},
        {"Thresh_U16, a source at 2 bytes", [&] { return thresh16(off2, pic(U8C1), 0); }, 0, "", "Thresh_U16"},
        {"Thresh_U16, a source at 1 byte", [&] { return thresh16(off1, pic(U8C1), 0); }, kIllegal,
         "pstSrc->u32PhyAddr[0](" + hex(off1.u32PhyAddr[0]) + ") must be 2 byte align!\n", "Thresh_U16"},
        {"Thresh_U16, a signed source", [&] { return thresh16(pic(S16C1), pic(U8C1), 0); }, kIllegal,
         "pstSrc->enType(8) must be U16C1(9)!\n", "Thresh_U16"},
        {"Thresh_U16, sizes, no line end", [&] { return thresh16(pic(U16C1), pic(U8C1, 64, 66), 0); }, kIllegal,
         not_same("pstDst", 64, 66, "pstSrc", 64, 64, ""), "Thresh_U16"},
        {"Thresh_U16, mode 1 above 255", [&] { return thresh16(pic(U16C1), pic(U8C1), 1, 0, 256); }, kIllegal,
         "pstThrU16Ctrl->u16HightThr(256) must be in [0, 255] in pstThrU16Ctrl->enMode(1)!\n", "Thresh_U16"},
        {"Thresh_U16, mode 0 above 255", [&] { return thresh16(pic(U16C1), pic(U8C1), 0, 0, 60000); }, 0, "",
         "Thresh_U16"},
        {"Thresh_U16, mode 2", [&] { return thresh16(pic(U16C1), pic(U8C1), 2); }, kIllegal,
         "pstThrU16Ctrl->enMode(2) must in [0, 2)!\n", "Thresh_U16"},
        {"Thresh_U16, the thresholds crossed", [&] { return thresh16(pic(U16C1), pic(U8C1), 0, 30, 20); }, kIllegal,
         "pstThrU16Ctrl->u16HighThr(20) must be greater than or equal to pstThrU16Ctrl->u16LowThr(30)!\n",
         "Thresh_U16"},
        {"Thresh_U16, 1922 wide", [&] { return thresh16(pic(U16C1, 1922), pic(U8C1, 1922), 0); }, kIllegal,
         too_narrow("pstSrc", 1922, 64, 1920), "Thresh_U16"},
        {"OrdStatFilter, mode 2", [&] { return ord(pic(U8C1), pic(U8C1), 2); }, 0, "", "OrdStatFilter"},
        {"OrdStatFilter, mode 3", [&] { return ord(pic(U8C1), pic(U8C1), 3); }, kIllegal,
         "pstOrdStatFltCtrl->enMode(3) must be in [0, 3)!\n", "OrdStatFilter"},
        {"OrdStatFilter, a destination one line shorter", [&] { return ord(pic(U8C1, 64, 66), pic(U8C1, 64, 65), 0); },
         kIllegal,
         "image height(65) must be a multiply of 2!\ncheck image width and height failed!\n"
         "check image pstDst failed!\n",
         "OrdStatFilter"},
        {"OrdStatFilter, a destination two lines shorter", [&] { return ord(pic(U8C1, 64, 66), pic(U8C1), 0); },
         kIllegal, not_same("pstDst", 64, 64, "pstSrc", 64, 66), "OrdStatFilter"},
        {"OrdStatFilter, 1026 lines", [&] { return ord(pic(U8C1, 64, 1026), pic(U8C1, 64, 1026), 0); }, kIllegal,
         too_high("pstSrc", 1026, 64, 1024), "OrdStatFilter"},
        {"OrdStatFilter, a signed destination", [&] { return ord(pic(U8C1), pic(S8C1), 0); }, kIllegal,
         "pstDst->enType(1) must be U8C1(0)!\n", "OrdStatFilter"},
        {"OrdStatFilter, a destination at 8 bytes", [&] { return ord(pic(U8C1), off8, 0); }, kIllegal,
         "pstDst->u32PhyAddr[0](" + hex(off8.u32PhyAddr[0]) + ") must be 16 byte align!\n", "OrdStatFilter"},
    });
}

TEST_F(IveRules, ArithmeticTablesAndTextureOperators)
{
    auto logic =
        [&](s32 (*fn)(IVE_TASK_HANDLE *, const IVE_IMG_DESC_S *, const IVE_IMG_DESC_S *, const IVE_IMG_DESC_S *, u32),
            IVE_IMG_DESC_S a, IVE_IMG_DESC_S b, IVE_IMG_DESC_S d) { return fn(&h_, &a, &b, &d, 0); };
    auto sub = [&](IVE_IMG_DESC_S d, u32 mode, IVE_IMG_DESC_S b) {
        IVE_IMG_DESC_S a = pic(U8C1);
        IVE_SUB_CTRL_S c = {mode};
        return DU_DUZ_IVE_Sub(&h_, &a, &b, &d, &c, 0);
    };
    auto equalize = [&](IVE_IMG_DESC_S s, IVE_MEM_BLOCK_S mem) {
        IVE_IMG_DESC_S d = pic(U8C1, s.u16Width, s.u16Height);
        IVE_EQUALIZE_HIST_CTRL_S c = {mem};
        return DU_DUZ_IVE_EqualizeHist(&h_, &s, &d, &c, 0);
    };
    auto map = [&](IVE_IMG_DESC_S s, IVE_MEM_BLOCK_S table, IVE_IMG_DESC_S d) {
        return DU_DUZ_IVE_Map(&h_, &s, &table, &d, 0);
    };
    auto lbp = [&](IVE_IMG_DESC_S s, IVE_IMG_DESC_S d, u32 mode) {
        IVE_LBP_CTRL_S c;
        memset(&c, 0, sizeof c);
        c.enMode = mode;
        return DU_DUZ_IVE_LBP(&h_, &s, &d, &c, 0);
    };
    auto ncc = [&](IVE_IMG_DESC_S a, IVE_IMG_DESC_S b, IVE_MEM_BLOCK_S out) {
        return DU_DUZ_IVE_NCC(&h_, &a, &b, &out, 0);
    };
    const IVE_IMG_DESC_S off8 = shifted(U8C1, 8), off4 = shifted(U8C1, 4);
    const IVE_MEM_BLOCK_S mem8 = shifted_block(1280, 8), map8 = shifted_block(256, 8), ncc8 = shifted_block(32, 8);
    IVE_MEM_BLOCK_S no_user = block(1280);
    no_user.pu8VirAddr = nullptr;
    check({
        {"And, unaligned addresses", [&] { return logic(DU_DUZ_IVE_And, off8, off4, shifted(U8C1, 2)); }, 0, "",
         "And"},
        {"And, a second source two lines taller",
         [&] { return logic(DU_DUZ_IVE_And, pic(U8C1), pic(U8C1, 64, 66), pic(U8C1)); }, kIllegal,
         not_same("pstSrc2", 64, 66, "pstSrc1", 64, 64), "And"},
        {"Or, a signed second source", [&] { return logic(DU_DUZ_IVE_Or, pic(U8C1), pic(S8C1), pic(U8C1)); }, kIllegal,
         "pstSrc2->enType(1) must be U8C1(0)!\n", "Or"},
        {"Or, 1082 lines", [&] { return logic(DU_DUZ_IVE_Or, pic(U8C1, 64, 1082), pic(U8C1), pic(U8C1)); }, kIllegal,
         too_high("pstSrc1", 1082, 64, 1080), "Or"},
        {"Xor, a destination stride of 72",
         [&] { return logic(DU_DUZ_IVE_Xor, pic(U8C1), pic(U8C1), pic(U8C1, 64, 64, 72)); }, kIllegal,
         bad_stride("pstDst", 72), "Xor"},
        {"Xor, a signed destination", [&] { return logic(DU_DUZ_IVE_Xor, pic(U8C1), pic(U8C1), pic(S8C1)); }, kIllegal,
         "pstDst->enType(1) must be U8C1(0)!\n", "Xor"},
        {"Xor, a destination two lines taller",
         [&] { return logic(DU_DUZ_IVE_Xor, pic(U8C1), pic(U8C1), pic(U8C1, 64, 66)); }, kIllegal,
         not_same("pstDst", 64, 66, "pstSrc1", 64, 64), "Xor"},
        {"Sub, mode 1 into a signed picture", [&] { return sub(pic(S8C1), 1, pic(U8C1)); }, 0, "", "Sub"},
        {"Sub, mode 1 into an unsigned picture", [&] { return sub(pic(U8C1), 1, pic(U8C1)); }, kIllegal,
         "pstDst->enType(0) must be S8C1(1) in pstSubCtrl->enMode(1)!\n", "Sub"},
        {"Sub, mode 0 into a signed picture", [&] { return sub(pic(S8C1), 0, pic(U8C1)); }, kIllegal,
         "pstDst->enType(1) must be U8C1(0) in pstSubCtrl->enMode(0)!\n", "Sub"},
        {"Sub, mode 2", [&] { return sub(pic(U8C1), 2, pic(U8C1)); }, kIllegal,
         "pstSubCtrl->enMode(2) must be in [0, 2)!\n", "Sub"},
        {"Sub, a second source 62 wide", [&] { return sub(pic(U8C1), 0, pic(U8C1, 62)); }, kIllegal,
         too_narrow("pstSrc2", 62, 64, 1920), "Sub"},
        {"Sub, sizes before the mode", [&] { return sub(pic(U8C1, 64, 66), 2, pic(U8C1)); }, kIllegal,
         not_same("pstDst", 64, 66, "pstSrc1", 64, 64), "Sub"},
        {"EqualizeHist, 1280 bytes of work memory", [&] { return equalize(pic(U8C1), block(1280)); }, 0, "",
         "EqulizeHist"},
        {"EqualizeHist, 1279 bytes of work memory", [&] { return equalize(pic(U8C1), block(1279)); }, kIllegal,
         "pstEqualizeHistCtrl->stMem.u32Size(1279) must be greater than or equal to 1280!\n", "EqulizeHist"},
        {"EqualizeHist, work memory without a user address", [&] { return equalize(pic(U8C1), no_user); }, kNull,
         "pstEqualizeHistCtrl->stMem.pu8VirAddr can't be NULL!\n", "EqulizeHist"},
        {"EqualizeHist, work memory at 8 bytes", [&] { return equalize(pic(U8C1), mem8); }, kIllegal,
         "pstEqualizeHistCtrl->stMem.u32PhyAddr(" + hex(mem8.u32PhyAddr) + ") must be 16 byte align!\n",
         "EqulizeHist"},
        {"EqualizeHist, a source at 8 bytes", [&] { return equalize(off8, block(1280)); }, kIllegal,
         "pstSrc->u32PhyAddr[0](" + hex(off8.u32PhyAddr[0]) + ") must be 16 byte align!\n", "EqulizeHist"},
        {"EqualizeHist, 1082 lines", [&] { return equalize(pic(U8C1, 64, 1082), block(1280)); }, kIllegal,
         too_high("pstSrc", 1082, 64, 1080), "EqulizeHist"},
        {"EqualizeHist, a 16-bit source", [&] { return equalize(pic(U16C1), block(1280)); }, kIllegal,
         "pstSrc->enType(9) must be U8C1(0)!\n", "EqulizeHist"},
        {"Map, unaligned pictures", [&] { return map(off8, block(256), off4); }, 0, "", "Map"},
        {"Map, a table of 255 bytes", [&] { return map(pic(U8C1), block(255), pic(U8C1)); }, kIllegal,
         "pstMap->u32Size(255) must be greater than or equal to 256!\n", "Map"},
        {"Map, a table at 8 bytes", [&] { return map(pic(U8C1), map8, pic(U8C1)); }, kIllegal,
         "pstMap->u32PhyAddr(" + hex(map8.u32PhyAddr) + ") must be 16 byte align!\n", "Map"},
        {"Map, a destination two lines taller", [&] { return map(pic(U8C1), block(256), pic(U8C1, 64, 66)); },
         kIllegal, not_same("pstDst", 64, 66, "pstSrc", 64, 64), "Map"},
        {"Map, a signed destination", [&] { return map(pic(U8C1), block(256), pic(S8C1)); }, kIllegal,
         "pstDst->enType(1) must be U8C1(0)!\n", "Map"},
        {"Map, a source 1922 wide", [&] { return map(pic(U8C1, 1922), block(256), pic(U8C1, 1922)); }, kIllegal,
         too_narrow("pstSrc", 1922, 64, 1920), "Map"},
        {"LBP, mode 1", [&] { return lbp(pic(U8C1), pic(U8C1), 1); }, 0, "", "LBP"},
        {"LBP, mode 2", [&] { return lbp(pic(U8C1), pic(U8C1), 2); }, kIllegal,
         "pstLbpCtrl->enMode(2) must be in [0, 2)!\n", "LBP"},
        {"LBP, 1026 lines", [&] { return lbp(pic(U8C1, 64, 1026), pic(U8C1, 64, 1026), 0); }, kIllegal,
         too_high("pstSrc", 1026, 64, 1024), "LBP"},
        {"LBP, a signed destination", [&] { return lbp(pic(U8C1), pic(S8C1), 0); }, kIllegal,
         "pstDst->enType(1) must be U8C1(0)!\n", "LBP"},
        {"LBP, a destination two lines taller", [&] { return lbp(pic(U8C1), pic(U8C1, 64, 66), 0); }, kIllegal,
         not_same("pstDst", 64, 66, "pstSrc", 64, 64), "LBP"},
        {"LBP, a destination at 8 bytes", [&] { return lbp(pic(U8C1), off8, 0); }, kIllegal,
         "pstDst->u32PhyAddr[0](" + hex(off8.u32PhyAddr[0]) + ") must be 16 byte align!\n", "LBP"},
        {"NCC, 32 x 32 at unaligned addresses",
         [&] { return ncc(shifted(U8C1, 8, 32, 32), shifted(U8C1, 4, 32, 32), block(32)); }, 0, "", "NCC"},
        {"NCC, 30 pixels wide", [&] { return ncc(pic(U8C1, 30, 32), pic(U8C1, 30, 32), block(32)); }, kIllegal,
         too_narrow("pstSrc1", 30, 32, 1920), "NCC"},
        {"NCC, 1082 lines", [&] { return ncc(pic(U8C1), pic(U8C1, 64, 1082), block(32)); }, kIllegal,
         too_high("pstSrc2", 1082, 32, 1080), "NCC"},
        {"NCC, a result of 31 bytes", [&] { return ncc(pic(U8C1), pic(U8C1), block(31)); }, kIllegal,
         "pstDst->u32Size(31) must be greater than or equal to 32!\n", "NCC"},
        {"NCC, a result at 8 bytes", [&] { return ncc(pic(U8C1), pic(U8C1), ncc8); }, kIllegal,
         "pstDst->u32PhyAddr(" + hex(ncc8.u32PhyAddr) + ") must be 16 byte align!\n", "NCC"},
        {"NCC, a second source two lines taller", [&] { return ncc(pic(U8C1), pic(U8C1, 64, 66), block(32)); },
         kIllegal, not_same("pstSrc2", 64, 66, "pstSrc1", 64, 64), "NCC"},
        {"NCC, a signed source", [&] { return ncc(pic(S8C1), pic(U8C1), block(32)); }, kIllegal,
         "pstSrc1->enType(1) must be U8C1(0)!\n", "NCC"},
    });
}

// Output control 0: both images and their types are tested before either's
// size.
TEST_F(IveRules, NormalisedGradient)
{
    auto grad = [&](u32 out, IVE_IMG_DESC_S *h, IVE_IMG_DESC_S *v, IVE_IMG_DESC_S *hv, u8 norm = 0) {
        IVE_IMG_DESC_S s = pic(U8C1);
        IVE_NORM_GRAD_CTRL_S c;
        memset(&c, 0, sizeof c);
        c.enOutCtrl = out;
        c.u8Norm = norm;
        return DU_DUZ_IVE_NormGrad(&h_, &s, h, v, hv, &c, 0);
    };
    IVE_IMG_DESC_S ok = pic(S8C1), ok2 = pic(S8C1), taller = pic(S8C1, 64, 66), wide_stride = pic(S8C1, 64, 64, 80),
                   unsigned_out = pic(U8C1), pairs = pic(S8C2), narrow = pic(S8C1, 62), off8 = shifted(S8C1, 8);
    check({
        {"both, norm 13", [&] { return grad(0, &ok, &ok2, nullptr, 13); }, 0, "", "NormGrad"},
        {"both, norm 14", [&] { return grad(0, &ok, &ok2, nullptr, 14); }, kIllegal,
         "pstNormGradCtrl->u8Norm(14) must be in [0, 13]!\n", "NormGrad"},
        {"output control 4", [&] { return grad(4, &ok, &ok2, &pairs); }, kIllegal,
         "pstNormGradCtrl->enOutCtrl(4) must be in [0, 4)!\n", "NormGrad"},
        {"both, no vertical image", [&] { return grad(0, &ok, nullptr, nullptr); }, kNull, "pstDstV can't be NULL!\n",
         "NormGrad"},
        {"horizontal only, no other image", [&] { return grad(1, &ok, nullptr, nullptr); }, 0, "", "NormGrad"},
        {"both, the second image's type before the first's size",
         [&] { return grad(0, &taller, &unsigned_out, nullptr); }, kIllegal, "pstDstV->enType(0) must be S8C1(1)!\n",
         "NormGrad"},
        {"both, the second image's picture test before the first's size",
         [&] { return grad(0, &taller, &narrow, nullptr); }, kIllegal, too_narrow("pstDstV", 62, 64, 1920),
         "NormGrad"},
        {"both, the first image two lines taller", [&] { return grad(0, &taller, &ok2, nullptr); }, kIllegal,
         not_same("pstDstH", 64, 66, "pstSrc", 64, 64), "NormGrad"},
        {"both, strides that differ after both sizes", [&] { return grad(0, &ok, &wide_stride, nullptr); }, kIllegal,
         "pstDstH->u16Stride[0](64) and pstDstV->u16Stride[0](80) must be of same value!\n", "NormGrad"},
        {"vertical only, at 8 bytes", [&] { return grad(2, nullptr, &off8, nullptr); }, kIllegal,
         "pstDstV->u32PhyAddr[0](" + hex(off8.u32PhyAddr[0]) + ") must be 16 byte align!\n", "NormGrad"},
        {"pairs of a signed picture", [&] { return grad(3, nullptr, nullptr, &ok); }, kIllegal,
         "pstDstHV->enType(1) must be S8C2_PACKAGE(6)!\n", "NormGrad"},
        {"pairs", [&] { return grad(3, nullptr, nullptr, &pairs); }, 0, "", "NormGrad"},
    });
}

} // namespace
