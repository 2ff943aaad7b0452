// Named operations over POSIX threads, mutexes and condition variables, used
// by the application and the recording engine. Each passes its arguments to
// the POSIX call of the same role and returns that call's result.
#pragma once

#include <pthread.h>
#include <ctime>

int KX_THCreate_API(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *), void *arg);
// Detaches the calling thread; it does not end it.
int KX_THExit_API(void *value);
int KX_THMutexInit_API(pthread_mutex_t *mutex, const pthread_mutexattr_t *attr);
int KX_THMutexLock_API(pthread_mutex_t *mutex);
int KX_THMutexUnlock_API(pthread_mutex_t *mutex);
int KX_THCondInit_API(pthread_cond_t *cond, const pthread_condattr_t *attr);
int KX_THCondWait_API(pthread_cond_t *cond, pthread_mutex_t *mutex);
// Waits until an absolute deadline of the real-time clock; ETIMEDOUT after it.
int KX_THCondTimedWait_API(pthread_cond_t *cond, pthread_mutex_t *mutex, const struct timespec *deadline);
int KX_THCondSignal_API(pthread_cond_t *cond);
int KX_THCondBroadcast_API(pthread_cond_t *cond);
