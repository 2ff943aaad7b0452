// A register access through the seam (bd_reg_read, bd_reg_write) against a
// plain volatile load or store of the same register, on the simulated board.
//
// Plain{Load,Store}: the volatile access through a mapping of /dev/mem.
// Reg{Read,Write}/0: the seam, while no mapping covers a hooked register.
// Reg{Read,Write}/1: the seam, in a mapping that covers hooked registers
//   elsewhere (the ISP's window with its defect-pixel table port): what most
//   of the ISP firmware's accesses are while it runs.
// RegReadHooked: a read of the table port's read data, served by its hook.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/mman.h>

#include "board/board.h"
#include "board/sim/sim.h"
#include "isp/isp_hw_regs.h"

namespace {

constexpr size_t kWindow = 0x10000;
// A window without hooked registers: the video-input block.
constexpr uint32_t kPlainWindow = VI_REG_BASE;

struct Window {
    int fd = -1;
    uint8_t *base = nullptr;

    explicit Window(uint32_t phys)
    {
        sim::start("/tmp/reg-bench-root");
        fd = bd_open("/dev/mem", O_RDWR | O_SYNC);
        void *p = bd_mmap(nullptr, kWindow, PROT_READ | PROT_WRITE, MAP_SHARED, fd, phys);
        base = p == MAP_FAILED ? nullptr : static_cast<uint8_t *>(p);
    }
    ~Window()
    {
        if (base)
            bd_munmap(base, kWindow);
        bd_close(fd);
    }
};

// The window the access goes through: /0 one without hooks, /1 the ISP's.
uint32_t window_of(const benchmark::State &state) { return state.range(0) ? ISP_REG_BASE : kPlainWindow; }
// A plain register of either window.
constexpr uint32_t kReg = 0x1A4;

void PlainLoad(benchmark::State &state)
{
    Window w(window_of(state));
    const volatile uint32_t *reg = reinterpret_cast<const volatile uint32_t *>(w.base + kReg);
    for (auto _ : state)
        benchmark::DoNotOptimize(*reg);
}
BENCHMARK(PlainLoad)->Arg(0)->Arg(1);

void PlainStore(benchmark::State &state)
{
    Window w(window_of(state));
    volatile uint32_t *reg = reinterpret_cast<volatile uint32_t *>(w.base + kReg);
    uint32_t v = 0;
    for (auto _ : state)
        *reg = v++;
}
BENCHMARK(PlainStore)->Arg(0)->Arg(1);

void RegRead(benchmark::State &state)
{
    Window w(window_of(state));
    for (auto _ : state)
        benchmark::DoNotOptimize(bd_reg_read(w.base + kReg, 4));
}
BENCHMARK(RegRead)->Arg(0)->Arg(1);

void RegWrite(benchmark::State &state)
{
    Window w(window_of(state));
    uint32_t v = 0;
    for (auto _ : state)
        bd_reg_write(w.base + kReg, 4, v++);
}
BENCHMARK(RegWrite)->Arg(0)->Arg(1);

void RegReadHooked(benchmark::State &state)
{
    Window w(ISP_REG_BASE);
    uint8_t *rdata = w.base + (ISP_DP_TABLE_RDATA_REG - ISP_REG_BASE);
    for (auto _ : state)
        benchmark::DoNotOptimize(bd_reg_read(rdata, 4));
}
BENCHMARK(RegReadHooked);

} // namespace
