// The board's shell: exactly the commands the firmware runs through system(),
// over the board's mapped paths. Anything else exits 127.
#include "board/board.h"
#include "board/sim/sim.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace sim {

namespace {

std::mutex g_module_lock;
std::set<std::string> g_modules;

Hooks shell_hooks([] {
    std::lock_guard<std::mutex> lock(g_module_lock);
    g_modules.clear();
});

struct Run {
    std::vector<std::string> args; // args[0] is the command
    std::ostringstream out;
    std::ostringstream err;
};

bool has_flag(const std::vector<std::string> &opts, char f)
{
    for (auto &o : opts)
        if (o.size() > 1 && o[0] == '-' && o.find(f) != std::string::npos)
            return true;
    return false;
}

// Splits "-rf a b" into options and operands.
void split_opts(const Run &r, std::vector<std::string> &opts, std::vector<std::string> &operands)
{
    for (size_t i = 1; i < r.args.size(); ++i) {
        const std::string &a = r.args[i];
        if (a.size() > 1 && a[0] == '-' && operands.empty())
            opts.push_back(a);
        else
            operands.push_back(a);
    }
}

int cmd_mkfs(Run &r)
{
    if (r.args.size() != 2 || r.args[1] != "/dev/mmcblk0p1" || !world().card) {
        r.err << "mkfs.vfat: can't open '" << (r.args.size() > 1 ? r.args[1] : "") << "'\n";
        return 1;
    }
    std::error_code ec;
    std::string card = bd_path("/mnt/sdcard0");
    for (auto &e : fs::directory_iterator(card, ec))
        fs::remove_all(e.path(), ec);
    return 0;
}

int cmd_insmod(Run &r)
{
    if (r.args.size() < 2)
        return 1;
    std::string name = fs::path(r.args[1]).stem().string();
    {
        std::lock_guard<std::mutex> lock(g_module_lock);
        if (!g_modules.insert(name).second) {
            r.err << "insmod: can't insert '" << r.args[1] << "': File exists\n";
            return 1;
        }
    }
    usb_update();
    return 0;
}

int cmd_rmmod(Run &r)
{
    if (r.args.size() < 2)
        return 1;
    {
        std::lock_guard<std::mutex> lock(g_module_lock);
        if (g_modules.erase(r.args[1]) == 0) {
            r.err << "rmmod: can't unload '" << r.args[1] << "': No such file or directory\n";
            return 1;
        }
    }
    usb_update();
    return 0;
}

bool parse_u32(const std::string &s, uint32_t &v)
{
    char *end = nullptr;
    errno = 0;
    unsigned long long n = strtoull(s.c_str(), &end, 0);
    if (errno || end == s.c_str() || *end || n > 0xFFFFFFFFull)
        return false;
    v = (uint32_t)n;
    return true;
}

int cmd_dumm(Run &r)
{
    uint32_t addr, value;
    if (r.args.size() != 3 || !parse_u32(r.args[1], addr) || !parse_u32(r.args[2], value) || (addr & 3)) {
        r.err << "usage: dumm ADDRESS VALUE\n";
        return 1;
    }
    phys_write32(addr, value);
    return 0;
}

int cmd_df(Run &r)
{
    r.out << "Filesystem           1K-blocks      Used Available Use% Mounted on\n";
    r.out << "rootfs                   16384     12288      4096  75% /\n";
    if (card_mounted()) {
        struct statvfs st;
        if (bd_statvfs("/mnt/sdcard0", &st) == 0) {
            unsigned long long k = st.f_frsize / 1024;
            unsigned long long total = st.f_blocks * k, avail = st.f_bavail * k;
            unsigned long long used = total - avail;
            unsigned pct = total ? (unsigned)((used * 100 + total - 1) / total) : 0;
            char line[160];
            snprintf(line, sizeof line, "/dev/mmcblk0p1       %9llu %9llu %9llu %3u%% /mnt/sdcard0\n", total,
                     used, avail, pct);
            r.out << line;
        }
    }
    return 0;
}

std::string ls_line(const fs::path &p, const std::string &name)
{
    struct stat st;
    if (lstat(p.c_str(), &st) != 0)
        return "";
    char mode[11] = "----------";
    if (S_ISDIR(st.st_mode))
        mode[0] = 'd';
    const char *rwx = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        if (st.st_mode & (0400 >> i))
            mode[1 + i] = rwx[i];
    struct tm tm;
    time_t t = st.st_mtime;
    localtime_r(&t, &tm);
    char when[32];
    strftime(when, sizeof when, "%b %e %H:%M", &tm);
    char line[512];
    snprintf(line, sizeof line, "%s %4lu root     root     %9lld %s %s\n", mode, (unsigned long)st.st_nlink,
             (long long)st.st_size, when, name.c_str());
    return line;
}

int cmd_ls(Run &r)
{
    std::vector<std::string> opts, paths;
    split_opts(r, opts, paths);
    bool longf = has_flag(opts, 'l'), all = has_flag(opts, 'a');
    if (paths.empty())
        paths.push_back("/");
    int rc = 0;
    for (auto &p : paths) {
        fs::path real = bd_path(p);
        std::error_code ec;
        if (!fs::exists(real, ec)) {
            r.err << "ls: " << p << ": No such file or directory\n";
            rc = 1;
            continue;
        }
        if (!fs::is_directory(real, ec)) {
            r.out << (longf ? ls_line(real, p) : p + "\n");
            continue;
        }
        std::vector<std::string> names;
        if (all) {
            names.push_back(".");
            names.push_back("..");
        }
        std::vector<std::string> entries;
        for (auto &e : fs::directory_iterator(real, ec)) {
            std::string n = e.path().filename().string();
            if (all || n[0] != '.')
                entries.push_back(n);
        }
        std::sort(entries.begin(), entries.end());
        names.insert(names.end(), entries.begin(), entries.end());
        if (longf) {
            // As busybox: the 1K blocks of the listed entries come first.
            unsigned long long blocks = 0;
            struct stat st;
            for (auto &n : names)
                if (lstat((real / n).c_str(), &st) == 0)
                    blocks += (unsigned long long)st.st_blocks / 2;
            r.out << "total " << blocks << "\n";
        }
        for (auto &n : names)
            r.out << (longf ? ls_line(real / n, n) : n + "\n");
    }
    return rc;
}

// Copies through the board's own file calls, so that the copy is the
// medium's to keep once synced, as any other write.
int cmd_cp(Run &r)
{
    std::vector<std::string> opts, ops;
    split_opts(r, opts, ops);
    if (ops.size() != 2) {
        r.err << "cp: need a source and a destination\n";
        return 1;
    }
    std::string dst = ops[1];
    std::error_code ec;
    if (fs::is_directory(bd_path(dst), ec))
        dst += "/" + fs::path(bd_path(ops[0])).filename().string();
    int in = bd_open(ops[0].c_str(), O_RDONLY);
    int out = in < 0 ? -1 : bd_open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = out >= 0;
    char buf[65536];
    for (ssize_t n; ok && (n = bd_read(in, buf, sizeof buf)) != 0;)
        ok = n > 0 && bd_write(out, buf, (size_t)n) == n;
    const int err = errno;
    if (out >= 0)
        bd_close(out);
    if (in >= 0)
        bd_close(in);
    if (!ok) {
        r.err << "cp: can't copy '" << ops[0] << "': " << strerror(err) << "\n";
        return 1;
    }
    return 0;
}

int cmd_mv(Run &r)
{
    std::vector<std::string> opts, ops;
    split_opts(r, opts, ops);
    if (ops.size() != 2) {
        r.err << "mv: need a source and a destination\n";
        return 1;
    }
    fs::path src = bd_path(ops[0]), dst = bd_path(ops[1]);
    std::error_code ec;
    if (fs::is_directory(dst, ec))
        dst /= src.filename();
    if (medium_rename(src.string(), dst.string(), 0) != 0) {
        r.err << "mv: can't rename '" << ops[0] << "': " << strerror(errno) << "\n";
        return 1;
    }
    return 0;
}

int cmd_rm(Run &r)
{
    std::vector<std::string> opts, ops;
    split_opts(r, opts, ops);
    bool force = has_flag(opts, 'f'), recursive = has_flag(opts, 'r') || has_flag(opts, 'R');
    int rc = 0;
    for (auto &p : ops) {
        fs::path real = bd_path(p);
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(real, ec))) {
            if (!force) {
                r.err << "rm: can't remove '" << p << "': No such file or directory\n";
                rc = 1;
            }
            continue;
        }
        if (fs::is_directory(real, ec) && !recursive) {
            r.err << "rm: '" << p << "' is a directory\n";
            rc = 1;
            continue;
        }
        fs::remove_all(real, ec);
        if (ec) {
            r.err << "rm: can't remove '" << p << "': " << ec.message() << "\n";
            rc = 1;
        }
    }
    return rc;
}

int cmd_mkdir(Run &r)
{
    std::vector<std::string> opts, ops;
    split_opts(r, opts, ops);
    bool parents = has_flag(opts, 'p');
    int rc = 0;
    for (auto &p : ops) {
        std::error_code ec;
        fs::path real = bd_path(p);
        bool ok = parents ? (fs::create_directories(real, ec), !ec) : fs::create_directory(real, ec);
        if (!ok && !(parents && fs::is_directory(real, ec))) {
            r.err << "mkdir: can't create directory '" << p << "'\n";
            rc = 1;
        }
    }
    return rc;
}

int cmd_chmod(Run &r)
{
    if (r.args.size() != 3)
        return 1;
    char *end = nullptr;
    long mode = strtol(r.args[1].c_str(), &end, 8);
    if (*end || mode < 0 || mode > 07777)
        return 1;
    if (chmod(bd_path(r.args[2]).c_str(), (mode_t)mode) != 0) {
        r.err << "chmod: " << r.args[2] << ": " << strerror(errno) << "\n";
        return 1;
    }
    return 0;
}

int cmd_sync(Run &) { return bd_sync(); }

struct Command {
    const char *name;
    int (*run)(Run &);
};

const Command kCommands[] = {
    {"mkfs.vfat", cmd_mkfs}, {"insmod", cmd_insmod}, {"rmmod", cmd_rmmod}, {"dumm", cmd_dumm},
    {"df", cmd_df},          {"ls", cmd_ls},         {"cp", cmd_cp},       {"chmod", cmd_chmod},
    {"mv", cmd_mv},          {"rm", cmd_rm},         {"mkdir", cmd_mkdir}, {"sync", cmd_sync},
};

} // namespace

bool module_loaded(const std::string &name)
{
    std::lock_guard<std::mutex> lock(g_module_lock);
    return g_modules.count(name) != 0;
}

} // namespace sim

using namespace sim;

int bd_system(const char *command)
{
    if (!command)
        return 1; // a shell is available
    ensure_started();
    event("shell", "%s", command);
    Run r;
    std::string redirect;
    bool append = false;
    for (auto &w : split_words(command)) {
        if (!redirect.empty() && redirect == ">") {
            redirect = w;
        } else if (w == ">" || w == ">>") {
            append = w == ">>";
            redirect = ">";
        } else if (w.size() > 1 && w[0] == '>') {
            append = w.compare(0, 2, ">>") == 0;
            redirect = w.substr(append ? 2 : 1);
        } else {
            r.args.push_back(w);
        }
    }
    if (r.args.empty() || redirect == ">")
        return 2 << 8;
    const Command *cmd = nullptr;
    for (auto &c : kCommands)
        if (r.args[0] == c.name)
            cmd = &c;
    if (!cmd) {
        event("shell", "%s: not found (127)", r.args[0].c_str());
        fprintf(stderr, "sh: %s: not found\n", r.args[0].c_str());
        return 127 << 8;
    }
    int rc = cmd->run(r);
    std::string out = r.out.str();
    if (!redirect.empty()) {
        FILE *f = fopen(bd_path(redirect).c_str(), append ? "a" : "w");
        if (!f) {
            fprintf(stderr, "sh: can't create %s: %s\n", redirect.c_str(), strerror(errno));
            return 1 << 8;
        }
        fwrite(out.data(), 1, out.size(), f);
        fclose(f);
    } else {
        fwrite(out.data(), 1, out.size(), stdout);
    }
    std::string err = r.err.str();
    fwrite(err.data(), 1, err.size(), stderr);
    if (rc)
        event("shell", "%s: exit %d", r.args[0].c_str(), rc);
    return rc << 8;
}
