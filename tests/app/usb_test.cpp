#include "app/usb.h"

#include <gmock/gmock.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "app/sd_card.h"
#include "app/usb_config.h"
#include "core/rec_state.h"
#include "tests/app/scan_fixture.h"

using scantest::gpio;
using scantest::take_messages;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

constexpr uint32_t kRecRelease = HMSG_KEY_RELEASE | KEY_ID_REC;
const std::string kHostUevent = "online@/devices/platform/dwc_otg/gadget/gadget-lun0\n"
                                "ACTION=online\n"
                                "DEVPATH=/devices/platform/dwc_otg/gadget/gadget-lun0\n"
                                "SUBSYSTEM=gadget\n"
                                "SEQNUM=7\n";

// Sends `text` as a uevent as soon as someone listens, while `fn` runs.
template <class Fn> void with_uevent(const std::string &text, Fn &&fn)
{
    std::atomic<bool> done{false};
    std::thread sender([&] {
        while (!done && sim::uevent(text) == 0)
            usleep(2000);
    });
    fn();
    done = true;
    sender.join();
}

class UsbTest : public ScanTest {
protected:
    void SetUp() override
    {
        ScanTest::SetUp();
        system_run_complete = 1;
        usb_state = USB_STATE_NONE;
        record_insert_usb = 0;
        usbIsInsmod = 0; // the board's modules went with its restart
        card_state = CARD_STATE_PRESENT;
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED;
        set_gpio_value(gpio(5, 3), 1);
    }
    void TearDown() override
    {
        // Every test leaves the cable out and the scan at rest.
        sim::control("usb none");
        usb_detect();
        KX_Stop_UsbReadConfigFile_Thread();
        ScanTest::TearDown();
    }

    // Runs `n` scans; the ids they posted.
    std::vector<uint32_t> scans(int n)
    {
        for (int i = 0; i < n; ++i)
            usb_detect();
        return take_messages();
    }
};

TEST_F(UsbTest, NothingHappensBeforeTheHandlerHasStarted)
{
    system_run_complete = 0;
    ASSERT_EQ(sim::control("usb charger"), "ok");
    EXPECT_THAT(scans(2), IsEmpty());
    EXPECT_EQ(get_usb_state(), USB_STATE_NONE);
    system_run_complete = 1;
}

TEST_F(UsbTest, AChargerIsDecidedWhenTheDecidingCountReachesEight)
{
    // The plug scan counts 1 and listens (2); six more scans reach 8.
    ASSERT_EQ(sim::control("usb charger"), "ok");
    EXPECT_THAT(scans(1), IsEmpty());
    EXPECT_EQ(get_usb_state(), USB_STATE_DECIDING);
    EXPECT_FALSE(testsupport::events("shell insmod /mpp/g_file_storage.ko").empty());
    for (int scan = 1; scan <= 5; ++scan)
        EXPECT_THAT(scans(1), IsEmpty()) << "scan " << scan;
    EXPECT_THAT(scans(1), ElementsAre(HMSG_USB_DC_IN));
    EXPECT_EQ(get_usb_state(), USB_STATE_CHARGER);
    EXPECT_EQ(sim::gpio_level(gpio(5, 3)), 0);

    EXPECT_THAT(scans(2), IsEmpty());
    ASSERT_EQ(sim::control("usb none"), "ok");
    EXPECT_THAT(scans(1), ElementsAre(HMSG_USB_DC_OUT));
    EXPECT_EQ(get_usb_state(), USB_STATE_NONE);
}

TEST_F(UsbTest, AHostIsFoundByItsUeventOrByTwoScansOfItsLines)
{
    struct Case {
        const char *name;
        bool card;
        int scans_to_host;
    } cases[] = {
        {"with a card the gadget is loaded and announces the host", true, 1},
        {"without a card only the lines tell, two scans in a row", false, 2},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        sim::start(testsupport::fresh_root("host"));
        usbIsInsmod = 0;
        card_state = c.card ? CARD_STATE_PRESENT : CARD_STATE_ABSENT;
        ASSERT_EQ(sim::control("usb host"), "ok");
        EXPECT_THAT(scans(c.scans_to_host - 1), IsEmpty());
        EXPECT_THAT(scans(1), ElementsAre(HMSG_USB_PC_IN));
        EXPECT_EQ(get_usb_state(), USB_STATE_HOST);
        EXPECT_EQ(th_usbReadFile_run, c.card ? 1u : 0u) << "the settings-file thread runs with a card";
        EXPECT_THAT(scans(2), IsEmpty());

        ASSERT_EQ(sim::control("usb none"), "ok");
        EXPECT_THAT(scans(1), ElementsAre(HMSG_USB_PC_OUT));
        EXPECT_EQ(th_usbReadFile_run, 0u);
        EXPECT_EQ(get_usb_state(), USB_STATE_NONE);
    }
}

TEST_F(UsbTest, AHostUeventOnAChargerClosesOnlyARecordingThatRuns)
{
    struct Case {
        const char *name;
        uint8_t rec_state;
        std::vector<uint32_t> posts;
    } cases[] = {
        {"nothing recording: no REC release", KX_REC_STATE_STOPPED, {HMSG_USB_PC_IN}},
        {"recording: REC release first", KX_REC_STATE_RUNNING, {kRecRelease, HMSG_USB_PC_IN}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        // A charger already decided; its lines keep showing a charger.
        ASSERT_EQ(sim::control("usb charger"), "ok");
        set_usb_state(USB_STATE_CHARGER);
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = c.rec_state;
        with_uevent(kHostUevent, [&] { EXPECT_EQ(scans(1), c.posts); });
        EXPECT_EQ(get_usb_state(), USB_STATE_HOST);
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED;
        ASSERT_EQ(sim::control("usb none"), "ok");
        EXPECT_THAT(scans(1), ElementsAre(HMSG_USB_PC_OUT));
    }
}

TEST_F(UsbTest, AHostThatShowsUpOnAChargersLinesIsTakenAsAHost)
{
    ASSERT_EQ(sim::control("usb charger"), "ok");
    set_usb_state(USB_STATE_CHARGER);
    EXPECT_THAT(scans(1), IsEmpty());
    ASSERT_EQ(sim::control("usb host"), "ok");
    EXPECT_THAT(scans(1), ElementsAre(HMSG_USB_PC_IN));
    EXPECT_EQ(get_usb_state(), USB_STATE_HOST);
}

TEST_F(UsbTest, CableRemovedWhileDecidingPostsDcOut)
{
    ASSERT_EQ(sim::control("usb charger"), "ok");
    EXPECT_THAT(scans(2), IsEmpty());
    ASSERT_EQ(sim::control("usb none"), "ok");
    EXPECT_THAT(scans(1), ElementsAre(HMSG_USB_DC_OUT));
    EXPECT_EQ(get_usb_state(), USB_STATE_NONE);
}

TEST_F(UsbTest, ACablePluggedDuringARecordingWaitsForItsEnd)
{
    card_state = CARD_STATE_ABSENT; // the lines decide, without the gadget
    gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_RUNNING;
    ASSERT_EQ(sim::control("usb host"), "ok");
    EXPECT_EQ(usb_detect(), 1);
    EXPECT_EQ(record_insert_usb, 1u);
    EXPECT_EQ(sim::gpio_level(gpio(5, 3)), 0);
    EXPECT_THAT(scans(5), IsEmpty());
    EXPECT_EQ(get_usb_state(), USB_STATE_DECIDING);

    // The record application ends the recording and sets the state back.
    gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED;
    set_usb_state(USB_STATE_NONE);
    EXPECT_THAT(scans(1), IsEmpty());
    EXPECT_THAT(scans(1), ElementsAre(HMSG_USB_PC_IN));
    EXPECT_EQ(record_insert_usb, 0u);
}

TEST_F(UsbTest, UeventsAreTakenWholeAndTerminated)
{
    struct Case {
        const char *name;
        std::string text;
        int result;
        int connected;
        const char *says;
    } cases[] = {
        {"the host's", kHostUevent, (int)kHostUevent.size(), 1, "connect usb "},
        {"another device's", "add@/devices/platform/soc/mmc0/mmc_host/mmc0/mmc0:0001\nACTION=add\nSUBSYSTEM=mmc\n",
         0, 0, "no connect usb "},
        {"too short to be a uevent", "online@/x\n", 0, 0, ""},
        {"longer than the buffer", kHostUevent + std::string(300, 'x'), 0, 0, "USB msg too long"},
    };
    cases[1].result = (int)cases[1].text.size();
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        int connected = -1, n = 0;
        std::string out;
        with_uevent(c.text, [&] { out = testsupport::capture_stdout([&] { n = UsbcheckConnect(&connected); }); });
        EXPECT_EQ(n, c.result);
        EXPECT_EQ(connected, c.connected);
        EXPECT_THAT(out, HasSubstr(c.says));
    }

    // The buffer comes back as text, line feeds in place of the NULs.
    char buf[256];
    memset(buf, 'z', sizeof buf);
    int n = 0;
    with_uevent(kHostUevent, [&] { n = Usbnetlink_uevent(buf, sizeof buf); });
    ASSERT_EQ(n, (int)kHostUevent.size());
    EXPECT_EQ(std::string(buf), kHostUevent);

    // Nobody speaks: a time-out.
    EXPECT_EQ(Usbnetlink_uevent(buf, sizeof buf), -1);
}

} // namespace
