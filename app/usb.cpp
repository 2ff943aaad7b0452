// USB cable detection.
#include "app/usb.h"

#include <cstdio>
#include <cstring>
#include <linux/netlink.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/devices/gpio.h"
#include "app/devices/phys_mem.h"
#include "app/sd_card.h"
#include "app/usb_config.h"
#include "board/board.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"

std::atomic<uint32_t> system_run_complete{0};
std::atomic<uint32_t> usb_state{USB_STATE_NONE};
std::atomic<uint32_t> system_first_run_no_usb{0};
std::atomic<uint32_t> record_insert_usb{0};
uint8_t usbIsInsmod = 0;
volatile uint32_t *usb_io_base = nullptr;

namespace {


constexpr uint32_t kUsbPowerGpio = gpio_no(5, 4); // 1 while the cable brings power
constexpr uint32_t kChargeGpio = gpio_no(5, 3);
constexpr int kHostUeventMinLen = 101;
constexpr int kHostScans = 2;

bool first_scan_done = false;
int usb_connect = 0;        // deciding scans, 0 when not deciding ("connect" is the socket call)
uint8_t insert_sta_cnt = 0; // scans in a row with a host on the bus

bool recording() { return gRecCmd[KX_REC_ENTRY_RECORD].RecState == KX_REC_STATE_RUNNING; }

uint32_t read_controller() { return usb_io_base ? *usb_io_base : 0; }

// One test wherever the lines are looked at: a live controller (non-zero)
// whose line-state bits are both low has a host driving the bus.
bool host_on_lines(uint32_t reg) { return reg != 0 && (reg & USB_LINE_STATE_MASK) == 0; }

// The gadget's "online" uevent, whole.
bool host_uevent(int len, int connected) { return connected && len >= kHostUeventMinLen; }

void host_found()
{
    hcmgr_snd_msg(HMSG_USB_PC_IN);
    usb_state = USB_STATE_HOST;
    if (card_state == CARD_STATE_PRESENT)
        DV_UsbReadConfigFile_ThreadRun();
}

} // namespace

uint32_t get_usb_state(void) { return usb_state; }
void set_usb_state(uint32_t state) { usb_state = state; }

int usb_host_may_claim(void)
{
    const bool free = get_gpio_value(kUsbPowerGpio) == 0 || usb_state == USB_STATE_CHARGER || record_insert_usb;
    return free ? 0 : 1;
}

int Insmod_USB(void)
{
    int rc = bd_system("insmod /mpp/dwc_otg.ko");
    rc |= bd_system("insmod /mpp/g_file_storage.ko file=/dev/mmcblk0p1 luns=1 stall=0 removable=1");
    usleep(200 * 1000);
    rc |= bd_system("dumm 0x20120078 0x800311a0");
    return rc == 0 ? 0 : -1;
}

int rmmod_USB(void)
{
    int rc = bd_system("rmmod  g_file_storage");
    rc |= bd_system("rmmod  dwc_otg");
    usleep(200 * 1000);
    return rc == 0 ? 0 : -1;
}

int Usbnetlink_uevent(char *buffer, int size)
{
    if (!buffer || size < 2)
        return -1;
    int fd = bd_socket(AF_NETLINK, SOCK_DGRAM, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) {
        puts("socket creating failed");
        return -1;
    }
    struct sockaddr_nl addr = {};
    addr.nl_family = AF_NETLINK;
    addr.nl_pid = 0;
    addr.nl_groups = 0xF;
    if (bd_bind(fd, reinterpret_cast<struct sockaddr *>(&addr), sizeof addr) != 0) {
        puts("bind error");
        bd_close(fd);
        return -1;
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    struct timeval wait = {0, USB_UEVENT_WAIT_MS * 1000};
    if (select(fd + 1, &set, nullptr, nullptr, &wait) <= 0) {
        bd_close(fd);
        return -1;
    }
    // Room is kept for the terminator; MSG_TRUNC tells a longer message.
    ssize_t n = bd_recv(fd, buffer, (size_t)size - 1, MSG_TRUNC);
    bd_close(fd);
    if (n < 0) {
        puts("receive error");
        return -1;
    }
    if (n > size - 1) {
        printf("USB msg too long \n ");
        buffer[0] = '\0';
        return 0;
    }
    buffer[n] = '\0';
    if (n < 32)
        return 0;
    for (ssize_t i = 0; i < n; ++i)
        if (buffer[i] == '\0')
            buffer[i] = '\n';
    printf("received %d bytes\n%s\n", (int)n, buffer);
    return (int)n;
}

int UsbcheckConnect(int *connected)
{
    int dummy;
    if (!connected)
        connected = &dummy;
    *connected = 0;
    char buf[USB_UEVENT_BUF];
    int n = Usbnetlink_uevent(buf, sizeof buf);
    if (n <= 0)
        return n;
    const int host_len = (int)strlen(USB_HOST_UEVENT);
    printf("------%.*s -------- \n", host_len, buf);
    if (n >= host_len && strncmp(buf, USB_HOST_UEVENT, (size_t)host_len) == 0) {
        *connected = 1;
        puts("connect usb ");
    } else {
        puts("no connect usb ");
    }
    return n;
}

int usb_detect(void)
{
    if (!system_run_complete)
        return 0;
    if (!first_scan_done) {
        first_scan_done = true;
        usb_io_base = static_cast<volatile uint32_t *>(memmap(USB_CTRL_PHYS, 4));
        system_first_run_no_usb = get_gpio_value(kUsbPowerGpio) == 1 ? 1 : 0;
    }

    // On a charger: a host may still show up, on the lines or by its uevent.
    if (usb_state == USB_STATE_CHARGER && !recording() && host_on_lines(read_controller())) {
        host_found();
        puts("DC change PC ");
    }
    if (usb_state == USB_STATE_CHARGER) {
        int connected = 0;
        int len = UsbcheckConnect(&connected);
        if (host_uevent(len, connected)) {
            // A recording is closed before the camera turns into a disk;
            // with none running, a REC release would start one.
            if (recording())
                hcmgr_snd_msg(HMSG_KEY_RELEASE | KEY_ID_REC);
            usleep(200 * 1000);
            host_found();
            puts("DC change PC ");
        }
    }

    int power = get_gpio_value(kUsbPowerGpio);
    if (power == 1 && usb_state == USB_STATE_NONE) {
        usb_connect = 1;
        usb_state = USB_STATE_DECIDING;
        if (recording()) {
            // Decided once the recording has ended and the record
            // application has set the state back to 0.
            record_insert_usb = 1;
            set_gpio_value(kChargeGpio, 0);
            usb_connect = 0;
            return 1;
        }
        if (card_state == CARD_STATE_PRESENT && !usbIsInsmod) {
            Insmod_USB();
            usbIsInsmod = 1;
            usleep(100 * 1000);
        }
    }
    if (power == 0 && usb_state != USB_STATE_NONE) {
        hcmgr_snd_msg(usb_state == USB_STATE_HOST ? HMSG_USB_PC_OUT : HMSG_USB_DC_OUT);
        record_insert_usb = 0;
        if (card_state == CARD_STATE_PRESENT)
            KX_Stop_UsbReadConfigFile_Thread();
        usb_connect = 0;
        insert_sta_cnt = 0;
        usb_state = USB_STATE_NONE;
        puts("HMSG_USB_IN_CLR ");
    }

    if (usb_connect < 1)
        return 0;
    uint32_t reg = read_controller();
    int connected = 0;
    int len = UsbcheckConnect(&connected);
    ++usb_connect;

    // Host evidence first, so that one scan never reports both a charger
    // and a host.
    if (host_on_lines(reg)) {
        if (insert_sta_cnt < 0xFF)
            ++insert_sta_cnt;
    } else {
        insert_sta_cnt = 0;
    }
    if (host_uevent(len, connected) || insert_sta_cnt >= kHostScans) {
        host_found();
        record_insert_usb = 0;
        usb_connect = 0;
    } else if (usb_connect >= USB_DECIDE_SCANS && !connected) {
        puts("USB_CONNET_DC ");
        usb_connect = 0;
        usb_state = USB_STATE_CHARGER;
        if (!record_insert_usb)
            hcmgr_snd_msg(HMSG_USB_DC_IN);
        record_insert_usb = 0;
        set_gpio_value(kChargeGpio, 0);
    }
    return 0;
}
