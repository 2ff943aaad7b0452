// Motion detection: the detection channel, its thread, and the rule that
// turns SAD results into REC releases.
#include "recorder/dv_motion.h"

#include "core/kx_thread.h"
#include "core/msg_hub.h"
#include "core/pref_record.h"
#include "core/rec_state.h"
#include "mpi/common/mpi_steps.h"
#include "mpi/video/sys/mpi_sys.h"
#include "recorder/dv_hooks.h"

#include <poll.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

std::atomic<u32> mdThreadRun{0};
pthread_t gs_MdPid;
u64 g_u64MDPreTime = 0;
u8 needUpdatePreTime = 1;

namespace {

constexpr int kResultTimeoutMs = 2000;
constexpr auto kFirstPictureDelay = std::chrono::seconds(1);
// How long a posted start may take to show in the record state before the
// detector takes it as refused (no card, power-off) and may post again.
constexpr u64 kStartGraceUs = 5ull * 1000 * 1000;
constexpr u32 kRecRelease = HMSG_KEY_RELEASE | KEY_ID_REC;

// The channel the running thread serves.
s32 md_vda_chn = 0;
// Wakes the thread's first wait when the stop comes early.
std::mutex md_lock;
std::condition_variable md_wake;

// A start posted and not yet seen in the record state, and when.
bool md_start_posted = false;
u64 md_start_pts = 0;

void where(const char *func, int line) { printf("[%s]-%d: ", func, line); }

// Results count only while the camera is not a computer's disk.
bool results_apply() { return !dv_app_hooks().usb_host_may_claim(); }

u32 sad_at(const VDA_DATA_REC_S &d, u32 row, u32 col)
{
    const u8 *line = static_cast<const u8 *>(d.pAddr) + (size_t)row * d.u32Stride;
    if (d.enMbSadBits == VDA_MB_SAD_8BIT)
        return line[col];
    u16 v;
    memcpy(&v, line + (size_t)col * 2, sizeof v);
    return v;
}

bool sad_valid(const VDA_DATA_REC_S *d) { return d && d->bMbSadValid == 1 && d->pAddr; }

void post_rec_release() { hcmgr_snd_msg(kRecRelease); }

} // namespace

u32 md_sad_threshold(s32 sensitivity)
{
    switch (sensitivity) {
    case PREF_MD_HIGH:
        return 50;
    case PREF_MD_LOW:
        return 110;
    default:
        return 80;
    }
}

u64 md_quiet_time_us(s32 timeout)
{
    static const u64 seconds[] = {5, 15, 30, 60};
    u64 s = timeout >= PREF_MD_TIMEOUT_5S && timeout <= PREF_MD_TIMEOUT_60S ? seconds[timeout] : 30;
    return s * 1000 * 1000;
}

s32 KX_Have_ObjMov(const VDA_DATA_REC_S *data, u32 *count)
{
    if (!sad_valid(data))
        return 0;
    const u32 th = md_sad_threshold(app_pref_user ? app_pref_user->MotionDetectSensitivity : PREF_MD_NORMAL);
    u32 n = 0;
    for (u32 r = 0; r < data->u32MbHeight; r++)
        for (u32 c = 0; c < data->u32MbWidth; c++)
            n += sad_at(*data, r, c) > th;
    if (count)
        *count = n;
    return n > 0;
}

void KX_MD_Process_Data(const VDA_DATA_REC_S *data)
{
    if (!data)
        return;
    u32 count = 0;
    const bool motion = KX_Have_ObjMov(data, &count) == 1;
    const u64 now = data->u64Pts;
    // The application's command and the file's state: they differ while a
    // recording starts or its file is being closed.
    const bool commanded = gRecCmd[KX_REC_ENTRY_RECORD].RecState == KX_REC_STATE_RUNNING;
    const bool file_open = KX_Get_Record_State() == KX_REC_STATE_RUNNING;

    if (md_start_posted) {
        // One start per change: the application waits a moment before it
        // starts, and results keep coming meanwhile.
        if (!commanded && now >= md_start_pts && now - md_start_pts < kStartGraceUs)
            return;
        md_start_posted = false;
    }

    if (!commanded && !file_open) {
        // Whoever starts the next recording, its quiet time counts from its
        // own first result, not from motion seen in an earlier one.
        needUpdatePreTime = 1;
        if (motion && !dv_app_hooks().powering_off()) {
            printf("rec startblk:%d \n", count);
            post_rec_release();
            printf("motion detect start record ");
            md_start_posted = true;
            md_start_pts = now;
        }
        return;
    }
    if (commanded != file_open) {
        // Starting, or closing the last file: a REC release now would turn
        // the command just taken around.
        needUpdatePreTime = 1;
        return;
    }

    if (motion)
        needUpdatePreTime = 1;
    if (needUpdatePreTime || now < g_u64MDPreTime) {
        g_u64MDPreTime = now;
        needUpdatePreTime = 0;
    }
    const u64 quiet = md_quiet_time_us(app_pref_user ? app_pref_user->MotionDetectTimeout : -1);
    if (now - g_u64MDPreTime >= quiet) {
        printf("curTime=%llu , mdPreTime =%llu\n", (unsigned long long)now, (unsigned long long)g_u64MDPreTime);
        post_rec_release();
        printf("motion detect stop record ");
        // Should the stop be refused, the next try waits another full period.
        needUpdatePreTime = 1;
    }
}

void *KX_MD_Process_Run(void *)
{
    const VDA_CHN chn = md_vda_chn;
    {
        std::unique_lock<std::mutex> lock(md_lock);
        md_wake.wait_for(lock, kFirstPictureDelay, [] { return mdThreadRun != 1; });
    }
    if (mdThreadRun != 1)
        return nullptr;
    s32 ret = DU_DUZ_VDA_StartRecvPic(chn);
    if (ret != 0) {
        where(__FUNCTION__, __LINE__);
        puts("err!");
        return nullptr;
    }
    printf("DU_DUZ_VDA_StartRecvPic ");
    s32 fd = DU_DUZ_VDA_GetFd(chn);
    if (fd < 0) {
        where(__FUNCTION__, __LINE__);
        printf("DU_DUZ_VDA_GetFd failed with %#x!\n", fd);
        return nullptr;
    }
    while (mdThreadRun == 1) {
        pollfd p = {fd, POLLIN, 0};
        int n = poll(&p, 1, kResultTimeoutMs);
        if (n < 0) {
            where(__FUNCTION__, __LINE__);
            puts("select failed!");
            break;
        }
        if (n == 0) {
            where(__FUNCTION__, __LINE__);
            puts("get vda result time out, exit thread");
            break;
        }
        VDA_DATA_REC_S data;
        if ((ret = DU_DUZ_VDA_GetData(chn, &data, -1)) != 0) {
            where(__FUNCTION__, __LINE__);
            printf("DU_DUZ_VDA_GetData failed with %#x!\n", ret);
            break;
        }
        if (results_apply())
            KX_MD_Process_Data(&data);
        if ((ret = DU_DUZ_VDA_ReleaseData(chn, &data)) != 0) {
            where(__FUNCTION__, __LINE__);
            printf("DU_DUZ_VDA_ReleaseData failed with %#x!\n", ret);
            break;
        }
    }
    return nullptr;
}

namespace {

// What the start's steps work on: the detection channel and its bind.
struct MdStart {
    s32 vda_chn;
    VDA_CHN_ATTR_REC_S attr;
    MPP_CHN_ADDR_S src, dst;
};

// The start's messages carry its name.
constexpr const char *kStart = "KX_MdStart";

s32 create_chn(MdStart *m)
{
    s32 ret = DU_DUZ_VDA_CreateChn(m->vda_chn, &m->attr);
    if (ret != 0) {
        where(kStart, __LINE__);
        puts("err!");
    }
    return ret;
}
void destroy_chn(MdStart *m) { DU_DUZ_VDA_DestroyChn(m->vda_chn); }

s32 bind_chn(MdStart *m)
{
    s32 ret = DU_DUZ_SYS_Bind(&m->src, &m->dst);
    if (ret != 0) {
        where(kStart, __LINE__);
        printf("err, s32Ret: 0x%x!\n", ret);
    }
    return ret;
}
void unbind_chn(MdStart *m) { DU_DUZ_SYS_UnBind(&m->src, &m->dst); }

s32 start_thread(MdStart *m)
{
    md_vda_chn = m->vda_chn;
    md_start_posted = false;
    needUpdatePreTime = 1;
    mdThreadRun = 1;
    if (KX_THCreate_API(&gs_MdPid, nullptr, KX_MD_Process_Run, nullptr) == 0)
        return 0;
    mdThreadRun = 0;
    where(kStart, __LINE__);
    puts("err!");
    return -1;
}

const mpi_step<MdStart> kStartSteps[] = {
    {nullptr, create_chn, destroy_chn},
    {nullptr, bind_chn, unbind_chn},
    {nullptr, start_thread, nullptr},
};

} // namespace

s32 KX_MdStart(s32 vdaChn, s32 vpssChn, const u32 *pic, u32 fps)
{
    const u32 intvl = fps / 4;
    printf("KX_MdStart intvl = %d\n", intvl);
    if (!pic || pic[0] > MD_MAX_PIC_SIDE || pic[1] > MD_MAX_PIC_SIDE) {
        where(__FUNCTION__, __LINE__);
        puts("Picture size invaild!");
        return -1;
    }
    MdStart m;
    memset(&m, 0, sizeof m);
    m.vda_chn = vdaChn;
    m.attr.enWorkMode = VDA_WORK_MODE_MD;
    m.attr.unAttr.stMdAttr = {VDA_ALG_REF, VDA_MB_16PIXEL, VDA_MB_SAD_8BIT, VDA_REF_MODE_DYNAMIC, 8, intvl, 128, 60, 128};
    m.attr.u32Width = pic[0];
    m.attr.u32Height = pic[1];
    m.src = {DU_ID_VPSS, 0, vpssChn};
    m.dst = {DU_ID_VDA, 0, vdaChn};
    // A failing step takes back the ones before it.
    return mpi_steps_run(kStartSteps, &m);
}

s32 KX_MdStop(s32 vdaChn, s32 vpssChn)
{
    // The handler and a signal's stop thread may both stop it: the one that
    // clears the flag joins.
    bool joins;
    {
        std::lock_guard<std::mutex> lock(md_lock);
        joins = mdThreadRun.exchange(0) == 1;
    }
    if (joins) {
        md_wake.notify_all();
        pthread_join(gs_MdPid, nullptr);
    }
    s32 ret = DU_DUZ_VDA_StopRecvPic(vdaChn);
    if (ret != 0) {
        where(__FUNCTION__, __LINE__);
        printf("err(0x%x)!!!!\n", ret);
    }
    MPP_CHN_ADDR_S src = {DU_ID_VPSS, 0, vpssChn}, dst = {DU_ID_VDA, 0, vdaChn};
    if ((ret = DU_DUZ_SYS_UnBind(&src, &dst)) != 0) {
        where(__FUNCTION__, __LINE__);
        printf("err(0x%x)!!!!\n", ret);
    }
    if ((ret = DU_DUZ_VDA_DestroyChn(vdaChn)) != 0) {
        where(__FUNCTION__, __LINE__);
        printf("err(0x%x)!!!!\n", ret);
    }
    return ret;
}

// ---- debug printers ----

void KX_MdPrtObj_Deg(FILE *fp, const VDA_DATA_REC_S *data)
{
    fprintf(fp, "===== %s =====\n", __FUNCTION__);
    if (!data || !data->bMbObjValid || (data->u32ObjNum && !data->pstAddr)) {
        fprintf(fp, "bMbObjValid = FALSE.\n");
        return;
    }
    fprintf(fp, "ObjNum=%d, IndexOfMaxObj=%d, SizeOfMaxObj=%d, SizeOfTotalObj=%d\n", data->u32ObjNum,
            data->u32IndexOfMaxObj, data->u32SizeOfMaxObj, data->u32SizeOfTotalObj);
    for (u32 i = 0; i < data->u32ObjNum; i++) {
        const VDA_OBJ_S &o = data->pstAddr[i];
        fprintf(fp, "[%d]\t left=%d, top=%d, right=%d, bottom=%d\n", i, o.u16Left, o.u16Top, o.u16Right, o.u16Bottom);
    }
}

void KX_MdPrtAp_Deg(FILE *fp, const VDA_DATA_REC_S *data)
{
    if (!data || !data->bPelsNumValid) {
        fprintf(fp, "bMbObjValid = FALSE.\n");
        return;
    }
    fprintf(fp, "AlarmPixelCount=%d\n", data->u32AlarmPixCnt);
}

void KX_MdPrtSad_Deg(FILE *fp, const VDA_DATA_REC_S *data)
{
    if (!sad_valid(data)) {
        fprintf(fp, "bMbSadValid = FALSE.\n");
        return;
    }
    const bool wide = data->enMbSadBits != VDA_MB_SAD_8BIT;
    for (u32 r = 0; r < data->u32MbHeight; r++) {
        for (u32 c = 0; c < data->u32MbWidth; c++)
            fprintf(fp, wide ? "%-4d " : "%-2d ", sad_at(*data, r, c));
        // Each row ends in the file it was written to.
        fprintf(fp, "\n");
    }
}
