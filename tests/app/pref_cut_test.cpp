// Settings saves cut by the power after each of their operations on the flash
// or the card (the file's creation, each write, its sync, its close, its
// rename), on media that lose what was not synced or tear the last write:
// the next boot loads the old settings or the new ones, never the
// factory's, and the settings text on the card reads as the old or the new. A flash record that can't be read gives way to the card's copy.
#include "tests/app/pref_fixture.h"

#include "app/devices/date_time.h"

#include <functional>

using namespace preftest;
using testsupport::capture_stdout;
using testsupport::read_file;

namespace {

// More operations than any save takes: the last cuts find it done.
constexpr unsigned kMaxOperations = 30;

const char *const kCardText = "/mnt/sdcard0/syscfg2.txt";

// Two records that differ in the words the user sets, and from the defaults.
DvSystemParam old_record()
{
    DvSystemParam p;
    pref_fill_defaults(&p);
    p.AutoPoweroff = 3;
    p.LED = 0;
    p.MovieSound[0] = 1;
    p.Sharpness = 100;
    return p;
}

DvSystemParam new_record()
{
    DvSystemParam p = old_record();
    p.AutoPoweroff = 2;
    p.MovieResolution[1] = 2;
    p.Sharpness = -50;
    return p;
}

// The words a load keeps as saved: all but the versions and the clock text.
std::vector<int32_t> user_words(const DvSystemParam &p)
{
    std::vector<int32_t> w;
    for (int i = 12; i < 97; ++i)
        if (i < 14 || i > 18)
            w.push_back(word_of(p, i));
    return w;
}

class PrefCutTest : public PrefTest {
protected:
    // The board again on this root with `power_cut` set to `policy`.
    void restart(const std::string &policy)
    {
        root_ = testsupport::fresh_root(policy);
        testsupport::write_conf(root_, "power_cut = " + policy + "\n");
        sim::start(root_);
        set_clock(kFixedClock);
        mkdirs("/dv/config");
        mkdirs("/mnt/sdcard0/syscfg");
        ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    }

    // What the next boot loads, without a card.
    DvSystemParam boot_load()
    {
        card_state = CARD_STATE_ABSENT;
        memset(app_pref_user, 0, sizeof *app_pref_user);
        capture_stdout([] { app_pref_get_user(); });
        return *app_pref_user;
    }
};

// The settings text on the card: what `rec` writes there, and what reading
// the text over a zeroed record gives.
std::string written_text(const DvSystemParam &rec)
{
    *app_pref_user = rec;
    capture_stdout([] { EXPECT_EQ(WriteTxtCfgToSDCard(), 0); });
    return read_file(bd_path(kCardText));
}

std::vector<int32_t> text_words()
{
    memset(app_pref_user, 0, sizeof *app_pref_user);
    capture_stdout([] { fileRead(); });
    return user_words(*app_pref_user);
}

// Each save, cut after each of its operations in turn, under each way of
// losing: what is read afterwards is the old settings until some cut finds
// the new ones whole, and from then on the new ones.
TEST_F(PrefCutTest, SettingsSurviveACutAtEveryOperationOfASave)
{
    restart("drop");
    const std::string old_text = written_text(old_record()), new_text = written_text(new_record());
    testsupport::write_file(bd_path(kCardText), old_text);
    const std::vector<int32_t> text_was = text_words();
    testsupport::write_file(bd_path(kCardText), new_text);
    const std::vector<int32_t> text_now = text_words();
    ASSERT_NE(text_was, text_now);

    auto old_on_flash = [this] { put_flash(record_bytes(old_record())); };
    auto flash_load = [this] { return user_words(boot_load()); };
    struct Case {
        const char *name;
        std::function<void()> save;
        std::function<void()> put_old;              // the old settings where the save goes
        std::function<std::vector<int32_t>()> load; // what is read afterwards
        std::vector<int32_t> was, now;
    } cases[] = {
        {"WriteCfgToFlash", [] { WriteCfgToFlash(); }, old_on_flash, flash_load, user_words(old_record()),
         user_words(new_record())},
        {"the save at switch-off", [] { setDefaultTime("end"); }, old_on_flash, flash_load,
         user_words(old_record()), user_words(new_record())},
        {"the settings text", [] { WriteTxtCfgToSDCard(); },
         [&] { testsupport::write_file(bd_path(kCardText), old_text); }, text_words, text_was, text_now},
    };
    for (const Case &c : cases) {
        for (const char *policy : {"drop", "tear"}) {
            SCOPED_TRACE(std::string(c.name) + ", " + policy);
            bool saved = false;
            unsigned n = 1;
            for (; n <= kMaxOperations; ++n) {
                SCOPED_TRACE("cut after operation " + std::to_string(n));
                restart(policy);
                c.put_old();
                *app_pref_user = new_record();
                const bool cut = testsupport::run_until_cut(n, c.save);
                const std::vector<int32_t> loaded = c.load();
                EXPECT_TRUE(loaded == c.was || loaded == c.now) << "neither the old settings nor the new";
                if (saved) {
                    EXPECT_TRUE(loaded == c.now) << "the new settings went again";
                }
                saved = loaded == c.now;
                if (!cut)
                    break;
            }
            EXPECT_TRUE(saved) << "the save never finished";
            EXPECT_GT(n, 2u) << "no cut came before the save was done";
            EXPECT_LE(n, kMaxOperations);
        }
    }
}

// The copy at start-up to the card, cut after each operation: the card keeps
// a whole copy, old or new, which a boot with an unreadable flash loads.
TEST_F(PrefCutTest, TheCardCopySurvivesACutAtEveryOperation)
{
    const std::vector<int32_t> was = user_words(old_record()), now = user_words(new_record());
    bool cut = true;
    for (unsigned n = 1; cut && n <= kMaxOperations; ++n) {
        SCOPED_TRACE("cut after operation " + std::to_string(n));
        restart("drop");
        put_flash(record_bytes(new_record()));
        testsupport::write_file(host("/mnt/sdcard0/syscfg/DvConfigs.bin"), record_bytes(old_record()));
        card_state = CARD_STATE_PRESENT;
        cut = testsupport::run_until_cut(n, [] { app_pref_init(); });
        put_flash("");
        card_state = CARD_STATE_PRESENT;
        memset(app_pref_user, 0, sizeof *app_pref_user);
        capture_stdout([] { app_pref_get_user(); });
        const std::vector<int32_t> loaded = user_words(*app_pref_user);
        EXPECT_TRUE(loaded == was || loaded == now) << "the card's copy was lost";
        if (!cut) {
            EXPECT_TRUE(loaded == now);
        }
    }
    EXPECT_FALSE(cut) << "the copy never finished";
}

// A flash record that can't be read: the card's copy, when a card is in and
// its copy is one whole record, comes before the factory's defaults, and
// goes to the flash.
TEST_F(PrefCutTest, AnUnreadableFlashRecordTakesTheCardsCopy)
{
    const std::string good = record_bytes(new_record());
    struct Case {
        const char *name;
        const char *flash; // nullptr: no file
        std::string card_copy;
        bool card_in;
        bool from_card;
    } cases[] = {
        {"no flash record", nullptr, good, true, true},
        {"an empty flash record", "", good, true, true},
        {"a short flash record", "short", good, true, true},
        {"a short card copy as well", "", good.substr(0, 300), true, false},
        {"no card in", "", good, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        restart("drop");
        if (c.flash)
            put_flash(c.flash);
        testsupport::write_file(host("/mnt/sdcard0/syscfg/DvConfigs.bin"), c.card_copy);
        card_state = c.card_in ? CARD_STATE_PRESENT : CARD_STATE_ABSENT;
        memset(app_pref_user, 0, sizeof *app_pref_user);
        std::string out = capture_stdout([] { app_pref_get_user(); });
        DvSystemParam defaults;
        pref_fill_defaults(&defaults);
        EXPECT_EQ(user_words(*app_pref_user), user_words(c.from_card ? new_record() : defaults));
        EXPECT_EQ(out.find("card's copy") != std::string::npos, c.from_card) << out;
        EXPECT_EQ(user_words(record_from(flash())), user_words(*app_pref_user)); // the flash has it again
    }
    // A readable flash record is the one taken, whatever the card holds.
    restart("drop");
    put_flash(record_bytes(old_record()));
    testsupport::write_file(host("/mnt/sdcard0/syscfg/DvConfigs.bin"), good);
    card_state = CARD_STATE_PRESENT;
    capture_stdout([] { app_pref_get_user(); });
    EXPECT_EQ(user_words(*app_pref_user), user_words(old_record()));
}

} // namespace
