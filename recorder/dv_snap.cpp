// Photos from the JPEG encoder channel: the snapshot thread, the one-shot
// variant, and the stream-to-file writers.
#include "recorder/dv_snap.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <string>
#include <vector>
#include <pthread.h>
#include <sys/select.h>
#include <sys/time.h>
#include <unistd.h>

#include "board/board.h"
#include "core/kx_thread.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"
#include "core/safe_file.h"
#include "recorder/jpeg_whole.h"
#include "recorder/rec_files.h"

std::atomic<u32> g_SnapRun{0};

namespace {

// The snapshot and one-shot threads: started and stopped from the handler
// thread (and a signal's stop thread), so their handles are kept under a lock.
std::mutex g_snap_lock;
pthread_t g_snap_thread;
bool g_snap_joinable = false;
pthread_t g_piv_thread;
bool g_piv_joinable = false;

u64 now_ms()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return (u64)tv.tv_sec * 1000 + (u64)tv.tv_usec / 1000;
}

// Waits for channel 0's descriptor; 0 readable, -1 error, 1 time-out.
int wait_stream(s32 fd)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    struct timeval tv = {SNAP_WAIT_MS / 1000, (SNAP_WAIT_MS % 1000) * 1000};
    int n = select(fd + 1, &set, nullptr, nullptr, &tv);
    if (n < 0) {
        puts("snap select failed!");
        return -1;
    }
    if (n == 0) {
        puts("snap time out!");
        return 1;
    }
    return 0;
}

// Takes the stream the encoder holds, saves it and gives it back: a failed
// save still releases the stream. 0 or -1.
s32 take_and_save()
{
    VENC_CHN_STATE_S state = {};
    s32 ret = DU_DUZ_VENC_Query(SNAP_VENC_CHN, &state);
    if (ret != 0) {
        printf("DU_DUZ_VENC_Query failed with %#x!\n", ret);
        return -1;
    }
    VENC_STREAM_REC_S stream = {};
    stream.pstPack = static_cast<VENC_PACK_REC_S *>(calloc(state.u32CurPackNum ? state.u32CurPackNum : 1,
                                                           sizeof(VENC_PACK_REC_S)));
    if (!stream.pstPack) {
        puts("malloc memory failed!");
        return -1;
    }
    stream.u32PackNum = state.u32CurPackNum;
    ret = DU_DUZ_VENC_GetStream(SNAP_VENC_CHN, &stream, -1);
    if (ret != 0) {
        printf("DU_DUZ_VENC_GetStream failed with %#x!\n", ret);
        free(stream.pstPack);
        return -1;
    }
    s32 result = 0;
    ret = KX_VENC_SaveSnap(&stream);
    if (ret != 0) {
        printf("KX_VENC_SaveSnap %#x!\n", ret);
        result = -1;
    }
    ret = DU_DUZ_VENC_ReleaseStream(SNAP_VENC_CHN, &stream);
    if (ret != 0) {
        printf("DU_DUZ_VENC_ReleaseStream failed with %#x!\n", ret);
        result = -1;
    }
    free(stream.pstPack);
    return result;
}

// One picture: ask, wait, take, save, stop asking. 0 or -1.
s32 one_shot()
{
    const VENC_RECV_PIC_PARAM_REC_S recv = {1};
    s32 ret = DU_DUZ_VENC_StartRecvPicEx(SNAP_VENC_CHN, &recv);
    if (ret != 0) {
        printf("DU_DUZ_VENC_StartRecvPic faild with%#x!\n", ret);
        return -1;
    }
    s32 fd = DU_DUZ_VENC_GetFd(SNAP_VENC_CHN);
    if (fd < 0) {
        printf("DU_DUZ_VENC_GetFd faild with%#x!\n", fd);
        return -1;
    }
    if (wait_stream(fd) != 0 || take_and_save() != 0)
        return -1;
    ret = DU_DUZ_VENC_StopRecvPic(SNAP_VENC_CHN);
    if (ret != 0) {
        printf("DU_DUZ_VENC_StopRecvPic failed with %#x!\n", ret);
        return -1;
    }
    return 0;
}

void join_locked(pthread_t &t, bool &joinable)
{
    if (joinable) {
        pthread_join(t, nullptr);
        joinable = false;
    }
}

// Every pack from its data offset on, in order, to `put`; `each` runs after
// each pack.
template <class Put, class Each> s32 for_each_pack(const VENC_STREAM_REC_S *stream, Put put, Each each)
{
    if (!stream || (stream->u32PackNum && !stream->pstPack))
        return -1;
    for (u32 i = 0; i < stream->u32PackNum; i++) {
        const VENC_PACK_REC_S &p = stream->pstPack[i];
        if (p.u32DataOffset > p.u32Len || (!p.pu8Data && p.u32Len))
            return -1;
        const size_t len = p.u32Len - p.u32DataOffset;
        if (len && !put(p.pu8Data + p.u32DataOffset, len))
            return -1;
        if (!each())
            return -1;
    }
    return 0;
}

s32 write_packs(FILE *file, const VENC_STREAM_REC_S *stream, bool rest)
{
    if (!file)
        return -1;
    return for_each_pack(
        stream, [&](const u8 *data, size_t len) { return fwrite(data, 1, len, file) == len; },
        [&] {
            if (fflush(file) != 0)
                return false;
            if (rest) {
                bd_sync();
                usleep(20 * 1000);
            }
            return true;
        });
}

constexpr char kPhotoDir[] = "/mnt/sdcard0/PHOTO";
constexpr char kPhotoPrefix[] = "KORVAN";
constexpr char kPhotoEnding[] = ".jpg";

bool ends_with(const std::string &s, const std::string &end)
{
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// Names of the entries of a card folder.
std::vector<std::string> entries(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(bd_path(dir).c_str())) {
        while (struct dirent *e = readdir(d))
            names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

} // namespace

// ---- the snapshot thread -------------------------------------------------------------

void *KX_DV_Start_Snap(void *)
{
    const KX_REC_CMD_S &photo = gRecCmd[KX_REC_ENTRY_PHOTO];
    const u32 interval = photo.u16PhotoInterval;
    u64 last = now_ms();
    bool first = true;
    while (g_SnapRun) {
        const u8 mode = photo.u8PhotoMode;
        if (mode == 2 && !first) {
            while (g_SnapRun && now_ms() - last < interval)
                usleep(5 * 1000);
            if (!g_SnapRun)
                break;
        }
        first = false;
        last = now_ms();
        if (mode == 0 || interval >= 2000)
            hcmgr_snd_msg(AMSG_SNAP_START);
        if (one_shot() != 0)
            break;
        if (mode == 0)
            break;
    }
    g_SnapRun = 0;
    hcmgr_snd_msg(AMSG_SNAP_COMPLETE);
    puts("KX_DV_Start_Snap end");
    s32 ret = DU_DUZ_VENC_StopRecvPic(SNAP_VENC_CHN);
    if (ret != 0)
        printf("DU_DUZ_VENC_StopRecvPic failed with %#x!\n", ret);
    return nullptr;
}

s32 KX_DV_StartSnap(void)
{
    std::lock_guard<std::mutex> lock(g_snap_lock);
    // A series that ended by itself is still to be joined.
    join_locked(g_snap_thread, g_snap_joinable);
    g_SnapRun = 1;
    int ret = KX_THCreate_API(&g_snap_thread, nullptr, KX_DV_Start_Snap, nullptr);
    if (ret != 0) {
        g_SnapRun = 0;
        printf("Thread creation failed:%d\n", ret);
        return ret;
    }
    g_snap_joinable = true;
    return 0;
}

s32 KX_DV_StopSnap(void)
{
    std::lock_guard<std::mutex> lock(g_snap_lock);
    g_SnapRun = 0;
    join_locked(g_snap_thread, g_snap_joinable);
    return 0;
}

// ---- the one-shot variant ----------------------------------------------------------------

s32 KX_DV_PIV(void) { return one_shot(); }

s32 KX_DV_StartPIV(void)
{
    std::lock_guard<std::mutex> lock(g_snap_lock);
    join_locked(g_piv_thread, g_piv_joinable);
    int ret = KX_THCreate_API(&g_piv_thread, nullptr, [](void *) -> void * {
        KX_DV_PIV();
        return nullptr;
    }, nullptr);
    if (ret != 0) {
        printf("Thread creation failed:%d\n", ret);
        return ret;
    }
    g_piv_joinable = true;
    return 0;
}

s32 KX_DV_StopPIV(void)
{
    std::lock_guard<std::mutex> lock(g_snap_lock);
    join_locked(g_piv_thread, g_piv_joinable);
    return 0;
}

// ---- writers -------------------------------------------------------------------------------

s32 KX_VENC_SaveSnap(const VENC_STREAM_REC_S *stream)
{
    char name[KX_REC_FILENAME_SIZE];
    if (KX_RecordCtr_Getfilename(name, sizeof name, KX_REC_ENTRY_PHOTO, KX_REC_TYPE_PHOTO, 0, 0) == 0) {
        hcmgr_snd_msg(AMSG_CARD_STATE_FULL);
        return -1;
    }
    // Written under a temporary name and given the photo's once on the card:
    // a cut leaves a whole photo or none (the boot removes what it cut off),
    // and an existing photo of that name stays as it is.
    SafeFile file;
    if (!safe_file_open(file, name)) {
        puts("open file err");
        return -1;
    }
    s32 ret = for_each_pack(
        stream, [&](const u8 *data, size_t len) { return safe_file_write(file, data, len); }, [] { return true; });
    if (ret != 0)
        safe_file_abort(file);
    else if (!safe_file_commit(file, false)) {
        if (errno == EEXIST)
            printf("%s exists, left as it is\n", name);
        ret = -1;
    }
    if (ret != 0) {
        puts("save snap picture failed!");
        return -1;
    }
    return 0;
}

namespace {

// A photo a cut left under its temporary name: whole (cut off only before
// its rename), it takes its own name, or the next free one when a file has
// that; torn, it goes.
void settle_photo(const std::string &temp)
{
    if (!jpeg_file_whole(temp)) {
        if (bd_remove(temp.c_str()) == 0)
            printf("%s: a photo cut off, removed\n", temp.c_str());
        return;
    }
    const std::string own = temp.substr(0, temp.size() - strlen(SAFE_FILE_TEMP_SUFFIX));
    if (safe_file_adopt(temp, own)) {
        printf("%s: a whole photo cut off before its rename, kept as %s\n", temp.c_str(), own.c_str());
        return;
    }
    char name[KX_REC_FILENAME_SIZE];
    if (errno == EEXIST && rec_files_next_free_photo(name, sizeof name) && safe_file_adopt(temp, name)) {
        printf("%s: a whole photo cut off before its rename, kept as %s (%s is taken)\n", temp.c_str(), name,
               own.c_str());
        return;
    }
    printf("%s: a whole photo cut off before its rename, cannot be given a photo name (%s): kept\n", temp.c_str(),
           strerror(errno));
}

} // namespace

void snap_settle_unfinished(void)
{
    const std::string ending = std::string(kPhotoEnding) + SAFE_FILE_TEMP_SUFFIX;
    for (const std::string &folder : entries(kPhotoDir)) {
        if (folder.compare(0, 3, "KR1") != 0)
            continue;
        const std::string dir = std::string(kPhotoDir) + "/" + folder;
        for (const std::string &n : entries(dir))
            if (n.compare(0, strlen(kPhotoPrefix), kPhotoPrefix) == 0 && ends_with(n, ending))
                settle_photo(dir + "/" + n);
    }
}

s32 KX_VENC_SaveJPEG(FILE *file, const VENC_STREAM_REC_S *stream) { return write_packs(file, stream, true); }
s32 KX_VENC_SaveH264(FILE *file, const VENC_STREAM_REC_S *stream) { return write_packs(file, stream, false); }
s32 KX_VENC_SaveH265(FILE *file, const VENC_STREAM_REC_S *stream) { return write_packs(file, stream, false); }
s32 KX_VENC_SaveMJpeg(FILE *file, const VENC_STREAM_REC_S *stream) { return write_packs(file, stream, false); }

s32 KX_VENC_SaveStream(u32 payload, FILE *file, const VENC_STREAM_REC_S *stream)
{
    switch (payload) {
    case PT_H264:
        return KX_VENC_SaveH264(file, stream);
    case PT_H265:
        return KX_VENC_SaveH265(file, stream);
    case PT_MJPEG:
        return KX_VENC_SaveMJpeg(file, stream);
    default:
        return -1;
    }
}

s32 KX_VENC_GetFilePostfix(u32 payload, char *out)
{
    const char *postfix;
    switch (payload) {
    case PT_H264:
        postfix = ".h264";
        break;
    case PT_H265:
        postfix = ".h265";
        break;
    case PT_JPEG:
        postfix = ".jpg";
        break;
    case PT_MJPEG:
        postfix = ".mjp";
        break;
    case 230:
        postfix = ".mp4";
        break;
    default:
        printf("[%s]-%d: ", "KX_VENC_GetFilePostfix", 52);
        puts("payload type err!");
        return -1;
    }
    if (!out)
        return -1;
    strcpy(out, postfix);
    return 0;
}
