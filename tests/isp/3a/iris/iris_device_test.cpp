// The iris drivers when their devices fail: the ISP device that names the
// PWM output missing or refusing, the PWM and P-iris devices missing (said
// once in a program's run, -1 every time) or refusing their requests (said
// every time). The drivers keep the PWM number and the print-once flags for
// the whole run, so these tests share one process of their own and run in
// order: the first asks for the PWM number, only one takes a device away.
#include "board/sim/picture/lens.h"
#include "isp/3a/ae/ae_ctx.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <functional>

namespace {

constexpr const char *kPwmOpenError = "********************* Open pwm device error! *********************\n";
constexpr const char *kPirisOpenError = "********************* Open piris device error! *********************\n";

// What one driver call returned and printed.
struct Said {
    s32 ret;
    std::string out;
};

// Makes the call and checks what it returned and printed.
void expect_call(const std::function<s32()> &fn, const Said &want)
{
    s32 ret = 0;
    const std::string out = testsupport::capture_stdout([&] { ret = fn(); });
    EXPECT_EQ(ret, want.ret);
    EXPECT_EQ(out, want.out);
}

} // namespace

class IrisDeviceTest : public BoardTest {
protected:
    IrisDeviceTest() { conf_ = "iris = dc\niris.pwm = 3\n"; }

    void SetUp() override
    {
        BoardTest::SetUp();
        memset(&g_astAeCtx[0], 0, sizeof g_astAeCtx[0]);
        ASSERT_EQ(piris_register_callback(), 0);
        piris_ = g_astAeCtx[0].stIrisCb;
        ASSERT_EQ(dciris_register_callback(), 0);
        dc_ = g_astAeCtx[0].stIrisCb;
    }

    size_t pwm_writes(const std::string &text = " pwm ") { return testsupport::events(text).size(); }

    AE_IRIS_CALLBACKS_S dc_ = {}, piris_ = {};
};

// Until the ISP device names the PWM output nothing is written, and it is
// asked again at every update; once it answered, its answer is kept.
TEST_F(IrisDeviceTest, ThePwmNumberIsAskedUntilTheIspDeviceAnswers)
{
    struct Case {
        const char *name;
        sim::Node isp_dev;
        u32 duty;
        Said want;
        const char *written; // null: nothing
    } cases[] = {
        {"no ISP device", sim::Node::missing, 700, {-1, "Open isp device error!\n"}, nullptr},
        {"still none: asked again", sim::Node::missing, 700, {-1, "Open isp device error!\n"}, nullptr},
        {"a file that takes no request", sim::Node::file, 700, {-1, "get pwm number failed!\n"}, nullptr},
        {"the driver answers", sim::Node::device, 700, {0, ""}, "pwm 3 duty 700 period 1000 enable 1"},
        {"its answer kept", sim::Node::missing, 710, {0, ""}, "pwm 3 duty 710 period 1000 enable 1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sim::set_node("/dev/isp_dev", c.isp_dev);
        const size_t before = pwm_writes();
        expect_call([&] { return dc_.pfn_iris_ops1(c.duty); }, c.want);
        EXPECT_EQ(pwm_writes(), before + (c.written ? 1 : 0));
        if (c.written) {
            EXPECT_EQ(pwm_writes(c.written), 1u);
        }
    }
    sim::set_node("/dev/isp_dev", sim::Node::device);
    EXPECT_EQ(sim::dciris_duty(), 710.0);
}

// A device that cannot be opened is reported the first time only and
// fails every time; what failed is not remembered, so once the device is
// back the same request goes out.
TEST_F(IrisDeviceTest, AMissingDeviceIsReportedOnceAndFailsEveryTime)
{
    struct Step {
        const char *name;
        std::function<s32()> request;
        Said want;
    };
    struct Case {
        const char *device;
        std::vector<Step> missing;
        Step back;          // once the device is there again
        const char *event; // what the back request shows in events.log
    } cases[] = {
        {"/dev/pwm",
         {{"first", [&] { return dc_.pfn_iris_ops1(600); }, {-1, kPwmOpenError}},
          {"again", [&] { return dc_.pfn_iris_ops1(600); }, {-1, ""}},
          {"another duty", [&] { return dc_.pfn_iris_ops1(500); }, {-1, ""}}},
         {"back", [&] { return dc_.pfn_iris_ops1(600); }, {0, ""}},
         "pwm 3 duty 600 period 1000 enable 1"},
        {"/dev/piris",
         {{"status", [&] { return piris_.pfn_iris_ops1(0); }, {-1, kPirisOpenError}},
          {"status again", [&] { return piris_.pfn_iris_ops1(0); }, {-1, ""}},
          {"origin", [&] { return piris_.pfn_iris_ops2(1, 93); }, {-1, ""}},
          {"close", [&] { return piris_.pfn_iris_ops3(1, 93); }, {-1, ""}}},
         {"back", [&] { return piris_.pfn_iris_ops2(1, 93); }, {0, ""}},
         "piris origin zero_is_max 1 total 93 step -103"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.device);
        sim::set_node(c.device, sim::Node::missing);
        for (const Step &s : c.missing) {
            SCOPED_TRACE(s.name);
            expect_call(s.request, s.want);
        }
        EXPECT_EQ(testsupport::events(c.event).size(), 0u);
        sim::set_node(c.device, sim::Node::device);
        expect_call(c.back.request, c.back.want);
        EXPECT_EQ(testsupport::events(c.event).size(), 1u);
    }
}

// A device that opens but refuses the request is reported every time; a
// refused duty is not remembered, so it is written once the device takes
// it.
TEST_F(IrisDeviceTest, ARefusedRequestIsReportedEveryTime)
{
    struct Case {
        const char *name;
        const char *device;
        std::function<s32()> request;
        Said want;
    } cases[] = {
        {"pwm write", "/dev/pwm", [&] { return dc_.pfn_iris_ops1(420); }, {-1, "pwm3 write failed!\n"}},
        {"pwm write again", "/dev/pwm", [&] { return dc_.pfn_iris_ops1(420); }, {-1, "pwm3 write failed!\n"}},
        {"piris status", "/dev/piris", [&] { return piris_.pfn_iris_ops1(0); }, {-1, "piris read failed!\n"}},
        {"piris origin", "/dev/piris", [&] { return piris_.pfn_iris_ops2(1, 93); }, {-1, "piris write failed!\n"}},
        {"piris close", "/dev/piris", [&] { return piris_.pfn_iris_ops3(0, 93); }, {-1, "piris write failed!\n"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sim::set_node(c.device, sim::Node::file);
        expect_call(c.request, c.want);
        sim::set_node(c.device, sim::Node::device);
    }
    EXPECT_EQ(testsupport::events(" piris ").size(), 0u);
    EXPECT_EQ(testsupport::events("duty 420").size(), 0u);
    expect_call([&] { return dc_.pfn_iris_ops1(420); }, {0, ""});
    EXPECT_EQ(testsupport::events("pwm 3 duty 420 period 1000 enable 1").size(), 1u);
}
