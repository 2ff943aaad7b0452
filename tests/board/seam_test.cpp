// The seam between the firmware and the simulated board: the board's drivers
// see of the firmware only what a kernel would publish, the request headers
// and the ISP's register map, also through what those include. A public
// header reached from the board would let a driver read records it has no
// business with and recompile the board on every firmware change.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kRoot = CAMERA_SOURCE_DIR;

bool ends_with(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A firmware header the board may include: a request header, the register
// map, or the board's own.
bool allowed(const std::string &header)
{
    return header.rfind("board/", 0) == 0 || ends_with(header, "_requests.h") || header == "isp/isp_hw_regs.h";
}

// The name in a line `# include "name"` (blanks allowed around the #),
// empty for any other line.
std::string quoted_include(const std::string &line)
{
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#')
        return {};
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line.compare(i, 7, "include") != 0)
        return {};
    i = line.find_first_not_of(" \t", i + 7);
    if (i == std::string::npos || line[i] != '"')
        return {};
    const size_t end = line.find('"', i + 1);
    return end == std::string::npos ? std::string() : line.substr(i + 1, end - i - 1);
}

// The quoted includes of a file, as paths from the source root (a name is
// looked up from the root first, then beside the file). Every include
// counts, also one inside a conditional.
std::vector<std::string> quoted_includes(const std::string &file)
{
    std::vector<std::string> out;
    std::ifstream in(kRoot / file);
    std::string line;
    while (std::getline(in, line)) {
        const std::string name = quoted_include(line);
        if (name.empty())
            continue;
        fs::path from_root = kRoot / name;
        fs::path beside = (kRoot / file).parent_path() / name;
        fs::path found = fs::exists(from_root) ? from_root : beside;
        out.push_back(fs::relative(fs::weakly_canonical(found), kRoot).generic_string());
    }
    return out;
}

// Every file reached from `start` through quoted includes, each with the
// file that first brought it in.
std::map<std::string, std::string> reached_from(const std::vector<std::string> &start)
{
    std::map<std::string, std::string> via;
    std::vector<std::string> todo = start;
    for (const std::string &s : start)
        via.emplace(s, "");
    while (!todo.empty()) {
        std::string file = todo.back();
        todo.pop_back();
        for (const std::string &inc : quoted_includes(file))
            if (via.emplace(inc, file).second)
                todo.push_back(inc);
    }
    return via;
}

// How `file` was reached: its chain of includers back to a start file.
std::string chain(const std::map<std::string, std::string> &via, std::string file)
{
    std::string text = file;
    while (!via.at(file).empty()) {
        file = via.at(file);
        text = file + " -> " + text;
    }
    return text;
}

std::vector<std::string> files_under(const std::string &dir, const std::set<std::string> &extensions)
{
    std::vector<std::string> out;
    for (const auto &e : fs::recursive_directory_iterator(kRoot / dir))
        if (e.is_regular_file() && extensions.count(e.path().extension().string()))
            out.push_back(fs::relative(e.path(), kRoot).generic_string());
    return out;
}

// The firmware's request headers, wherever they lie (the build folder aside).
std::vector<std::string> request_headers()
{
    std::vector<std::string> out;
    for (const char *dir : {"board", "mpi", "isp", "ive"})
        for (const std::string &h : files_under(dir, {".h"}))
            if (ends_with(h, "_requests.h"))
                out.push_back(h);
    return out;
}

void expect_only_allowed(const std::map<std::string, std::string> &via)
{
    for (const auto &[file, includer] : via) {
        if (!includer.empty()) {
            EXPECT_TRUE(allowed(file)) << "firmware header reached: " << chain(via, file);
        }
    }
}

} // namespace

TEST(Seam, BoardReachesOnlyRequestHeadersAndTheRegisterMap)
{
    std::vector<std::string> board = files_under("board/sim", {".cpp", ".h"});
    ASSERT_FALSE(board.empty()) << "no board sources under " << kRoot;
    std::map<std::string, std::string> via = reached_from(board);
    // The scan follows the board into the firmware: a driver's own request
    // header is among what it reaches.
    ASSERT_TRUE(via.count("mpi/audio/ai/ai_requests.h") && via.count("ive/ive_requests.h"));
    expect_only_allowed(via);
}

TEST(Seam, RequestHeadersIncludeNoPublicHeader)
{
    std::vector<std::string> headers = request_headers();
    headers.push_back("isp/isp_hw_regs.h");
    ASSERT_GT(headers.size(), 1u);
    expect_only_allowed(reached_from(headers));
}
