// USB cable detection: nothing plugged, a charger, or a computer as USB host,
// told apart by the cable's power line (GPIO 5_4), the controller's line-state
// bits and the mass-storage gadget's "online" uevent. The USB-scan thread
// calls usb_detect every 200 ms.
#pragma once

#include <atomic>
#include <cstdint>

enum : uint32_t {
    USB_STATE_NONE = 0,
    USB_STATE_HOST = 1,     // connected to a computer
    USB_STATE_CHARGER = 2,  // external power only
    USB_STATE_DECIDING = 3, // cable just plugged
};

constexpr uint32_t USB_CTRL_PHYS = 0x10080808;
constexpr uint32_t USB_LINE_STATE_MASK = 0xC00000; // both 0 while a host drives the bus
constexpr int USB_DECIDE_SCANS = 8;
constexpr int USB_UEVENT_WAIT_MS = 500;
constexpr int USB_UEVENT_BUF = 256;
constexpr const char *USB_HOST_UEVENT = "online@/devices/platform/dwc_otg/gadget/gadget-lun0";

// Set by the handler once its start-up is done; the scan does nothing before.
// Atomic.
extern std::atomic<uint32_t> system_run_complete;

// Written by the USB scan, and by the record applications (handler thread)
// which set it back to none after a recording the cable came in during;
// read by both, the auto power-off thread and the motion thread (through
// usb_host_may_claim). Atomic, no lock: the handler's write only ends the
// scan's wait for the recording's end.
extern std::atomic<uint32_t> usb_state;
// Written by the USB scan, read by the handler; atomic.
extern std::atomic<uint32_t> system_first_run_no_usb; // GPIO 5_4 at the first scan (1 = USB power)
// Written by the USB scan, read by the handler and the motion thread; atomic.
extern std::atomic<uint32_t> record_insert_usb; // cable came in during a recording
// The USB scan thread's alone: the modules loaded once, and the
// controller's mapping made at its first scan.
extern uint8_t usbIsInsmod;
extern volatile uint32_t *usb_io_base;

uint32_t get_usb_state(void);
void set_usb_state(uint32_t state);

// 1 while a computer's cable may take the camera as its disk: the cable
// brings power, it is not a charger, and it did not come in during a
// recording; else 0.
int usb_host_may_claim(void);

// One scan; 0, or 1 when the cable came in during a recording.
int usb_detect(void);

int Insmod_USB(void);
int rmmod_USB(void);

// Receives one kernel uevent into `buffer` (terminated, NULs turned into line
// feeds), waiting at most 500 ms: its length, 0 for one shorter than 32 bytes
// or too long for the buffer, -1 on time-out or error.
int Usbnetlink_uevent(char *buffer, int size);
// Listens once; `connected` = 1 when the uevent was the host's. The received
// length, or -1.
int UsbcheckConnect(int *connected);
