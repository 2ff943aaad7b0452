// The repair of a cut-off movie from its backup index, under any bytes. An
// input is a movie and its index: a big-endian u32 movie length, the movie,
// then the index. Whatever they hold, the repair must stay within its
// buffers (the sanitizers watch that) and end one of three ways: the movie
// finished (its top-level boxes fill it, an mdat and a moov among them) and
// the index gone; the index refused and gone, the movie byte for byte as it
// was; or a write failed, both kept.
//
// libFuzzer entry, for a clang build with -fsanitize=fuzzer, on a board root
// of its own and a copy of the saved corpus:
//   BOARD_ROOT=/tmp/fuzz-root ./recorder_mp4_repair_fuzzer corpus-copy/
// The test recorder_mp4_repair_fuzz replays tests/recorder/corpus/mp4_repair
// in every test run.
#include "recorder/mp4/mp4_writer.h"

#include "board/board.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const char kMovie[] = "/mnt/sdcard0/MOVIE/KORVAN0000001.mp4";

void put(const std::string &path, const uint8_t *data, size_t size)
{
    std::ofstream f(bd_path(path), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(data), (std::streamsize)size);
}

std::string get(const std::string &path)
{
    std::ifstream f(bd_path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

[[noreturn]] void broke(const char *what, int32_t ret)
{
    fprintf(stderr, "repair: %s (result %#x)\n", what, (unsigned)ret);
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    size_t movie_len = (size_t)data[0] << 24 | (size_t)data[1] << 16 | (size_t)data[2] << 8 | data[3];
    if (movie_len > size - 4)
        return 0;
    const std::string index = std::string(kMovie) + "_bak.bin";
    std::filesystem::create_directories(bd_path("/mnt/sdcard0/MOVIE"));
    put(kMovie, data + 4, movie_len);
    put(index, data + 4 + movie_len, size - 4 - movie_len);
    const std::string before = get(kMovie);

    fflush(stdout);
    int32_t ret = MP4_ReparieFile(kMovie);
    bool index_left = std::filesystem::exists(bd_path(index));
    if (ret == 0) {
        if (!mp4_file_finished(kMovie))
            broke("a repaired movie is not finished", ret);
        if (index_left)
            broke("the index outlived the repair", ret);
    } else if (ret == MP4_ERR_ARG) {
        if (get(kMovie) != before)
            broke("a refused index changed the movie", ret);
        if (index_left)
            broke("a refused index was kept", ret);
    } else if (ret != MP4_ERR_WRITE) {
        broke("an unknown result", ret);
    }
    std::filesystem::remove(bd_path(kMovie));
    std::filesystem::remove(bd_path(index));
    return 0;
}
