// Scene auto-tuning in the camera: the recording mode starts it with the
// video pipeline, its two threads run while the camera records and the
// light changes, and the power-off stops it before the pipeline.
#include "tests/e2e/e2e_support.h"

using namespace e2e;

namespace {

const std::vector<std::string> kBothThreads = {"SceneautoNormal", "SceneautoSpecia"};

} // namespace

TEST(SceneAuto, RunsWhileTheCameraRecords)
{
    Camera cam("sceneauto");
    cam.boot("gpio 10_5 1"); // record mode 1: its pipeline and the engine run
    const size_t mark = rec_start(cam);
    EXPECT_TRUE(cam.wait_until(10, [&] { return cam.threads("Sceneauto") == kBothThreads; }))
        << cam.threads("Sceneauto").size() << " threads";

    // The light falls and rises while it records; the engine's threads go on.
    cam.send("scene brightness 0.05");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    cam.send("scene brightness 1");
    std::this_thread::sleep_for(std::chrono::seconds(2));
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
    EXPECT_EQ(testsupport::occurrences(out, "started successfully!"), testsupport::occurrences(out, "CommSceneautoSetH264RcParam,DU_DUZ_VENC_SetRcParam"))
        << out;
    EXPECT_EQ(1u, testsupport::occurrences(out, "started successfully!"));
}
