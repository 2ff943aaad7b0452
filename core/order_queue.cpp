#include "core/order_queue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/kx_thread.h"

namespace {

// Holds a queue's mutex for one scope.
class queue_lock {
public:
    explicit queue_lock(pthread_mutex_t *m) : m_(m) { KX_THMutexLock_API(m_); }
    ~queue_lock() { KX_THMutexUnlock_API(m_); }
    queue_lock(const queue_lock &) = delete;
    queue_lock &operator=(const queue_lock &) = delete;

private:
    pthread_mutex_t *m_;
};

// Records held, from the indexes and the state; caller holds the mutex.
// Every decision about empty and full is made from this count under the
// mutex, since the main queue has many producers.
uint32_t held(const KX_OrderQueue *q)
{
    if (q->u32State == KX_QUEUE_EMPTY)
        return 0;
    return (q->u32Write + q->u32Depth - q->u32Read) % q->u32Depth + 1;
}

// Removes the oldest record, copying it out first when dst is given.
int take_oldest(void *dst, KX_OrderQueue *q)
{
    if (!q)
        return 1;
    queue_lock lock(q->pMutex);
    uint32_t n = held(q);
    if (n == 0)
        return 1;
    if (dst)
        memcpy(dst, q->pu8Slots + (size_t)q->u32Read * q->u32RecSize, q->u32RecSize);
    if (n == 1) {
        // Last record: the indexes stay equal and the queue reads empty.
        q->u32State = KX_QUEUE_EMPTY;
    } else {
        q->u32Read = (q->u32Read + 1) % q->u32Depth;
        // There is room again, so a past overflow no longer counts as full.
        q->u32State = KX_QUEUE_DATA;
    }
    return 0;
}

} // namespace

KX_OrderQueue *KX_OrderQueue_Create(uint32_t recsize, uint32_t depth, pthread_mutex_t *mutex)
{
    if (recsize == 0 || depth == 0 || !mutex) {
        printf("====== [%s] bad queue: record size %u, depth %u, mutex %p\n", __func__, recsize, depth,
               (void *)mutex);
        return nullptr;
    }
    auto *q = static_cast<KX_OrderQueue *>(calloc(1, sizeof(KX_OrderQueue) + (size_t)recsize * depth));
    if (!q) {
        printf("[%s]que(%p) failed to alloc for pnewqueue!\n", __func__, (void *)q);
        return nullptr;
    }
    q->u32Depth = depth;
    q->u32RecSize = recsize;
    q->pMutex = mutex;
    q->pu8Slots = reinterpret_cast<uint8_t *>(q + 1);
    return q;
}

int KX_OrderQueue_Write(KX_OrderQueue *q, const void *data, uint32_t len)
{
    if (!q)
        return 1;
    const char *refusal;
    {
        queue_lock lock(q->pMutex);
        if (held(q) == q->u32Depth) {
            // Refuse the new record; the old ones stay as they are.
            q->u32State = KX_QUEUE_OVERFLOW;
            refusal = "ERROR: write queue is full......";
        } else if (len != q->u32RecSize || !data) {
            refusal = "ERROR: datalen is error";
        } else {
            uint32_t slot = q->u32State == KX_QUEUE_EMPTY ? q->u32Write : (q->u32Write + 1) % q->u32Depth;
            memcpy(q->pu8Slots + (size_t)slot * q->u32RecSize, data, q->u32RecSize);
            q->u32Write = slot;
            q->u32State = KX_QUEUE_DATA;
            return 0;
        }
    }
    puts(refusal);
    return 1;
}

int KX_OrderQueue_Read(void *dst, KX_OrderQueue *q) { return dst ? take_oldest(dst, q) : 1; }
int KX_OrderQueue_Delete(KX_OrderQueue *q) { return take_oldest(nullptr, q); }

int KX_OrderQueue_ReadNotDel(void *dst, KX_OrderQueue *q)
{
    if (!q || !dst)
        return 1;
    queue_lock lock(q->pMutex);
    if (held(q) == 0)
        return 1;
    memcpy(dst, q->pu8Slots + (size_t)q->u32Read * q->u32RecSize, q->u32RecSize);
    return 0;
}

int KX_OrderQueue_Empty(KX_OrderQueue *q)
{
    if (!q)
        return 1;
    queue_lock lock(q->pMutex);
    return held(q) == 0;
}

int KX_OrderQueue_Full(KX_OrderQueue *q)
{
    if (!q)
        return 1;
    queue_lock lock(q->pMutex);
    return q->u32State == KX_QUEUE_OVERFLOW || held(q) == q->u32Depth;
}

uint32_t KX_OrderQueue_GetRealDepth(KX_OrderQueue *q)
{
    if (!q)
        return 0;
    queue_lock lock(q->pMutex);
    return held(q);
}

uint32_t KX_OrderQueue_GetAllDepth(KX_OrderQueue *q) { return q ? q->u32Depth : 0; }

void KX_OrderQueue_Destroy(KX_OrderQueue *q) { free(q); }

// ---- link queue ------------------------------------------------------------------

KX_LinkQueue *KX_LinkQueue_Create(pthread_mutex_t *mutex)
{
    auto *q = mutex ? static_cast<KX_LinkQueue *>(calloc(1, sizeof(KX_LinkQueue))) : nullptr;
    if (!q) {
        puts("KX_LinkQueue_Create error");
        return nullptr;
    }
    q->pMutex = mutex;
    return q;
}

void KX_LinkQueue_Init(KX_LinkQueue *q)
{
    if (!q)
        return;
    q->pHead = nullptr;
    q->pTail = nullptr;
    q->u32Count = 0;
}

int KX_LinkQueue_Write(KX_LinkQueue *q, const void *data, uint32_t len)
{
    if (!q || (!data && len))
        return 1;
    auto *node = static_cast<KX_LinkQueueNode *>(calloc(1, sizeof(KX_LinkQueueNode) + len));
    if (!node) {
        puts("ERROR: create link queue error...");
        return 1;
    }
    node->u32Len = len;
    node->pData = reinterpret_cast<uint8_t *>(node + 1);
    if (len)
        memcpy(node->pData, data, len);

    queue_lock lock(q->pMutex);
    if (q->pTail)
        q->pTail->pNext = node;
    else
        q->pHead = node;
    q->pTail = node;
    q->u32Count++;
    return 0;
}

int KX_LinkQueue_Read(void *dst, KX_LinkQueue *q)
{
    if (!q)
        return 1;
    {
        queue_lock lock(q->pMutex);
        if (q->pHead) {
            if (dst && q->pHead->u32Len)
                memcpy(dst, q->pHead->pData, q->pHead->u32Len);
            return (int)q->pHead->u32Len;
        }
    }
    puts("ERROR:queue read is empty....");
    return 1;
}

int KX_LinkQueue_GetDatLen(KX_LinkQueue *q) { return KX_LinkQueue_Read(nullptr, q); }

int KX_LinkQueue_Delete(KX_LinkQueue *q)
{
    if (!q)
        return 1;
    KX_LinkQueueNode *node;
    {
        queue_lock lock(q->pMutex);
        node = q->pHead;
        if (node) {
            q->pHead = node->pNext;
            if (!q->pHead) {
                q->pTail = nullptr;
                q->u32Count = 0;
            } else {
                q->u32Count--;
            }
        }
    }
    if (!node) {
        puts("ERROR:queue delete is empty");
        return 1;
    }
    free(node);
    return 0;
}

uint32_t KX_LinkQueue_Empty(KX_LinkQueue *q)
{
    if (!q)
        return 0;
    queue_lock lock(q->pMutex);
    return q->pHead ? q->u32Count : 0;
}

uint32_t KX_LinkQueue_GetRealDepth(KX_LinkQueue *q) { return KX_LinkQueue_Empty(q); }

void KX_LinkQueue_ClearAll(KX_LinkQueue *q)
{
    if (!q)
        return;
    KX_LinkQueueNode *node;
    {
        queue_lock lock(q->pMutex);
        node = q->pHead;
        q->pHead = nullptr;
        q->pTail = nullptr;
        q->u32Count = 0;
    }
    while (node) {
        KX_LinkQueueNode *next = node->pNext;
        free(node);
        node = next;
    }
}

void link_queue_destroy(KX_LinkQueue *q)
{
    KX_LinkQueue_ClearAll(q);
    free(q);
}
