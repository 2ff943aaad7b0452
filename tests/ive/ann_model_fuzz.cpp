// Fuzz harness: any bytes as a network model file. What loads is a record
// the prediction's check and the engine accept; a refused file leaves the
// record's block without memory; no media memory is kept either way.
#include "ive/inner_comm.h"
#include "ive/ive_requests.h"
#include "tests/ive/ive_fuzz.h"

using namespace ivefuzz;

namespace {

// The largest network's blocks: 256 inputs and outputs, a table of 4096.
struct Run {
    IVE_MEM_BLOCK_S src = media(4 * 256), dst = media(4 * 256);
    IVE_LUT_DESC_S table = {media(2 * 4096), 4096, 0, 0, 0, 1};
};

// `file_inputs`: the input count the file gave.
void loaded(IVE_MLP_NET_S &net, const Run &run, u32 file_inputs)
{
    const u32 inputs = net.au16LayerCount[0];
    const bool widened = file_inputs % 8 == 2;
    expect(inputs == file_inputs + (widened ? 1 : 0), "an input is added to counts 2 over a multiple of 8");
    expect(net.stWeight.pu8VirAddr && net.stWeight.u32PhyAddr, "a loaded model has its block");
    expect(net.u32TotalWeightSize == 3 * ive_ann_weight_count(net.au16LayerCount, net.u8LayerNum),
           "the weight size matches the layers");
    expect(net.stWeight.u32Size == net.u32TotalWeightSize + 4, "the block holds the weights and the flag");
    u32 flag;
    memcpy(&flag, net.stWeight.pu8VirAddr + net.u32TotalWeightSize, 4);
    expect(flag == (widened ? 1u : 0u), "the flag says whether an input was added");
    IVE_TASK_HANDLE handle;
    expect(DU_DUZ_IVE_ANN_MLP_Predict(&handle, &run.src, &run.table, &net, &run.dst, 0) == 0,
           "the check and the engine take what loads");
    DU_DUZ_IVE_ANN_MLP_UnloadModel(&net);
    expect(empty(net.stWeight), "unloading empties the block");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Run run;
    read_model<IVE_MLP_NET_S>(
        data, size, DU_SW_ANN_MLP_LoadModel,
        // The file's input count: the first layer count, at byte 9.
        [&](IVE_MLP_NET_S &net) { loaded(net, run, data[9] | data[10] << 8); },
        [](const IVE_MLP_NET_S &net) { return no_memory(net.stWeight); });
    return 0;
}
