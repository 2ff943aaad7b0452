// camctl: drives the simulated board of a running camera.
//
//   camctl [-r ROOT] COMMAND...          send one command, print the answer
//   camctl [-r ROOT] wait PATTERN SECS   wait for an events.log line matching PATTERN
//
// ROOT defaults to $BOARD_ROOT, then ./board-root. Exit status 0 on "ok" (or a
// matching line), 1 otherwise, 2 on bad usage.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "tools/board_client.h"

namespace {

int usage()
{
    fprintf(stderr, "usage: camctl [-r ROOT] COMMAND...\n"
                    "       camctl [-r ROOT] wait PATTERN SECONDS\n");
    return 2;
}

int send_command(const std::string &root, const std::string &line)
{
    int fd = board_client::connect_board(root);
    if (fd < 0) {
        fprintf(stderr, "camctl: no board at %s/board.sock: %s\n", root.c_str(), strerror(errno));
        return 1;
    }
    std::string answer = board_client::exchange(fd, line);
    if (answer.empty()) {
        fprintf(stderr, "camctl: the board closed without answering\n");
        return 1;
    }
    printf("%s\n", answer.c_str());
    return answer.compare(0, 6, "error:") == 0 ? 1 : 0;
}

int wait_event(const std::string &root, const std::string &pattern, double seconds)
{
    regex_t re;
    if (regcomp(&re, pattern.c_str(), REG_EXTENDED | REG_NOSUB) != 0) {
        fprintf(stderr, "camctl: bad pattern '%s'\n", pattern.c_str());
        return 2;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(seconds * 1000));
    std::string path = root + "/events.log";
    std::streamoff seen = 0;
    std::string partial;
    for (;;) {
        std::ifstream in(path);
        if (in) {
            in.seekg(0, std::ios::end);
            std::streamoff size = in.tellg();
            if (size < seen) { // the board restarted and began a new log
                seen = 0;
                partial.clear();
            }
            in.seekg(seen);
            std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            seen += (std::streamoff)chunk.size();
            partial += chunk;
            size_t nl;
            while ((nl = partial.find('\n')) != std::string::npos) {
                std::string line = partial.substr(0, nl);
                partial.erase(0, nl + 1);
                if (regexec(&re, line.c_str(), 0, nullptr, 0) == 0) {
                    printf("%s\n", line.c_str());
                    regfree(&re);
                    return 0;
                }
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            fprintf(stderr, "camctl: no event matching '%s' within %g s\n", pattern.c_str(), seconds);
            regfree(&re);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

int main(int argc, char **argv)
{
    const char *env = getenv("BOARD_ROOT");
    std::string root = env && *env ? env : "./board-root";
    int i = 1;
    if (i + 1 < argc && strcmp(argv[i], "-r") == 0) {
        root = argv[i + 1];
        i += 2;
    }
    if (i >= argc)
        return usage();
    if (strcmp(argv[i], "wait") == 0) {
        if (argc - i != 3)
            return usage();
        char *end = nullptr;
        double secs = strtod(argv[i + 2], &end);
        if (*end || secs < 0)
            return usage();
        return wait_event(root, argv[i + 1], secs);
    }
    std::string line;
    for (; i < argc; ++i) {
        if (!line.empty())
            line += ' ';
        line += argv[i];
    }
    return send_command(root, line);
}
