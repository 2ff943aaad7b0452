#include "mpi/common/mpi_common.h"

void mpi_assert_failed(const char *file, const char *func, int line, const char *cond)
{
    printf("\nASSERT failed at:\n  >File name: %s\n  >Function : %s\n  >Line No. : %d\n  >Condition: %s\n", file,
           func, line, cond);
    fflush(stdout);
    _exit(-1);
}
