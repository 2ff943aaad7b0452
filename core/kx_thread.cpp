#include "core/kx_thread.h"

int KX_THCreate_API(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *), void *arg)
{
    return pthread_create(thread, attr, start, arg);
}

int KX_THExit_API(void *) { return pthread_detach(pthread_self()); }

int KX_THMutexInit_API(pthread_mutex_t *mutex, const pthread_mutexattr_t *attr)
{
    return pthread_mutex_init(mutex, attr);
}

int KX_THMutexLock_API(pthread_mutex_t *mutex) { return pthread_mutex_lock(mutex); }
int KX_THMutexUnlock_API(pthread_mutex_t *mutex) { return pthread_mutex_unlock(mutex); }

int KX_THCondInit_API(pthread_cond_t *cond, const pthread_condattr_t *attr)
{
    return pthread_cond_init(cond, attr);
}

int KX_THCondWait_API(pthread_cond_t *cond, pthread_mutex_t *mutex) { return pthread_cond_wait(cond, mutex); }

int KX_THCondTimedWait_API(pthread_cond_t *cond, pthread_mutex_t *mutex, const struct timespec *deadline)
{
    return pthread_cond_timedwait(cond, mutex, deadline);
}

int KX_THCondSignal_API(pthread_cond_t *cond) { return pthread_cond_signal(cond); }
int KX_THCondBroadcast_API(pthread_cond_t *cond) { return pthread_cond_broadcast(cond); }
