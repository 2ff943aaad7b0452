// The application manager: registration, the current application, and
// switching (stop the current one, then start the target).
#include "app/app_manager.h"
#include "tests/support/board_fixture.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_calls;

// Applications whose operations note their calls; `idle` ones set the idle
// flag when they start, as every application of the camera does.
template <int N, bool idle = true> struct TestApp {
    static AppEntry *self;
    static int start()
    {
        g_calls.push_back("start " + std::to_string(N));
        self->flags |= idle ? 0x7 : 0x3;
        return 0;
    }
    static int stop()
    {
        g_calls.push_back("stop " + std::to_string(N));
        return 0;
    }
    static AppEntry make() { return AppEntry{0, 0, 0, 0, 0, 0, 0, start, stop, nullptr}; }
};
template <int N, bool idle> AppEntry *TestApp<N, idle>::self = nullptr;

class AppManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        appmgt_init(table_, 32);
        main_ = TestApp<0>::make();
        main_.flags = 7; // current from the beginning, never started
        rec1_ = TestApp<1>::make();
        rec2_ = TestApp<2, false>::make();
        photo_ = TestApp<3>::make();
        TestApp<0>::self = &main_;
        TestApp<1>::self = &rec1_;
        TestApp<2, false>::self = &rec2_;
        TestApp<3>::self = &photo_;
        APP_MAIN = appmgt_register(&main_);
        APP_RECMODE1 = appmgt_register(&rec1_);
        APP_RECMODE2 = appmgt_register(&rec2_);
        APP_PHOMODE = appmgt_register(&photo_);
    }
    void TearDown() override { APP_MAIN = APP_RECMODE1 = APP_RECMODE2 = APP_PHOMODE = -1; }

    AppEntry *table_[32] = {};
    AppEntry main_, rec1_, rec2_, photo_;
};

} // namespace

TEST_F(AppManager, RegistrationGivesIdsInOrderUntilTheTableIsFull)
{
    EXPECT_EQ(0, APP_MAIN);
    EXPECT_EQ(3, APP_PHOMODE);
    EXPECT_EQ(3u, photo_.id);
    AppEntry *e = nullptr;
    EXPECT_EQ(0, appmgt_get_app(1, &e));
    EXPECT_EQ(&rec1_, e);
    EXPECT_EQ(-1, appmgt_get_app(4, &e));
    EXPECT_EQ(nullptr, e);

    std::vector<AppEntry> more(28);
    for (AppEntry &m : more)
        EXPECT_GE(appmgt_register(&m), 4);
    AppEntry extra{};
    std::string out = testsupport::capture_stdout([&] { EXPECT_EQ(-1, appmgt_register(&extra)); });
    EXPECT_EQ("Fatal Error! No space for more apps \n", out);
    EXPECT_EQ(32, app_num);
}

TEST_F(AppManager, SwitchStopsTheCurrentThenStartsTheTarget)
{
    AppEntry *cur = nullptr;
    EXPECT_EQ(0, appmgt_get_curapp(&cur));
    EXPECT_EQ(&main_, cur);

    ASSERT_EQ(0, appmgt_switch_to_app(APP_RECMODE1));
    ASSERT_EQ(0, appmgt_switch_to_app(APP_PHOMODE));
    EXPECT_EQ((std::vector<std::string>{"stop 0", "start 1", "stop 1", "start 3"}), g_calls);
    EXPECT_EQ(APP_PHOMODE, appmgt_get_curapp(&cur));
    EXPECT_EQ(&photo_, cur);
    EXPECT_EQ((uint32_t)APP_RECMODE1, photo_.previous);
    EXPECT_EQ(0u, rec1_.flags & 0x6); // no longer running or idle

    // To the current one: nothing happens.
    g_calls.clear();
    EXPECT_EQ(0, appmgt_switch_to_app(APP_PHOMODE));
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(AppManager, RefusedSwitches)
{
    std::string out = testsupport::capture_stdout([] { EXPECT_EQ(-1, appmgt_switch_to_app(4)); });
    EXPECT_EQ("Fatal Error! Invalid app id: app_id = 4 / app_num = 4\n", out);
    EXPECT_EQ(-1, appmgt_switch_to_app(-1));

    // Record mode 2's start leaves it busy (not idle): it can't be left.
    ASSERT_EQ(0, appmgt_switch_to_app(APP_RECMODE2));
    EXPECT_EQ(0, is_idle());
    g_calls.clear();
    out = testsupport::capture_stdout([] { EXPECT_EQ(-1, appmgt_switch_to_app(APP_PHOMODE)); });
    EXPECT_EQ("Stop running application first!\n", out);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(APP_RECMODE2, appmgt_get_curapp(nullptr));
}

TEST_F(AppManager, BusyAndIoAreFoundUpTheStack)
{
    ASSERT_EQ(0, appmgt_switch_to_app(APP_RECMODE1));
    EXPECT_EQ(1, is_idle());
    EXPECT_EQ(0, is_busy());
    rec1_.flags |= 0x10;
    EXPECT_EQ(APP_RECMODE1, is_busy());
    EXPECT_EQ(0, is_idle());
    rec1_.flags &= ~0x10u;
    rec1_.flags |= 0x20;
    EXPECT_EQ(APP_RECMODE1, is_io());
    EXPECT_EQ(0, is_idle());
}
