// The order queue: a first-in-first-out ring of fixed-size records in one heap
// block, guarded by a mutex the caller owns. It carries the main message queue
// and the recording engine's command and packet queues.
//
// The link queue: a mutex-guarded singly linked list of variable-length
// records, a small companion of the order queue.
//
// Queue calls return 0 on success and 1 when empty, full or failing.
#pragma once

#include <pthread.h>
#include <cstdint>

// One block: this header, then depth x record size bytes of slots.
struct KX_OrderQueue {
    uint32_t u32Read;      // slot of the oldest record
    uint32_t u32Write;     // slot of the newest record (not the next free one)
    uint32_t u32Depth;     // number of slots
    uint32_t u32State;     // 0 empty, 1 holds data, 255 full and a write was refused
    uint32_t u32RecSize;   // bytes per record
    pthread_mutex_t *pMutex; // the caller's; never created or destroyed here
    uint8_t *pu8Slots;     // first slot, right behind this header
};
static_assert(sizeof(void *) != 4 || sizeof(KX_OrderQueue) == 28, "seven 32-bit words on the target");

enum { KX_QUEUE_EMPTY = 0, KX_QUEUE_DATA = 1, KX_QUEUE_OVERFLOW = 255 };

// Null when the block can't be had (or the size, depth or mutex is unusable).
KX_OrderQueue *KX_OrderQueue_Create(uint32_t recsize, uint32_t depth, pthread_mutex_t *mutex);
int KX_OrderQueue_Write(KX_OrderQueue *queue, const void *data, uint32_t len);
// Destination first, queue second; the destination takes one record.
int KX_OrderQueue_Read(void *dst, KX_OrderQueue *queue);
int KX_OrderQueue_ReadNotDel(void *dst, KX_OrderQueue *queue);
int KX_OrderQueue_Delete(KX_OrderQueue *queue);
int KX_OrderQueue_Empty(KX_OrderQueue *queue);
int KX_OrderQueue_Full(KX_OrderQueue *queue);
uint32_t KX_OrderQueue_GetRealDepth(KX_OrderQueue *queue);
uint32_t KX_OrderQueue_GetAllDepth(KX_OrderQueue *queue);
void KX_OrderQueue_Destroy(KX_OrderQueue *queue);

// Each node is one block: this head, then the payload that pData points to.
struct KX_LinkQueueNode {
    KX_LinkQueueNode *pNext;
    uint32_t u32Len;
    uint8_t *pData;
};
static_assert(sizeof(void *) != 4 || sizeof(KX_LinkQueueNode) == 12, "node head of 12 bytes on the target");

struct KX_LinkQueue {
    KX_LinkQueueNode *pHead;
    KX_LinkQueueNode *pTail;
    uint32_t u32Count;
    pthread_mutex_t *pMutex; // the caller's
};
static_assert(sizeof(void *) != 4 || sizeof(KX_LinkQueue) == 16, "16-byte header on the target");

// Null when the header can't be had or there is no mutex.
KX_LinkQueue *KX_LinkQueue_Create(pthread_mutex_t *mutex);
void KX_LinkQueue_Init(KX_LinkQueue *queue);
int KX_LinkQueue_Write(KX_LinkQueue *queue, const void *data, uint32_t len);
// Copies the oldest payload and leaves it; returns its length, or 1 when empty.
int KX_LinkQueue_Read(void *dst, KX_LinkQueue *queue);
int KX_LinkQueue_GetDatLen(KX_LinkQueue *queue);
int KX_LinkQueue_Delete(KX_LinkQueue *queue);
// Both return the number of nodes held.
uint32_t KX_LinkQueue_Empty(KX_LinkQueue *queue);
uint32_t KX_LinkQueue_GetRealDepth(KX_LinkQueue *queue);
void KX_LinkQueue_ClearAll(KX_LinkQueue *queue);
// Frees every node and the header; the mutex stays the caller's.
void link_queue_destroy(KX_LinkQueue *queue);
