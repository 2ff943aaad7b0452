// The simulated board: what its drivers and the tests share.
//
// The board is a kernel, an SoC and the camera's devices, simulated in the
// firmware's own process. It starts lazily on the first board call, from the
// root named by BOARD_ROOT (default ./board-root); tests may restart it on a
// root of their own with sim::start().
#pragma once

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sim {

// ---- lifecycle --------------------------------------------------------------

// Starts the board on `root`; a running board is reset onto the new root
// (configuration re-read, devices' state reset, control socket moved). Open
// descriptors stay valid.
void start(const std::string &root);
void ensure_started();
const std::string &root();

// Board components reset their state when the board (re)starts and release
// what they hold when it stops. Registered from static objects.
struct Hooks {
    Hooks(std::function<void()> on_start, std::function<void()> on_stop = nullptr);
};

// Cuts the power: logs it, flushes all output, removes board.sock and ends
// the process with 0.
[[noreturn]] void power_off();
// The battery pulled: the process is killed at once, nothing flushed;
// board.sock stays behind (the next start binds afresh over it).
[[noreturn]] void power_cut();
// Removes the control socket's file (board.sock); a normal exit does too.
void control_socket_unlink();
// Logs, for each encoder channel receiving at a cut, the pictures it coded
// since its start: what a recording cut off had made.
void venc_power_lost();

// ---- configuration: $BOARD_ROOT/board.conf -----------------------------------

// A key's value as board.conf gave it and its check took it, else `fallback`.
std::string conf(const std::string &key, const std::string &fallback);
long conf_int(const std::string &key, long fallback);
// Reads board.conf (conf.cpp): each line checked by its key's row of one
// table; what is said of the lines not taken, told once events.log is open.
std::vector<std::string> read_conf(const std::string &path);
// A line said of board.conf, in events.log and on standard error.
void conf_told(const std::string &what);

// What a setting takes: one of `words` (its value its place among them),
// else a number within [min, max], whole where `whole`.
struct ValueRule {
    std::vector<const char *> words;
    double min = 0, max = 0;
    bool whole = false;
};
// "" when `value` is taken (its number in `v`), else why ("battery must be a
// whole number from 0 to 65535").
std::string check_value(const std::string &key, const ValueRule &rule, const std::string &value, double &v);
// The clock chip's time "YYYY/MM/DD-hh:mm:ss" as seconds of its naive
// calendar; false for any other text or a date the chip cannot keep.
bool rtc_parse(const std::string &text, time_t &seconds);

// ---- observation: $BOARD_ROOT/events.log ------------------------------------

// One line "<ms since board start> <source> <what>".
void event(const char *source, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
bool tracing();
uint64_t board_ms();

// ---- devices ----------------------------------------------------------------

// One open of a device file. The firmware holds a real descriptor (an eventfd),
// readable in select while the device says so.
class Device {
public:
    virtual ~Device();
    // Each returns -1 with errno set on failure, as the kernel call would.
    virtual int ioctl(unsigned long request, void *arg);
    virtual ssize_t read(void *buf, size_t count);
    virtual ssize_t write(const void *buf, size_t count);
    // By default a device maps the board's physical memory at `offset`.
    virtual void *mmap(void *addr, size_t length, int prot, int flags, off_t offset);

    void set_readable(bool on);
    int fd() const { return fd_; }
    const std::string &path() const { return path_; }

private:
    friend int attach_device(const std::string &, std::shared_ptr<Device>);
    friend void detach_device(int);
    int fd_ = -1;
    std::string path_;
};

using DeviceFactory = std::function<std::shared_ptr<Device>(int flags)>;

// A device file's node as the firmware finds it: the driver's (as at every
// board start), none at all, or a plain empty file of that name in the root.
enum class Node { device, missing, file };
void set_node(const std::string &path, Node node);

struct DeviceRegistration {
    DeviceRegistration(const char *path, DeviceFactory factory);
};

// Sets errno and returns -1.
int fail(int err);

// ---- request tables ---------------------------------------------------------
// A driver's requests, one row each, as the kernel's ioctl operation tables:
// adding a request is adding a row. `Call` is what the driver hands every
// handler: its open file and what it looked up or locked for the request
// (the channel the file serves, the lock it holds).
template <class Call> struct IoctlOp {
    unsigned long request;
    int (*handler)(Call &call, void *arg);
};

// The row of `request`, or null when the table has none.
template <class Call, size_t N>
const IoctlOp<Call> *find_ioctl(const IoctlOp<Call> (&table)[N], unsigned long request)
{
    for (const IoctlOp<Call> &op : table)
        if (op.request == request)
            return &op;
    return nullptr;
}

// Runs the handler of `request`; a request the table lacks is refused with
// -1/EINVAL.
template <class Call, size_t N>
int dispatch(const IoctlOp<Call> (&table)[N], unsigned long request, Call &call, void *arg)
{
    const IoctlOp<Call> *op = find_ioctl(table, request);
    return op ? op->handler(call, arg) : fail(EINVAL);
}

// The table of a driver whose requests need nothing but their record.
template <> struct IoctlOp<void> {
    unsigned long request;
    int (*handler)(void *arg);
};

template <size_t N> int dispatch(const IoctlOp<void> (&table)[N], unsigned long request, void *arg)
{
    const IoctlOp<void> *op = find_ioctl(table, request);
    return op ? op->handler(arg) : fail(EINVAL);
}

// The wait of a request that takes a timeout: until `ready` holds, without end
// when `ms` is negative, else at most `ms` milliseconds (0 only looks). What
// `ready` says at the end.
template <class Ready>
bool wait_ms(std::condition_variable &cv, std::unique_lock<std::mutex> &lock, int32_t ms, Ready ready)
{
    if (ms < 0) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_for(lock, std::chrono::milliseconds(ms), ready);
}

// Copies to and from a firmware record without crashing on a bad pointer:
// false when the address is null or not mapped.
bool copy_from_user(void *dst, const void *src, size_t n);
bool copy_to_user(void *dst, const void *src, size_t n);
template <class T> bool get_user(T &dst, const void *src) { return copy_from_user(&dst, src, sizeof dst); }
template <class T> bool put_user(void *dst, const T &src) { return copy_to_user(dst, &src, sizeof src); }

// ---- physical memory ----------------------------------------------------------

// The board's 32-bit physical address space, one sparse shared mapping.
uint8_t *phys(uint32_t addr);
uint32_t phys_read32(uint32_t addr);
void phys_write32(uint32_t addr, uint32_t value);
int phys_fd();

// The DDR window that memory zones, buffer pools, encoder rings, canvases and
// statistics are carved from: [kDdrBase, kDdrBase + kDdrSize).
constexpr uint32_t kDdrBase = 0x80000000u;
constexpr uint32_t kDdrSize = 0x40000000u;
// Allocates zeroed DDR, page aligned; 0 when none is left. Freed on restart.
uint32_t phys_alloc(uint32_t size);
void phys_free(uint32_t addr);
// Size of the allocation that starts at `addr`, 0 when none does.
uint32_t phys_alloc_size(uint32_t addr);
// Whether [addr, addr + len) lies inside one allocation (len 0: never).
bool phys_in_alloc(uint32_t addr, uint64_t len);

// ---- device registers that react to an access ------------------------------------------

// Register windows are plain physical memory: the firmware maps them
// (bd_mmap) and reaches them with bd_reg_read and bd_reg_write, which are
// plain loads and stores unless a driver put a hook on the register. Then an
// access of the firmware through any mapping that covers the register calls
// the hook with the access's physical address and width (1, 2 or 4 bytes,
// aligned, within the register's 32-bit word):
// - a write lands in memory first, then `on_write` sees the value written
//   (it may change the register's memory, as a self-clearing bit would);
// - a read returns what `on_read` gives; the memory is not read.
// A null hook leaves that direction plain memory. Hooks run in the
// firmware's thread, with no board lock held, and take the locks their
// driver needs. The board's own code reads and writes registers through
// phys(), which calls no hook.
using RegWrite = void (*)(uint32_t phys, unsigned width, uint32_t value);
using RegRead = uint32_t (*)(uint32_t phys, unsigned width);

// Hooks the 32-bit register at `phys` (4-aligned, outside DDR: registers
// only) for the board's life; registering it again replaces its hooks, with
// both null it is plain memory again. A hook on a misaligned or DDR address,
// or more than 64 hooked registers, is a bug of the board: it stops with a
// message. At most 32 firmware mappings may cover hooked registers at a
// time; bd_mmap refuses another with ENOMEM rather than leave it unhooked.
void reg_hook(uint32_t phys, RegWrite on_write, RegRead on_read);

// A driver's hooks, registered from a static object.
struct RegHookRegistration {
    RegHookRegistration(uint32_t phys, RegWrite on_write, RegRead on_read) { reg_hook(phys, on_write, on_read); }
};

// ---- the media platform's kernel side, kept by /dev/sys -----------------------------

struct ChnAddr {
    uint32_t mod;
    int32_t dev;
    int32_t chn;
    bool operator==(const ChnAddr &o) const { return mod == o.mod && dev == o.dev && chn == o.chn; }
};

// The kernel bind table: who receives what a channel produces, and back.
std::vector<ChnAddr> bind_destinations(const ChnAddr &src);
bool bind_source_of(const ChnAddr &dst, ChnAddr *src);

// Delivery along the bind table. A driver that takes what a bound channel
// produces registers a sink for its module; a sink must not block (it queues
// or drops). One table per kind of payload (audio frames, pictures).
template <class Payload> struct Routes {
    using Sink = std::function<void(const ChnAddr &dst, const Payload &payload)>;
    struct Registration {
        Registration(uint32_t mod, Sink sink) { table()[mod] = std::move(sink); }
    };
    // Hands the payload to every destination bound to `src`; returns how many took it.
    static int route(const ChnAddr &src, const Payload &payload)
    {
        int taken = 0;
        for (const ChnAddr &dst : bind_destinations(src)) {
            auto it = table().find(dst.mod);
            if (it == table().end())
                continue;
            it->second(dst, payload);
            taken++;
        }
        return taken;
    }

private:
    static std::map<uint32_t, Sink> &table()
    {
        static std::map<uint32_t, Sink> sinks; // filled by static registrations before main
        return sinks;
    }
};

// The platform's one microsecond time-stamp clock (moved by InitPtsBase/SyncPts).
uint64_t platform_pts_us();

// ---- the media platform's buffer pools, kept by /dev/vb --------------------------------

// Kernel-side use of the pools by the other drivers, with the pool ids and
// block handles the firmware sees. 0xFFFFFFFF is "none" for both.
uint32_t vb_create_pool(uint32_t blk_size, uint32_t blk_cnt, const char *zone);
bool vb_destroy_pool(uint32_t pool); // false while a block is in use
// A free block of `pool`, or with pool 0xFFFFFFFF of the smallest common pool
// whose blocks hold `size` bytes; its use count starts at 1.
uint32_t vb_get_block(uint32_t pool, uint32_t size, const char *zone);
bool vb_ref_block(uint32_t handle);     // one more user
bool vb_release_block(uint32_t handle); // one user less; free at 0
uint32_t vb_block_phys(uint32_t handle); // 0 when not a block in use
uint32_t vb_block_pool(uint32_t handle);
// The handle of the block in use of `pool` that starts at `phys`, or 0xFFFFFFFF.
uint32_t vb_block_at(uint32_t pool, uint32_t phys);
bool vb_pool_exists(uint32_t pool);

// ---- the camera's surroundings -------------------------------------------------

enum class Usb { none, charger, host };

struct World {
    bool key_rec = false;   // pressed
    bool key_mode = false;
    bool key_power = false;
    bool power_key_seen = false; // the microcontroller latches a press until power-off
    bool tv = false;        // cable in
    Usb usb = Usb::none;
    bool card = true;       // in the slot
    long card_mb = 4096;
    int battery = 720;      // ADC value
    // The scene in front of the lens.
    double scene_brightness = 1.0; // 1.0 = a normally lit scene
    int scene_kelvin = 5500;
    bool scene_motion = false;
    bool scene_grey = false; // a uniform grey in place of the pattern
    double scene_haze = 0;   // 0 clear .. 1 nothing but the air light
};

// The surroundings under their lock; the callback runs with it held.
void with_world(const std::function<void(World &)> &fn);
World world();

// The settings of the surroundings that board.conf gives at start and the
// control commands change, checked by one table (control.cpp) for both:
// `value` taken into `w` for board.conf's `key` ("battery",
// "scene.brightness") and "" answered, or `w` left as it was and why the
// value was refused answered (kUnknownSetting for a key not in the table).
extern const char *const kUnknownSetting;
std::string world_setting(World &w, const std::string &key, const std::string &value);
// The table's keys, in its order.
std::vector<std::string> world_setting_keys();

// Called when the card goes in or out or changes size.
void card_changed();
bool card_mounted();

// Files opened through bd_open while the card is mounted belong to that card:
// once it leaves the slot their descriptors fail with EIO, as the kernel's do
// for a pulled card, also after a card goes back in. A path on the card while
// the slot is empty cannot be opened.
int card_file_open(const std::string &host_path, int flags, mode_t mode);
bool card_file_gone(int fd);
void card_file_closed(int fd);

// The bytes the card's files and folders take (each file rounded up to whole
// clusters, a cluster per folder), as its file system keeps the count:
// counted when the card is mounted, then followed change by change, whoever
// makes the change, so that asking costs nothing whatever the number of files.
constexpr uint64_t kCardCluster = 32768; // vfat cluster of a card this size
uint64_t card_used_bytes();
// Counts the card again from its folder (at a mount).
void card_recount();

// ---- the card and the flash as media (board/sim/medium.cpp) --------------------------
//
// A file of the card or the flash holds what was written to it through
// bd_write, and the size bd_ftruncate gave it, only in the kernel's cache
// until it is synced: bd_fsync, bd_sync or the shell's sync; on the flash
// also its close (its file system writes a file out as it is closed); on
// the card its close when mounted with the `flush` option, every write at
// once when mounted synchronous. Names (creation, truncation at open,
// rename, removal) are on the medium at once. A power cut, or the card
// leaving the slot, loses what its medium had not synced, as board.conf's
// `power_cut` says: `drop` (the default) puts every such file back as it was
// synced, `tear` does so too but leaves the last write before the cut half
// done, ended at a sector boundary (a last size change not done at all),
// with the same file's changes before it on the medium; `keep` loses nothing.

// bd_open's, bd_write's, bd_ftruncate's, bd_fsync's and bd_close's work on
// an ordinary file.
void medium_opened(int fd, const std::string &host_path, int flags);
ssize_t medium_write(int fd, const void *buf, size_t count);
int medium_truncate(int fd, off_t length);
int medium_fsync(int fd);
void medium_closed(int fd);
// Every medium's files synced (bd_sync, the shell's sync).
void medium_sync();
// A rename (renameat2's flags) or a removal that, on a medium, is one of its
// operations.
int medium_rename(const std::string &from_host, const std::string &to_host, unsigned flags);
int medium_remove(const std::string &host_path);
// The card (mount options `flush` or synchronous) writes out at close or at
// once; set at each mount.
void medium_card_mounted(unsigned long flags, const char *options);
// The card left the slot: its files lose what they had not synced.
void medium_card_pulled();
// The power went: every medium loses what it had not synced. The caller
// ends the process.
void medium_power_lost();
// For tests: the power goes right after the `n`th operation on a file of a
// medium from now on (1: the next; creating or truncating a file at its
// open, a write, a size change, a sync, the close of a written file, a
// rename, a removal; 0 disarms),
// as `power cut` would: the medium loses what it had not synced (that
// write torn under `tear`) and the process is killed.
void cut_power_after_operation(unsigned n);

// Loaded kernel modules (insmod/rmmod through the shell).
bool module_loaded(const std::string &name);

// Brings the USB controller's register and uevents in line with the cable.
void usb_update();

// Level of a GPIO line (bank * 256 + pin) as the camera would read it.
int gpio_level(int gpio);

// ---- control: $BOARD_ROOT/board.sock ------------------------------------------

// A command's handler answers "ok" or "error: why".
using CommandHandler = std::function<std::string(const std::vector<std::string> &args)>;
struct CommandRegistration {
    CommandRegistration(const char *name, CommandHandler handler);
};

// Runs one control line as the socket would.
std::string control(const std::string &line);

// A number of a control command or board.conf: the whole word, in plain
// decimal (an optional minus, digits, at most one point) and finite; a plus,
// an exponent, "nan", "inf", hexadecimal and trailing bytes, a NUL among
// them, are refused.
bool parse_long(const std::string &s, long &v);
bool parse_double(const std::string &s, double &v);

// Adds "key=value" pairs to the status line, in registration order.
struct StatusRegistration {
    StatusRegistration(std::function<std::string()> part);
};

// ---- uevents ---------------------------------------------------------------------

// Delivers one kernel uevent to every bound netlink socket; the number of
// sockets that got it.
size_t uevent(const std::string &text);

// The board end of a closed netlink socket goes with it.
void socket_closed(int fd);

// Splits on blanks; quotes group.
std::vector<std::string> split_words(const std::string &line);

} // namespace sim

// ---- the image sensor (board/sim/picture/mn34220.cpp) ---------------------------------------

namespace sim {

// The exposure the sensor applies now, relative to the normal exposure of a
// scene of brightness 1.0 (10 ms at unity gains): integration time x
// analogue gain x digital gain / 10 ms. The picture's linear light scales by
// it (and by the scene's brightness); 0 before the sensor is programmed.
double sensor_exposure_gain();

// The analogue x digital gain the sensor applies now (1.0 at its minimum):
// what its noise grows with.
double sensor_gain();

// The sensor's field (the pixels it reads out) that the video input's
// windows and the hot pixels' positions refer to.
constexpr uint32_t kSensorFieldWidth = 1920, kSensorFieldHeight = 1096;

// The sensor's hot pixels, fixed for the board's life: position on the
// field and how far each stands above black (8-bit scale), sorted by
// position (row, then column). board.conf `sensor.hot_pixels` sets how many
// (default 128, 0 none).
struct HotPixel {
    uint16_t x, y;
    uint8_t level;
};
std::vector<HotPixel> sensor_hot_pixels();

// Frames per second from the frame length and the mode's line clock; 0 while
// the sensor does not stream.
double sensor_fps();

// Frames the sensor has delivered since the board started.
uint64_t sensor_frame();

// A register of the sensor as it stands.
uint8_t sensor_reg(uint16_t reg);

// Every register write the sensor took, in order, with the frame it landed in;
// `sync` marks the kernel's frame-synced writes (the rest came over I2C).
struct SensorWrite {
    uint64_t frame;
    uint16_t reg;
    uint8_t value;
    bool sync;
};
std::vector<SensorWrite> sensor_writes();

// Connects or disconnects the sensor from the I2C bus (it answers no write
// while away); the board starts with it connected unless board.conf says
// "sensor = none".
void sensor_set_present(bool present);

} // namespace sim

// ---- the TV output (board/sim/video/vo.cpp) -------------------------------------------------

namespace sim {

// Frames channel `chn` of the video output's layer has displayed since the
// board started.
uint64_t vo_frames(int chn);

} // namespace sim
