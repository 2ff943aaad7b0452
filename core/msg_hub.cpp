#include "core/msg_hub.h"

#include <cstdio>

#include "core/kx_thread.h"

KX_OrderQueue *q_button_msg = nullptr;
pthread_mutex_t lock_button_msg_wq = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t cond_main_msg = PTHREAD_COND_INITIALIZER;
// Guards the receiver's test-and-wait against the senders' posts, and the
// queue pointer itself. Always taken before the queue's own mutex.
pthread_mutex_t lock_main_msg = PTHREAD_MUTEX_INITIALIZER;

int hcmgr_create_queue(void)
{
    int ret = 0;
    KX_THMutexLock_API(&lock_main_msg);
    if (!q_button_msg) {
        q_button_msg = KX_OrderQueue_Create(HCMGR_MSG_SIZE, HCMGR_MSG_DEPTH, &lock_button_msg_wq);
        ret = q_button_msg ? 0 : -1;
    }
    KX_THCondBroadcast_API(&cond_main_msg);
    KX_THMutexUnlock_API(&lock_main_msg);
    return ret;
}

int hcmgr_destroy_queue(void)
{
    KX_THMutexLock_API(&lock_main_msg);
    KX_OrderQueue_Destroy(q_button_msg);
    q_button_msg = nullptr;
    KX_THCondBroadcast_API(&cond_main_msg);
    KX_THMutexUnlock_API(&lock_main_msg);
    return 0;
}

int hcmgr_snd_msg(uint32_t id)
{
    const uint8_t rec[HCMGR_MSG_SIZE] = {(uint8_t)(id >> 24), (uint8_t)(id >> 16), (uint8_t)(id >> 8), (uint8_t)id};

    // Written and announced under lock_main_msg, so a receiver either finds
    // the id in its emptiness test or is already waiting for the broadcast.
    KX_THMutexLock_API(&lock_main_msg);
    bool queued = q_button_msg != nullptr;
    if (queued)
        KX_OrderQueue_Write(q_button_msg, rec, sizeof(rec)); // a full queue drops it and says so
    KX_THCondBroadcast_API(&cond_main_msg);
    KX_THMutexUnlock_API(&lock_main_msg);

    if (!queued) {
        printf("====== hcmgr_snd_msg: no message queue, 0x%08x dropped\n", id);
        return -1;
    }
    return 0;
}

int hcmgr_rcv_msg(uint32_t *id)
{
    uint8_t rec[HCMGR_MSG_SIZE];
    int ret = -1;

    KX_THMutexLock_API(&lock_main_msg);
    if (!q_button_msg || KX_OrderQueue_Empty(q_button_msg))
        KX_THCondWait_API(&cond_main_msg, &lock_main_msg);
    // A wake-up may bring nothing (or the queue may have gone): the caller
    // simply asks again.
    if (q_button_msg && KX_OrderQueue_Read(rec, q_button_msg) == 0) {
        uint32_t v = (uint32_t)rec[0] << 24 | (uint32_t)rec[1] << 16 | (uint32_t)rec[2] << 8 | rec[3];
        if (id)
            *id = v;
        ret = (int)v;
    }
    KX_THMutexUnlock_API(&lock_main_msg);
    return ret;
}

int KX_WaitCmdToMsg_API(void)
{
    KX_THMutexLock_API(&lock_main_msg);
    int ret = KX_THCondWait_API(&cond_main_msg, &lock_main_msg);
    KX_THMutexUnlock_API(&lock_main_msg);
    return ret;
}

int KX_SendCondtoMsg(void)
{
    KX_THMutexLock_API(&lock_main_msg);
    int ret = KX_THCondBroadcast_API(&cond_main_msg);
    KX_THMutexUnlock_API(&lock_main_msg);
    return ret;
}

int hcm_init(void) { return 0; }
