// libFuzzer entry for the settings text parser, for a clang build with
// -fsanitize=fuzzer. Run it on a board root of its own, with the saved corpus
// as its seed:
//   BOARD_ROOT=/tmp/fuzz-root ./app_settings_file_fuzzer tests/app/corpus/settings_file
// Inputs worth keeping go into that corpus, which the test app_settings_file_fuzz
// replays in every test run.
#include "tests/app/settings_file_fuzz.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The clock texts are checked against UTC.
    static const bool utc = [] { setenv("TZ", "UTC", 1); tzset(); return true; }();
    (void)utc;
    std::string broke = settings_fuzz::parse_one(data, size);
    if (!broke.empty()) {
        fprintf(stderr, "settings parser: %s\n", broke.c_str());
        abort();
    }
    return 0;
}
