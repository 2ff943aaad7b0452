// Requests of /dev/adec ('H'), shared by the audio decoder unit and its driver.
#pragma once

#include "mpi/audio/adec/mpi_adec.h"
#include "mpi/common/mpi_common.h"

constexpr unsigned long ADEC_BIND_CHN_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'H', 0);
constexpr unsigned long ADEC_CREATE_CHN_CTRL = MPI_IOC(MPI_IOC_WRITE, 16, 'H', 1);
constexpr unsigned long ADEC_DESTROY_CHN_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'H', 2);
constexpr unsigned long ADEC_CHN_STAT_CTRL = MPI_IOC(MPI_IOC_WRITE, 28, 'H', 3);

static_assert(ADEC_CHN_STAT_CTRL == 0x401C4803, "request numbers");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ADEC_CHN_ATTR_S) == 16, "channel attributes");
#endif
