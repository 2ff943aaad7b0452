// The module loader and the resampler over the "RES" module.
#include "mpi/audio/vqe/audio_resampler.h"
#include "tests/mpi/audio/vqe/vqe_signal.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <filesystem>
#include <fstream>

using testsupport::capture_stderr;
using namespace vqetest;

namespace {

const char *const kModules[] = {"RES", "HPF", "ANR", "RNR", "AEC", "AGC", "EQ", "PEQ", "GAIN", "HDR", "AVC", "MBC"};

TEST(AudioModuleLoader, EveryModuleLoadsFromTheBuildTree)
{
    for (const char *name : kModules) {
        SCOPED_TRACE(name);
        AUDIO_WORK_HANDLE_S h;
        std::string err = capture_stderr([&] { ASSERT_EQ(0, MODULE_DU_Audio_ModuleHandleInit(&h, "zuza", name)); });
        EXPECT_NE(std::string::npos, err.find(std::string("To OPEN Audio Module LibName:(libzuza_") + name + ".so)"));
        EXPECT_STREQ(name, h.szName);
        EXPECT_NE(nullptr, h.pLibHandle);
        EXPECT_TRUE(h.pfnCreate && h.pfnProcess && h.pfnDestroy);
        EXPECT_EQ(0, MODULE_DU_Audio_ModuleHandleDeInit(&h));
        EXPECT_EQ(nullptr, h.pLibHandle);
    }
}

TEST(AudioModuleLoader, MissingLibraryPrintsTheBannerAndLeavesNothingRegistered)
{
    struct Case {
        const char *name, *family, *module, *expect;
    } cases[] = {
        {"family that does not exist", "nosuchfamily", "HPF", "libnosuchfamily_HPF.so"},
        {"module that does not exist", "zuza", "XYZ", "libzuza_XYZ.so"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        AUDIO_WORK_HANDLE_S h;
        memset(&h, 0x5A, sizeof h);
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = MODULE_DU_Audio_ModuleHandleInit(&h, c.family, c.module); });
        EXPECT_EQ(-1, ret);
        EXPECT_NE(std::string::npos, err.find("**Err In DL_DU_Audio_Dlopen-")) << err;
        EXPECT_NE(std::string::npos, err.find(c.expect)) << err;
        EXPECT_NE(std::string::npos, err.find("DU_Audio_Dlopen Fail Msg is ")) << err;
        EXPECT_NE(std::string::npos, err.find("cannot open shared object file")) << err;
        EXPECT_EQ(nullptr, h.pLibHandle);
        EXPECT_EQ(nullptr, h.pfnCreate);
        EXPECT_STREQ("", h.szName);
    }
}

// Whether a library whose file name holds `name` is mapped into the process.
bool mapped(const std::string &name)
{
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find(name) != std::string::npos)
            return true;
    return false;
}

// A library that opens but holds no module of the name is closed again.
TEST(AudioModuleLoader, ALibraryWithoutTheModuleIsClosedAgain)
{
    namespace fs = std::filesystem;
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    const fs::path dir = exe.parent_path() / "loader" / exe.filename(); // on the test's run path
    const fs::path lib = dir / "libzuza_NOOBJ.so";
    fs::create_directories(dir);
    fs::copy_file(exe.parent_path().parent_path() / "modules" / "libzuza_HPF.so", lib,
                  fs::copy_options::overwrite_existing);
    AUDIO_WORK_HANDLE_S h;
    memset(&h, 0x5A, sizeof h);
    s32 ret = 0;
    std::string err = capture_stderr([&] { ret = MODULE_DU_Audio_ModuleHandleInit(&h, "zuza", "NOOBJ"); });
    fs::remove(lib);
    EXPECT_EQ(-1, ret);
    EXPECT_NE(std::string::npos, err.find("DU_Audio_Dlsym Fail Msg is ")) << err;
    EXPECT_FALSE(mapped("libzuza_NOOBJ.so"));
    EXPECT_EQ(nullptr, h.pLibHandle);
    EXPECT_STREQ("", h.szName);
}

TEST(AudioModuleLoader, DynamicLoaderWrappers)
{
    void *lib = nullptr;
    ASSERT_EQ(0, DL_DU_Audio_Dlopen(&lib, "libzuza_HPF.so"));
    void *sym = nullptr;
    EXPECT_EQ(0, DL_DU_Audio_Dlsym(&sym, lib, "g_Audio_HPF_WorkHandle"));
    EXPECT_NE(nullptr, sym);
    std::string err = capture_stderr([&] { EXPECT_EQ(-1, DL_DU_Audio_Dlsym(&sym, lib, "g_Audio_XYZ_WorkHandle")); });
    EXPECT_NE(std::string::npos, err.find("**Err In DL_DU_Audio_Dlsym-")) << err;
    EXPECT_NE(std::string::npos, err.find("DU_Audio_Dlsym Fail Msg is ")) << err;
    err = capture_stderr([&] { EXPECT_EQ(-1, DL_DU_Audio_Dlsym(&sym, nullptr, "x")); });
    EXPECT_NE(std::string::npos, err.find("LibHandle is empty!"));
    EXPECT_EQ(0, DL_DU_Audio_Dlclose(lib));
    err = capture_stderr([&] { EXPECT_EQ(-1, DL_DU_Audio_Dlclose(nullptr)); });
    EXPECT_NE(std::string::npos, err.find("LibHandle is empty!"));
}

// ---- the resampler ---------------------------------------------------------------------------

class Resampler : public ::testing::Test {
protected:
    RES_RESAMPLER_S *make(s32 in, s32 out, s32 discipline)
    {
        RES_RESAMPLER_S *res = nullptr;
        capture_stderr([&] { EXPECT_EQ(0, RES_ReSampler_Create(&res, in, out, discipline)); });
        made_.push_back(res);
        return res;
    }
    void TearDown() override
    {
        for (RES_RESAMPLER_S *r : made_)
            RES_ReSampler_Destory(r);
    }
    std::vector<RES_RESAMPLER_S *> made_;
};

TEST_F(Resampler, CreationNeedsTwoDifferentRatesInRange)
{
    struct Case {
        const char *name;
        s32 in, out, discipline;
        s32 ret;
        bool instance;
        s32 ratio;
    } cases[] = {
        {"equal rates", 16000, 16000, 0, 0, false, 0},
        {"7999 in", 7999, 16000, 0, 0, false, 0},
        {"48001 out", 16000, 48001, 1, 0, false, 0},
        {"8000 and 48000", 8000, 48000, 0, 0, true, 0},
        {"48000 to 16000", 48000, 16000, 0, 0, true, 3},
        {"44100 to 48000 exact", 44100, 48000, 1, 0, true, 0},
        {"discipline 2 only processes", 48000, 16000, 2, (s32)0xA3340002, false, 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        RES_RESAMPLER_S *res = reinterpret_cast<RES_RESAMPLER_S *>(0x1);
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = RES_ReSampler_Create(&res, c.in, c.out, c.discipline); });
        EXPECT_EQ(c.ret, ret);
        if (c.ret != 0) {
            EXPECT_NE(std::string::npos, err.find("Resample can't use param 2!"));
            continue;
        }
        EXPECT_EQ(c.instance, res != nullptr);
        if (res) {
            EXPECT_EQ(c.ratio, res->s32Ratio);
            EXPECT_EQ(0, RES_ReSampler_Destory(res));
        }
    }
    EXPECT_EQ(-1, RES_ReSampler_Destory(nullptr));
}

TEST_F(Resampler, StreamDisciplineHandsTheModuleWholeRatioGroups)
{
    RES_RESAMPLER_S *res = make(48000, 16000, RES_MODE_STREAM);
    ASSERT_NE(nullptr, res);
    Samples in = tone(48000, 1000, -10, 3000);
    Samples out(2000);
    struct Step {
        s32 cached_after, produced;
    } steps[] = {{1, 333}, {2, 333}, {0, 334}};
    for (size_t k = 0; k < 3; k++) {
        SCOPED_TRACE(k);
        s32 produced = -1;
        ASSERT_EQ(0, RES_ReSampler_ProcessFrame(res, in.data() + 1000 * k, out.data(), 1000, &produced, RES_MODE_STREAM));
        EXPECT_EQ(steps[k].cached_after, res->s32Cached);
        EXPECT_EQ(steps[k].produced, produced) << "999, 999 and 1002 samples reach the module";
    }
    s32 produced = -1;
    ASSERT_EQ(0, RES_ReSampler_ProcessFrame(res, in.data(), out.data(), 2, &produced, RES_MODE_STREAM));
    EXPECT_EQ(0, produced) << "too few for a group: all carried";
    EXPECT_EQ(2, res->s32Cached);
    EXPECT_EQ(-1, RES_ReSampler_ProcessFrame(nullptr, in.data(), out.data(), 3, &produced, RES_MODE_STREAM));
    EXPECT_EQ(-1, RES_ReSampler_ProcessFrame(res, nullptr, out.data(), 3, &produced, RES_MODE_STREAM));
    EXPECT_EQ((s32)0xA3340002, RES_ReSampler_ProcessFrame(res, in.data(), out.data(), 3, &produced, 7));
}

TEST_F(Resampler, EveryCallGivesItsShareOfOutput)
{
    struct Case {
        s32 in, out, chunk;
    } cases[] = {{48000, 8000, 1024}, {8000, 48000, 160}, {16000, 44100, 333}, {44100, 16000, 1000}};
    for (auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out));
        RES_RESAMPLER_S *res = make(c.in, c.out, RES_MODE_STREAM);
        ASSERT_NE(nullptr, res);
        Samples in = tone(c.in, 1000, -10, c.chunk * 50);
        Samples out(c.chunk * 7);
        double total_in = 0, total_out = 0;
        for (s32 k = 0; k < 50; k++) {
            s32 produced = -1;
            ASSERT_EQ(0, RES_ReSampler_ProcessFrame(res, in.data() + c.chunk * k, out.data(), c.chunk, &produced,
                                                    RES_MODE_STREAM));
            EXPECT_NEAR((double)c.chunk * c.out / c.in, produced, 1.0) << "call " << k;
            total_in += c.chunk;
            total_out += produced;
        }
        EXPECT_NEAR(total_in * c.out / c.in, total_out, 1.0) << "nothing lost over the stream";
    }
}

TEST_F(Resampler, ExactDisciplineCarriesTheSurplus)
{
    RES_RESAMPLER_S *res = make(8000, 48000, RES_MODE_EXACT_OUT);
    ASSERT_NE(nullptr, res);
    EXPECT_EQ(0, res->s32Ratio);
    EXPECT_EQ(17, RES_ReSampler_GetInputNum(res, 96, RES_MODE_EXACT_OUT)) << "16 plus one for a broken ratio";
    EXPECT_EQ(0, RES_ReSampler_GetInputNum(res, 96, RES_MODE_UPTO_OUT));
    EXPECT_EQ(-1, RES_ReSampler_GetInputNum(nullptr, 96, RES_MODE_EXACT_OUT));

    Samples in = tone(8000, 1000, -10, 400);
    Samples out(600);
    // 18 input samples make 108 output; 98 asked for: 10 carried.
    s32 want = 98;
    ASSERT_EQ(0, RES_ReSampler_ProcessFrame(res, in.data(), out.data(), 18, &want, RES_MODE_EXACT_OUT));
    EXPECT_EQ(98, want);
    EXPECT_EQ(10, res->s32Cached);
    Samples carried(res->ps16Cache, res->ps16Cache + 10);
    EXPECT_EQ(15, RES_ReSampler_GetInputNum(res, 96, RES_MODE_EXACT_OUT)) << "the carry counts";
    want = 96;
    ASSERT_EQ(0, RES_ReSampler_ProcessFrame(res, in.data() + 18, out.data(), 15, &want, RES_MODE_EXACT_OUT));
    EXPECT_EQ(Samples(out.begin(), out.begin() + 10), carried) << "the next call starts with the carry";
    EXPECT_EQ(4, res->s32Cached);

    // Too little output: an error when exact, a lower count up to the request.
    want = 200;
    std::string err = capture_stderr(
        [&] { EXPECT_EQ((s32)0xA3340004, RES_ReSampler_ProcessFrame(res, in.data(), out.data(), 10, &want, 1)); });
    EXPECT_NE(std::string::npos, err.find("Err: ReSampler_ProcessFrame Err"));
    RES_RESAMPLER_S *upto = make(8000, 48000, RES_MODE_EXACT_OUT);
    want = 200;
    ASSERT_EQ(0, RES_ReSampler_ProcessFrame(upto, in.data(), out.data(), 10, &want, RES_MODE_UPTO_OUT));
    EXPECT_EQ(60, want);
}

TEST_F(Resampler, SurplusBeyondTheCarryRoomIsAnError)
{
    // The carry holds one hundredth of a second of output: 480 samples at 48 kHz.
    RES_RESAMPLER_S *res = make(8000, 48000, RES_MODE_EXACT_OUT);
    ASSERT_NE(nullptr, res);
    Samples in = tone(8000, 1000, -10, 1000);
    Samples out(16);
    s32 want = 16;
    std::string err = capture_stderr(
        [&] { EXPECT_EQ((s32)0xA3340004, RES_ReSampler_ProcessFrame(res, in.data(), out.data(), 1000, &want, 1)); });
    EXPECT_NE(std::string::npos, err.find("exceeds the carry room"));
    EXPECT_LE(res->s32Cached, 480);
}

} // namespace
