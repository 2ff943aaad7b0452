// The USB connector: the controller's register shows the line state, and a
// computer announces itself with the gadget's "online" uevent once the mass-
// storage gadget is loaded.
#include "board/sim/sim.h"

namespace sim {

namespace {

constexpr uint32_t kUsbReg = 0x10080808;
constexpr uint32_t kLineState = 0xC00000; // both bits 0 while a host drives the bus

std::mutex g_lock;
bool g_announced = false;

Hooks usb_hooks([] {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_announced = false;
    }
    usb_update();
});

} // namespace

void usb_update()
{
    Usb u = world().usb;
    phys_write32(kUsbReg, u == Usb::host ? 0x00000001 : u == Usb::charger ? (kLineState | 1) : 0);
    bool online = u == Usb::host && module_loaded("g_file_storage");
    std::lock_guard<std::mutex> lock(g_lock);
    if (!online) {
        g_announced = false;
        return;
    }
    // Announced once per attach, to the first socket that listens for it.
    if (!g_announced)
        g_announced = uevent("online@/devices/platform/dwc_otg/gadget/gadget-lun0\n"
                             "ACTION=online\n"
                             "DEVPATH=/devices/platform/dwc_otg/gadget/gadget-lun0\n"
                             "SUBSYSTEM=gadget\n"
                             "SEQNUM=1024\n") > 0;
}

} // namespace sim
