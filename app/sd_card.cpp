// The SD card: detection, mounting, free space and the card operations.
#include "app/sd_card.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "board/board.h"
#include "core/msg_hub.h"
#include "core/run_thread.h"

std::atomic<uint32_t> card_state{CARD_STATE_ABSENT};
int dev_fd = -1;
volatile uint8_t *card_io_base = nullptr;

std::atomic<uint8_t> u8NeedLockFileTH{0};
char u8LockFileName[60];

namespace {

constexpr uint32_t kNoCard = 1; // detect byte without a card
constexpr int kCardMajor = 179;
constexpr int kScsiMajor = 8;
constexpr unsigned long kMountNoExec = 8;
// A mount point that stays busy after this many unmounts is given up.
constexpr int kMountBusyTries = 3;

const char *const kCardMount = "/mnt/sdcard0";
const char *const kMovieDir = "/mnt/sdcard0/MOVIE";
const char *const kAlarmDir = "/mnt/sdcard0/ALARM";

std::atomic<uint32_t> movefile_run{0};
bool g_card_mounted = false; // the last detection mounted the card's partition
RunThread movefile_thread;

bool host_exists(const std::string &firmware_path)
{
    struct stat st;
    return stat(bd_path(firmware_path).c_str(), &st) == 0;
}

bool can_open_dir(const char *firmware_path)
{
    DIR *d = opendir(bd_path(firmware_path).c_str());
    if (!d)
        return false;
    closedir(d);
    return true;
}

// perror that leaves errno as it found it, for the caller's message.
void report(const char *what)
{
    int err = errno;
    perror(what);
    errno = err;
}

std::mutex lock_name_mutex; // u8LockFileName: written by the MP4 thread, read here

void lock_one_file()
{
    char name[sizeof u8LockFileName + 1] = {};
    {
        std::lock_guard<std::mutex> g(lock_name_mutex);
        memcpy(name, u8LockFileName, strnlen(u8LockFileName, sizeof u8LockFileName));
    }
    if (!name[0]) {
        puts("lock file: no recording file");
        return;
    }
    if (!can_open_dir(kAlarmDir) && mkdir(bd_path(kAlarmDir).c_str(), 0775) != 0 && errno != EEXIST) {
        perror("lock file: mkdir ALARM");
        return;
    }
    char source[160];
    snprintf(source, sizeof source, "%s/%s", kMovieDir, name);
    if (!host_exists(source)) {
        printf("lock file: %s is not in %s\n", name, kMovieDir);
        return;
    }
    // A clash takes a counter before the extension, never a second one.
    const size_t len = strlen(name);
    const bool mp4 = len > 4 && strcasecmp(name + len - 4, ".mp4") == 0;
    const int stem = (int)(mp4 ? len - 4 : len);
    const char *ext = mp4 ? name + len - 4 : ".mp4";
    char target[160];
    snprintf(target, sizeof target, "%s/%s", kAlarmDir, name);
    for (int n = 0; host_exists(target); ++n)
        snprintf(target, sizeof target, "%s/%.*s_%d%s", kAlarmDir, stem, name, n, ext);
    char cmd[400];
    snprintf(cmd, sizeof cmd, "mv %s %s", source, target);
    if (bd_system(cmd) != 0) {
        printf("lock file %s failed\n", name);
        return;
    }
    bd_sync();
    printf("lock file:%s\n", target);
}

void *movefile_thread_body(void *)
{
    while (movefile_run) {
        if (u8NeedLockFileTH) {
            lock_one_file();
            u8NeedLockFileTH = 0;
        }
        usleep(5 * 1000);
    }
    return nullptr;
}

} // namespace

int init_sd_card(void)
{
    if (!card_io_base) {
        dev_fd = bd_open("/dev/mem", O_RDWR | O_NONBLOCK);
        if (dev_fd < 0) {
            puts("======mem map failed");
            return -1;
        }
        void *p = bd_mmap(nullptr, SD_CTRL_MAP_LEN, PROT_READ | PROT_WRITE, MAP_SHARED, dev_fd, SD_CTRL_PHYS);
        if (p == MAP_FAILED) {
            puts("======gpiobase mmap failed!");
            bd_close(dev_fd);
            dev_fd = -1;
            return -1;
        }
        card_io_base = static_cast<volatile uint8_t *>(p);
    }
    // Read now, not at the first scan: start-up decides on the card before
    // the scans run, and the first scan must not take the card for a change.
    card_state = kx_Read_SD_State() == kNoCard ? CARD_STATE_ABSENT : CARD_STATE_PRESENT;
    return 1;
}

void close_sd_dev(void)
{
    if (card_io_base)
        bd_munmap(const_cast<uint8_t *>(card_io_base), SD_CTRL_MAP_LEN);
    card_io_base = nullptr;
    if (dev_fd >= 0)
        bd_close(dev_fd);
    dev_fd = -1;
}

uint32_t kx_Read_SD_State(void)
{
    if (!card_io_base)
        return 0xFFFFFFFF;
    return card_io_base[SD_DETECT_OFFSET];
}

int card_detect(void)
{
    uint32_t v = kx_Read_SD_State();
    if (v == 0xFFFFFFFF)
        return 0; // no controller, no news
    if (v != kNoCard && card_state == CARD_STATE_ABSENT) {
        card_state = CARD_STATE_PRESENT;
        puts("card_detect insert ");
        hcmgr_snd_msg(HMSG_CARD_IN);
    } else if (v == kNoCard && card_state == CARD_STATE_PRESENT) {
        card_state = CARD_STATE_ABSENT;
        puts("card_detect remove ");
        hcmgr_snd_msg(HMSG_CARD_OUT);
    }
    return 0;
}

int FS_Disk_PhyDisk_Detect(void)
{
    puts("FS_Disk_PhyDisk_Detect");
    FILE *f = fopen(bd_path("/proc/partitions").c_str(), "r");
    if (!f)
        return -1;
    char line[129];
    g_card_mounted = false;
    while (fgets(line, sizeof line, f)) {
        int major, minor, blocks;
        char name[64];
        // The title line, empty lines and cut lines carry no partition.
        if (sscanf(line, "%d %d %d %63s", &major, &minor, &blocks, name) != 4)
            continue;
        if (major == kCardMajor)
            FS_Disk_Add_PhyDisk(name, major, minor, blocks);
    }
    fclose(f);
    // Without a mounted partition the mount point is a bare folder of the
    // root file system: nothing may be recorded there.
    if (!g_card_mounted) {
        puts("no card partition mounted");
        return -1;
    }
    return 0;
}

int FS_Disk_Add_PhyDisk(const char *name, int major, int minor, int blocks)
{
    (void)minor;
    (void)blocks;
    if (!name || (major != kScsiMajor && major != kCardMajor))
        return 0;
    size_t len = strlen(name);
    if (len == 7 && strncmp(name, "mmc", 3) == 0)
        return 0; // the whole card: its partitions are mounted, not it
    int card, part;
    char tail;
    if (len == 9 && sscanf(name, "mmcblk%dp%d%c", &card, &part, &tail) == 2) {
        // Every partition would land on the card's one mount point: only
        // the first is mounted.
        if (part != 1)
            return 0;
        char device[32], mount_name[16], point[32];
        snprintf(device, sizeof device, "/dev/mmcblk%dp%d", card, part);
        snprintf(mount_name, sizeof mount_name, "sdcard%d", card);
        snprintf(point, sizeof point, "/mnt/%s", mount_name);
        bd_umount(point);
        if (FS_Disk_Make_MountPoint(device, mount_name) != 0)
            printf("mount %s: %s\n", name, strerror(errno));
        else
            g_card_mounted = true;
        return 0;
    }
    printf("add disk not hard disk name=%s\n", name);
    return 0;
}

int FS_Disk_Make_MountPoint(const char *device, const char *name)
{
    char point[64];
    snprintf(point, sizeof point, "/mnt/%s", name);
    if (!host_exists(point) && mkdir(bd_path(point).c_str(), 060) != 0 && errno != EEXIST) {
        report("mkdir");
        return -1;
    }
    for (int tries = 1;; ++tries) {
        if (bd_mount(device, point, "vfat", kMountNoExec, "") == 0)
            return 0;
        if (errno != EBUSY) {
            report("Mount Hard Disk");
            return -1;
        }
        if (tries == kMountBusyTries) {
            report("Mount Hard Disk");
            return -1;
        }
        if (bd_umount(point) != 0) {
            report("Umount Hard Disk");
            return -1;
        }
    }
}

uint64_t Get_SD_Card_Space_2(void)
{
    struct statvfs st;
    if (bd_statvfs(kCardMount, &st) != 0)
        return 0;
    return (uint64_t)st.f_bavail * st.f_frsize / 1024; // exact for clusters under 1 KiB too
}

int mount_sd_card(void)
{
    int rc = bd_system("mount -t vfat /dev/mmcblk0p1 /mnt/sdcard0");
    usleep(500 * 1000);
    return rc == 0 ? 0 : -1;
}

int FS_Disk_Umount_SD(void)
{
    if (!can_open_dir("/mnt")) {
        perror("open mnt\n");
        return -1;
    }
    if (bd_umount(kCardMount) != 0)
        perror("Umount Hard Disk\n");
    // Only an empty mount point goes; a card's files never do.
    rmdir(bd_path(kCardMount).c_str());
    return 0;
}

int FS_DISK_FormatDisk(void)
{
    if (bd_system("fdisk /dev/mmcblk0p1 <<EOO\nd\n1\nd\nn\np\n1\n\n\nt\nb\nw\n\nEOO") != 0) {
        perror("fdisk Hard Disk\n");
        return -1;
    }
    return 0;
}

int mkdir_sd_media_path(void)
{
    const char *const dirs[] = {"/mnt/sdcard0/MOVIE", "/mnt/sdcard0/PHOTO"};
    int rc = 0;
    for (const char *d : dirs) {
        if (can_open_dir(d))
            continue;
        char cmd[64];
        snprintf(cmd, sizeof cmd, "mkdir %s", d);
        if (bd_system(cmd) != 0)
            rc = -1;
        usleep(5 * 1000);
    }
    return rc;
}

int FS_Disk_Make_IndexNode(const char *path, int minor)
{
    if (!path)
        return -1;
    mode_t mask = umask(0);
    umask(mask);
    if (mknod(bd_path(path).c_str(), S_IFBLK | (0666 & ~mask), makedev(kCardMajor, minor)) != 0 &&
        errno != EEXIST) {
        perror("mknod for DISK partition");
        return -1;
    }
    return 0;
}

void set_lock_file_name(const char *path)
{
    const char *base = path ? strrchr(path, '/') : nullptr;
    base = base ? base + 1 : path ? path : "";
    std::lock_guard<std::mutex> g(lock_name_mutex);
    memset(u8LockFileName, 0, sizeof u8LockFileName);
    strncpy(u8LockFileName, base, sizeof u8LockFileName);
}

int DV_DC_MoveFile_ThreadRun(void)
{
    puts("DV_DC_MoveFile_ThreadRun");
    return run_thread_start(movefile_thread, movefile_run, movefile_thread_body);
}

int DV_DC_MoveFile_ThreadStop(void) { return run_thread_stop(movefile_thread, movefile_run); }
