// The card's costs on the recording path, on the simulated board:
//
// CardStatvfs/N: the free-space question the recording asks after every
//   frame, with N files on the card (the count follows the changes, so N
//   should not matter).
// CardWrite/0: a 64 KiB append through bd_write to a card file, which the
//   board's medium notes for a power cut; CardWrite/1 the plain write of the
//   same bytes to a host file, for reference.
// CardWriteSync: an append followed by bd_fsync, as each backup interval.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>

#include "board/board.h"
#include "board/sim/sim.h"

namespace {

const char *const kRoot = "/tmp/card-bench-root";

void fresh_card(int files)
{
    std::filesystem::remove_all(kRoot);
    sim::start(kRoot);
    const std::string photos = bd_path("/mnt/sdcard0/PHOTO");
    for (int i = 0; i < files; i++) {
        std::string dir = photos + "/KR1" + std::to_string(10 + i / 999);
        if (i % 999 == 0)
            std::filesystem::create_directories(dir);
        ::close(::open((dir + "/KORVAN" + std::to_string(100 + i % 999) + ".jpg").c_str(), O_CREAT | O_WRONLY, 0644));
    }
    bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, "");
}

void CardStatvfs(benchmark::State &state)
{
    fresh_card((int)state.range(0));
    struct statvfs st;
    for (auto _ : state)
        benchmark::DoNotOptimize(bd_statvfs("/mnt/sdcard0", &st));
}
BENCHMARK(CardStatvfs)->Arg(0)->Arg(30000);

void CardWrite(benchmark::State &state)
{
    fresh_card(0);
    const bool plain = state.range(0) == 1;
    const std::string host = std::string(kRoot) + "/plain.bin";
    int fd = plain ? ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                   : bd_open("/mnt/sdcard0/movie.mp4", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string chunk(64 * 1024, 'm');
    size_t written = 0;
    for (auto _ : state) {
        written += (size_t)(plain ? ::write(fd, chunk.data(), chunk.size()) : bd_write(fd, chunk.data(), chunk.size()));
        if (written >= (256u << 20)) { // start again before the host's disk fills
            state.PauseTiming();
            ftruncate(fd, 0);
            lseek(fd, 0, SEEK_SET);
            if (!plain)
                bd_fsync(fd);
            written = 0;
            state.ResumeTiming();
        }
    }
    plain ? ::close(fd) : bd_close(fd);
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)chunk.size());
}
BENCHMARK(CardWrite)->Arg(0)->Arg(1);

void CardWriteSync(benchmark::State &state)
{
    fresh_card(0);
    int fd = bd_open("/mnt/sdcard0/movie.mp4", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string chunk(64 * 1024, 'm');
    for (auto _ : state) {
        bd_write(fd, chunk.data(), chunk.size());
        bd_fsync(fd);
        if (bd_lseek(fd, 0, SEEK_CUR) >= (256 << 20)) {
            state.PauseTiming();
            ftruncate(fd, 0);
            bd_lseek(fd, 0, SEEK_SET);
            bd_fsync(fd);
            state.ResumeTiming();
        }
    }
    bd_close(fd);
}
BENCHMARK(CardWriteSync);

} // namespace
