// libFuzzer entry for the settings text parser, for a clang build with
// -fsanitize=fuzzer. Run it on a board root of its own, with the saved corpus
// as its seed:
//   BOARD_ROOT=/tmp/fuzz-root ./settings_file_fuzz tests/app/data/settings_file_corpus
// Inputs worth keeping go into that corpus, which settings_file_fuzz_test
// replays in every test run.
#include "tests/app/settings_file_fuzz.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string broke = settings_fuzz::parse_one(data, size);
    if (!broke.empty()) {
        fprintf(stderr, "settings parser: %s\n", broke.c_str());
        abort();
    }
    return 0;
}
