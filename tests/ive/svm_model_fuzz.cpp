// Fuzz harness: any bytes as a support-vector model file. What loads is a
// record the prediction's check and the engine accept; a refused file leaves
// the record's blocks without memory; no media memory is kept either way.
#include "ive/inner_comm.h"
#include "ive/ive_requests.h"
#include "tests/ive/ive_fuzz.h"

using namespace ivefuzz;

namespace {

// The largest model's blocks: 256 features, 80 classes, a table of 2048.
struct Run {
    IVE_MEM_BLOCK_S src = media(4 * 256), votes = media(2 * 80);
    IVE_LUT_DESC_S table = {media(2 * 2048), 2048, 0, 0, -1024, 1024};
};

void loaded(IVE_SVM_CLASSIFIER_S &m, const Run &run)
{
    const u32 sv = 3u * m.u16FeatureDim * m.u16SvTotal;
    expect(m.stSv.pu8VirAddr && m.stSv.u32PhyAddr && m.stSv.u32Size == sv, "the vectors' block");
    expect(m.stDf.u32PhyAddr == m.stSv.u32PhyAddr + IveAlign(sv, 16) &&
               m.stDf.pu8VirAddr == m.stSv.pu8VirAddr + IveAlign(sv, 16) && m.stDf.u32Size == m.u32TotalDfSize,
           "the functions follow the vectors");
    expect(sim::phys_alloc_size(m.stSv.u32PhyAddr) == IveAlign(sv, 16) + IveAlign(m.u32TotalDfSize, 16),
           "one block for both");
    IVE_TASK_HANDLE handle;
    expect(DU_DUZ_IVE_SVM_Predict(&handle, &run.src, &run.table, &m, &run.votes, 0) == 0,
           "the check and the engine take what loads");
    u32 votes = 0;
    for (u32 c = 0; c < m.u8ClassCount; c++) {
        u16 v;
        memcpy(&v, run.votes.pu8VirAddr + 2 * c, 2);
        votes += v;
    }
    expect(votes == ive_svm_df_count(m.u8ClassCount), "one vote per decision function");
    DU_DUZ_IVE_SVM_UnloadModel(&m);
    expect(empty(m.stSv) && empty(m.stDf), "unloading empties the blocks");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Run run;
    read_model<IVE_SVM_CLASSIFIER_S>(
        data, size, DU_SW_SVM_LoadModel, [&](IVE_SVM_CLASSIFIER_S &m) { loaded(m, run); },
        [](const IVE_SVM_CLASSIFIER_S &m) { return no_memory(m.stSv) && no_memory(m.stDf); });
    return 0;
}
