// The ISP firmware's register accessors on the simulated board: the space
// lookup, the mapping (made once) and the access, for a hardware register and
// an ext register.
#include <benchmark/benchmark.h>

#include "board/sim/sim.h"
#include "isp/isp_hw_regs.h"
#include "isp/isp_vreg.h"

namespace {

void bring_up()
{
    sim::start("/tmp/isp-vreg-bench-root");
    VReg_Init(ISP_VREG_EXT_BASE, ISP_VREG_EXT_SIZE);
}

void take_down()
{
    VReg_Munmap();
    VReg_ReleaseAll();
}

// /0 an ISP hardware register, /1 an ext register.
u32 reg_of(const benchmark::State &state) { return state.range(0) ? ISP_VREG_EXT_BASE + 0x100 : ISP_BLC_COMMON_REG; }

void IoRead32(benchmark::State &state)
{
    bring_up();
    u32 reg = reg_of(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(IO_READ32(reg));
    take_down();
}
BENCHMARK(IoRead32)->Arg(0)->Arg(1);

void IoWrite32(benchmark::State &state)
{
    bring_up();
    u32 reg = reg_of(state);
    u32 v = 0;
    for (auto _ : state)
        IO_WRITE32(reg, v++);
    take_down();
}
BENCHMARK(IoWrite32)->Arg(0)->Arg(1);

void IoWrite8(benchmark::State &state)
{
    bring_up();
    u32 reg = reg_of(state) + 1;
    u32 v = 0;
    for (auto _ : state)
        IO_WRITE8(reg, v++);
    take_down();
}
BENCHMARK(IoWrite8)->Arg(0)->Arg(1);

} // namespace
