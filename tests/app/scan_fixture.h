// What the device-scan tests share: a fresh board, the GPIO device open, an
// empty main message queue whose ids the test takes without blocking, and
// the engine asking the application as start-up has it do.
#pragma once

#include <chrono>
#include <thread>
#include <vector>

#include "app/devices/gpio.h"
#include "app/engine_hooks.h"
#include "core/msg_hub.h"
#include "tests/support/board_fixture.h"

namespace scantest {

constexpr uint32_t gpio(uint32_t bank, uint32_t pin) { return gpio_no(bank, pin); }

// The ids posted so far, in order; never waits.
inline std::vector<uint32_t> take_messages()
{
    std::vector<uint32_t> out;
    while (!KX_OrderQueue_Empty(q_button_msg)) {
        uint32_t id = 0;
        if (hcmgr_rcv_msg(&id) != -1)
            out.push_back(id);
    }
    return out;
}

// Collects ids until `id` arrives or `seconds` pass; all ids taken.
inline std::vector<uint32_t> wait_for_message(uint32_t id, double seconds = 10)
{
    std::vector<uint32_t> out;
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        for (uint32_t m : take_messages())
            out.push_back(m);
        for (uint32_t m : out)
            if (m == id)
                return out;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return out;
}

using testsupport::wait_until;

} // namespace scantest

class ScanTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        app_register_engine_hooks();
        hcmgr_destroy_queue();
        ASSERT_EQ(hcmgr_create_queue(), 0);
        close_gpio_dev();
        ASSERT_GE(open_gpio_dev(), 0);
    }
    void TearDown() override
    {
        close_gpio_dev();
        hcmgr_destroy_queue();
    }
};
