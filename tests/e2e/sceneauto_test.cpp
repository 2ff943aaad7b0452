// Scene auto-tuning in the camera: the recording mode starts it with the
// video pipeline, it retunes the picture while the camera records and the
// light changes, and the power-off stops it before the pipeline.
#include "tests/e2e/e2e_support.h"

#include "sceneauto/sceneauto_iq.h"

#include <fcntl.h>
#include <unistd.h>

using namespace e2e;

namespace {

const std::vector<std::string> kBothThreads = {"SceneautoNormal", "SceneautoSpecia"};

// The ISP's two noise-profile register images as the camera's board holds
// them: its physical memory is one memory file, read here through the
// camera's open descriptor of it at the registers' addresses.
std::vector<u8> noise_profile_registers(pid_t pid)
{
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(fds, ec)) {
        std::error_code link_ec;
        if (fs::read_symlink(e.path(), link_ec).string().rfind("/memfd:board-phys", 0) != 0)
            continue;
        const int fd = open(e.path().c_str(), O_RDONLY);
        if (fd < 0)
            break;
        std::vector<u8> out(256);
        const bool ok = pread(fd, out.data(), 128, 0x205A0900) == 128 && pread(fd, &out[128], 128, 0x205A0C00) == 128;
        close(fd);
        return ok ? out : std::vector<u8>();
    }
    return {};
}

std::vector<u8> profile(const u8 (&images)[2][128]) { return std::vector<u8>(&images[0][0], &images[0][0] + 256); }

} // namespace

TEST(SceneAuto, RetunesWhileTheCameraRecords)
{
    Camera cam("sceneauto");
    cam.boot("gpio 10_5 1"); // record mode 1: its pipeline and the engine run
    const size_t mark = rec_start(cam);
    EXPECT_TRUE(cam.wait_until(10, [&] { return cam.threads("Sceneauto") == kBothThreads; }))
        << cam.threads("Sceneauto").size() << " threads";

    // The noise profile follows the exposure: the tuning's profile B while
    // the exposure lies within its window (daylight here), profile A for the
    // long, amplified exposure of a dark scene, and B again when the light
    // comes back. Only the engine writes them, within a cycle of the change.
    const std::vector<u8> daylight = profile(iq_para_stIniNRProfile.au8ProfileB),
                          dark = profile(iq_para_stIniNRProfile.au8ProfileA);
    ASSERT_NE(daylight, dark);
    std::vector<u8> now;
    auto becomes = [&](const std::vector<u8> &want) {
        return cam.wait_until(15, [&] {
            now = noise_profile_registers(cam.pid());
            return now == want;
        });
    };
    ASSERT_TRUE(becomes(daylight)) << (now.empty() ? "registers not readable" : "another profile");
    cam.send("scene brightness 0.05");
    EXPECT_TRUE(becomes(dark)) << "the light fell and the profile stayed";
    cam.send("scene brightness 1");
    EXPECT_TRUE(becomes(daylight)) << "the light came back and the profile stayed";
    EXPECT_EQ(kBothThreads, cam.threads("Sceneauto"));
    rec_stop(cam, mark);
    one_playable_movie(cam);
    cam.send("key power tap");
    ASSERT_TRUE(cam.wait_power_off(15));

    // What it said (written out as the camera ended): started with the
    // pipeline, stopped and de-initialised before the pipeline stopped.
    const std::string out = cam.output();
    size_t at = 0;
    for (const char *says :
         {"Sceneauto_LoadIQPara linear start\n", "VUZI SCENUAUTO Module has been inited successfully!\n",
          "stAERoute.u32TotalNum = 6\n", "VUZI SCENEAUTO Module has been started successfully!\n",
          "VUZI SCENEAUTO Module has been stopped successfully!\n", "deinit success\n"}) {
        at = out.find(says, at);
        EXPECT_NE(std::string::npos, at) << says << " in:\n" << out;
    }
    // One bit rate all along: its rate control was set once per start.
    EXPECT_EQ(testsupport::occurrences(out, "started successfully!"),
              testsupport::occurrences(out, "CommSceneautoSetH264RcParam,DU_DUZ_VENC_SetRcParam"))
        << out;
    EXPECT_EQ(1u, testsupport::occurrences(out, "started successfully!"));
}
