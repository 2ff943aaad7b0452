// Fuzz harness: random requests to the simulated engine. Byte 0 picks the
// command word, the next bytes are its block (the rest zero) and whatever
// follows fills a region of media memory. Any 32-bit word of the block whose
// top byte is 0x80 is read as an address inside that region (its offset
// modulo the region's size), so that the fuzzer reaches planes the engine
// accepts. The engine may refuse or compute; it must never write outside
// media memory: the bytes after the region, up to the end of its page and on
// the page after it, stay zero.
#include "ive/ive_requests.h"
#include "tests/ive/ive_fuzz.h"

#include <algorithm>
#include <fcntl.h>

using namespace ivefuzz;

namespace {

const unsigned long kCommands[] = {
    IVE_DMA,           IVE_FILTER,         IVE_CSC,
    IVE_FILTER_AND_CSC, IVE_SOBEL,         IVE_MAG_AND_ANG,
    IVE_DILATE,        IVE_ERODE,          IVE_THRESH,
    IVE_AND,           IVE_SUB,            IVE_OR,
    IVE_INTEG,         IVE_HIST,           IVE_THRESH_S16,
    IVE_THRESH_U16,    IVE_16BIT_TO_8BIT,  IVE_ORD_STAT_FILTER,
    IVE_MAP,           IVE_ADD,            IVE_XOR,
    IVE_NCC,           IVE_CCL,            IVE_GMM,
    IVE_CANNY_HYS_EDGE, IVE_LBP,           IVE_NORM_GRAD,
    IVE_LK_OPTICAL_FLOW, IVE_GRAD_FG,      IVE_MATCH_BG_MODEL,
    IVE_UPDATE_BG_MODEL, IVE_ANN_MLP_PREDICT, IVE_SVM_PREDICT,
    IVE_SAD,           IVE_EQUALIZE_HIST,  IVE_ST_CANDI_CORNER,
    IVE_QUERY,
};

// Room for the largest block.
constexpr size_t kBlock = 512;
static_assert(sizeof(IVE_UPDATE_BG_MODEL_REQ_S) <= kBlock && sizeof(IVE_MATCH_BG_MODEL_REQ_S) <= kBlock &&
                  sizeof(IVE_NORM_GRAD_REQ_S) <= kBlock,
              "block room");

// 256 KiB less 100 bytes: the last page keeps 100 bytes outside the region.
constexpr u32 kRegion = 256 * 1024 - 100, kPage = 4096;
constexpr u32 kGuard = kPage + 100;

struct Engine {
    IVE_MEM_BLOCK_S region = media(kRegion);
    int fd = bd_open("/dev/ive", O_RDONLY);
    Engine()
    {
        expect(fd >= 0, "/dev/ive opens");
        expect(sim::phys_alloc_size(region.u32PhyAddr + kRegion + 100) == 0, "nothing after the region");
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Engine engine;
    if (size < 1)
        return 0;
    const unsigned long cmd = kCommands[data[0] % (sizeof kCommands / sizeof kCommands[0])];
    alignas(8) u8 block[kBlock] = {};
    const size_t used = std::min(size - 1, kBlock);
    memcpy(block, data + 1, used);
    for (size_t off = 0; off + 4 <= kBlock; off += 4) {
        u32 word;
        memcpy(&word, block + off, 4);
        if (word >> 24 == 0x80) {
            word = engine.region.u32PhyAddr + (word & 0xFFFFFF) % kRegion;
            memcpy(block + off, &word, 4);
        }
    }
    // The region holds the rest of the input, repeated (zero without one).
    const uint8_t *rest = data + 1 + used;
    const size_t rest_n = size - 1 - used;
    for (u32 i = 0; i < kRegion; i++)
        engine.region.pu8VirAddr[i] = rest_n ? rest[i % rest_n] : 0;
    bd_ioctl(engine.fd, cmd, block);
    const u8 *after = engine.region.pu8VirAddr + kRegion;
    for (u32 i = 0; i < kGuard; i++)
        expect(after[i] == 0, "nothing written outside media memory");
    return 0;
}
