// What the exposure, white-balance and focus libraries share: the entry
// checks on device, handle record, handle id and library name, and the
// writer of their proc text.
#pragma once

#include <cstdio>

#include "isp/isp_3a_comm.h"

// Check messages of the 3A libraries, behind the platform's prefix on
// standard error.
#define ALG_TRACE(func, fmt, ...) fprintf(stderr, "[Func]:%s [Line]:%d [Info]:" fmt, func, __LINE__, ##__VA_ARGS__)

constexpr u32 ALG_LIB_INSTANCES = 2;

// A handle id names one of the two instances; anything else (negative
// included) is refused with "Illegal handle id".
s32 alg_check_handle(s32 s32Handle, const char *func);

// The checks of a registration-type entry in the libraries' order: null
// record (`null_code`), handle id, then the name the library answers to.
s32 alg_check_lib(const ALG_LIB_HANDLE_S *pstLib, const char *name, s32 null_code, const char *func);

// "Null Pointer in <func>!" and `code` when `p` is null, else 0.
s32 alg_check_null(const void *p, s32 code, const char *func);

// Appends to the proc text the ISP hands over with command 8001: each piece
// goes where the text so far ends, bounded by the room left; only what was
// stored counts, and once the room is used up nothing more is added.
void alg_proc_printf(ISP_CTRL_PROC_WRITE_S *pstProc, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
// The text's closing zero, counted in the length while there is room for it.
void alg_proc_end(ISP_CTRL_PROC_WRITE_S *pstProc);
