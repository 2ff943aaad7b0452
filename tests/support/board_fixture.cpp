#include "tests/support/board_fixture.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

bool run_until_cut(unsigned n, const std::function<void()> &work)
{
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        sim::cut_power_after_operation(n);
        work();
        if (n == 0)
            sim::control("power cut");
        _exit(0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return false;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::string fresh_root(const std::string &tag)
{
    static std::atomic<int> counter{0};
    const char *env = getenv("BOARD_ROOT");
    fs::path base = env && *env ? fs::path(env) : fs::temp_directory_path() / "camera-test";
    std::string safe;
    for (char c : tag)
        safe += isalnum((unsigned char)c) ? c : '_';
    fs::path p = base / (safe + "." + std::to_string(getpid()) + "." + std::to_string(counter++));
    std::error_code ec;
    fs::remove_all(p, ec);
    fs::create_directories(p);
    return p.string();
}

void write_conf(const std::string &root, const std::string &text)
{
    fs::create_directories(root);
    write_file(root + "/board.conf", text);
}

std::string read_file(const std::string &host_path)
{
    std::ifstream in(host_path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string &host_path, const std::string &bytes)
{
    fs::create_directories(fs::path(host_path).parent_path());
    std::ofstream out(host_path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> events(const std::string &needle)
{
    std::ifstream in(sim::root() + "/events.log");
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line))
        if (needle.empty() || line.find(needle) != std::string::npos)
            out.push_back(line);
    return out;
}

std::vector<std::string> thread_names(const std::string &prefix, int pid)
{
    std::vector<std::string> names;
    std::error_code ec;
    const std::string tasks = pid ? "/proc/" + std::to_string(pid) + "/task" : "/proc/self/task";
    for (const auto &task : std::filesystem::directory_iterator(tasks, ec)) {
        std::string name = read_file((task.path() / "comm").string());
        while (!name.empty() && name.back() == '\n')
            name.pop_back();
        if (name.compare(0, prefix.size(), prefix) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace testsupport
