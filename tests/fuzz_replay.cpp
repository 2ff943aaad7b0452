// Replays a fuzz harness's saved corpus (every file in the folders given) and
// deterministic mutations of each input, for builds without libFuzzer: run
// under the sanitizers, a crash or a read outside an input fails the test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

constexpr int kMutationsPerInput = 64;

// Each input in a buffer of exactly its size.
void run(const std::vector<uint8_t> &input)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[input.size() + (input.empty() ? 1 : 0)]);
    std::copy(input.begin(), input.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), input.size());
}

// Flipped bits, overwritten bytes, cut ends and repeated pieces, from a
// fixed seed.
std::vector<uint8_t> mutate(const std::vector<uint8_t> &in, uint32_t *seed)
{
    auto next = [seed] { return *seed = *seed * 1664525u + 1013904223u, *seed >> 8; };
    std::vector<uint8_t> v = in;
    if (v.empty())
        return v;
    switch (next() % 4) {
    case 0:
        for (int i = 0, n = 1 + next() % 4; i < n; i++)
            v[next() % v.size()] ^= (uint8_t)(1u << (next() % 8));
        break;
    case 1:
        for (int i = 0, n = 1 + next() % 4; i < n; i++)
            v[next() % v.size()] = (uint8_t)next();
        break;
    case 2:
        v.resize(next() % v.size());
        break;
    default: {
        size_t from = next() % v.size(), len = 1 + next() % (v.size() - from);
        v.insert(v.begin() + (long)(next() % v.size()), in.begin() + (long)from, in.begin() + (long)(from + len));
        break;
    }
    }
    return v;
}

} // namespace

int main(int argc, char **argv)
{
    size_t files = 0, runs = 0;
    uint32_t seed = 2024;
    for (int a = 1; a < argc; a++) {
        std::vector<std::filesystem::path> paths;
        for (const auto &entry : std::filesystem::directory_iterator(argv[a]))
            if (entry.is_regular_file())
                paths.push_back(entry.path());
        std::sort(paths.begin(), paths.end());
        for (const auto &path : paths) {
            std::ifstream f(path, std::ios::binary);
            std::vector<uint8_t> input((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
            run(input);
            for (int m = 0; m < kMutationsPerInput; m++, runs++)
                run(mutate(input, &seed));
            files++;
            runs++;
        }
    }
    printf("%zu inputs from %zu corpus files\n", runs, files);
    if (files == 0) {
        fprintf(stderr, "no corpus\n");
        return 1;
    }
    return 0;
}
