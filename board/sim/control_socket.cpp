// $BOARD_ROOT/board.sock: the control commands over a UNIX stream socket, one
// command per line, one answer line each, in order.
//
// One thread serves every client with non-blocking sockets, so that no
// client can hold up another: a held key is released by a timer and its
// answer goes out then, a client that stops reading only fills its own
// buffer (then the board stops reading from it), a line that never ends is
// refused at its limit. Commands themselves are quick: none waits on a file
// or a device the outside controls.
#include "board/sim/control.h"
#include "board/sim/sim.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxLine = 4096;          // bytes of one command, without its newline
constexpr size_t kMaxUnsent = 64 * 1024;   // answers kept for a client that doesn't read
constexpr size_t kMaxClients = 32;         // connections served at once
constexpr size_t kReadChunk = 4096;

struct Client {
    int fd = -1;
    std::string in, out;
    bool skipping = false; // inside an over-long line: dropped up to its newline
    bool waiting = false;  // a command's answer waits for its timer
    bool eof = false;      // nothing more comes in
    bool gone = false;     // nothing more can go out
    Clock::time_point active;
};

// A held key's release, then its answer to the client that asked.
struct Timer {
    uint64_t client;
    std::function<void()> before_answer, after_answer;
    std::string answer;
};

class Server {
public:
    void start(const std::string &dir)
    {
        stop();
        if (pipe2(wake_, O_CLOEXEC) != 0)
            return;
        listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        path_ = dir + "/board.sock";
        ::unlink(path_.c_str());
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        // A long root doesn't fit sun_path: reach it through a descriptor of the directory.
        std::string name = path_;
        if (name.size() >= sizeof addr.sun_path) {
            dir_fd_ = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            name = "/proc/self/fd/" + std::to_string(dir_fd_) + "/board.sock";
        }
        strncpy(addr.sun_path, name.c_str(), sizeof addr.sun_path - 1);
        if (listen_fd_ < 0 || ::bind(listen_fd_, (sockaddr *)&addr, sizeof addr) != 0 ||
            ::listen(listen_fd_, 8) != 0) {
            fprintf(stderr, "board: control socket %s: %s\n", path_.c_str(), strerror(errno));
            close_fds();
            return;
        }
        thread_ = std::thread([this] { serve(); });
    }

    // The socket's file goes; what is connected stays served.
    void unlink_path()
    {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }

    void stop()
    {
        if (thread_.joinable()) {
            char c = 0;
            (void)::write(wake_[1], &c, 1);
            thread_.join();
            ::unlink(path_.c_str());
        }
        for (auto &c : clients_)
            ::close(c.second.fd);
        clients_.clear();
        timers_.clear(); // a new board starts with every key up
        close_fds();
    }

private:
    void close_fds()
    {
        for (int *fd : {&listen_fd_, &wake_[0], &wake_[1], &dir_fd_}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

    void serve()
    {
        std::vector<pollfd> fds;
        std::vector<uint64_t> ids; // the client of each pollfd past the first two
        for (;;) {
            fds.assign({{wake_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}});
            ids.clear();
            for (auto &[id, c] : clients_) {
                short events = (wants_input(c) ? POLLIN : 0) | (!c.out.empty() && !c.gone ? POLLOUT : 0);
                // A client left out of the poll reports no hang-up either, so
                // that one waiting for its timer doesn't keep the loop spinning.
                if (events) {
                    fds.push_back({c.fd, events, 0});
                    ids.push_back(id);
                }
            }
            if (poll(fds.data(), fds.size(), poll_timeout()) < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (fds[0].revents)
                break;
            run_timers();
            if (fds[1].revents & POLLIN)
                accept_client();
            for (size_t i = 2; i < fds.size(); ++i)
                if (fds[i].revents)
                    serve_client(ids[i - 2], fds[i].revents);
        }
    }

    static bool wants_input(const Client &c)
    {
        return !c.eof && !c.waiting && c.out.size() < kMaxUnsent && c.in.find('\n') == std::string::npos;
    }

    // Until the next timer is due; without end when none is.
    int poll_timeout() const
    {
        if (timers_.empty())
            return -1;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(timers_.begin()->first - Clock::now());
        return (int)std::max<long>(0, (long)left.count() + 1);
    }

    void accept_client()
    {
        int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        // A full table gives way to the client that has been quiet longest,
        // so that idle connections cannot lock everyone else out.
        if (clients_.size() >= kMaxClients) {
            auto quiet = std::min_element(clients_.begin(), clients_.end(), [](const auto &a, const auto &b) {
                return a.second.active < b.second.active;
            });
            event("control", "too many clients: the quietest one closed");
            drop(quiet);
        }
        Client &c = clients_[next_id_++];
        c.fd = fd;
        c.active = Clock::now();
    }

    void serve_client(uint64_t id, short revents)
    {
        auto it = clients_.find(id);
        if (it == clients_.end())
            return;
        Client &c = it->second;
        if (revents & (POLLOUT | POLLERR | POLLHUP))
            flush(c);
        if ((revents & (POLLIN | POLLERR | POLLHUP)) && wants_input(c))
            read_from(c);
        run_lines(id, c);
        finish_if_done(it);
    }

    void read_from(Client &c)
    {
        char buf[kReadChunk];
        ssize_t n = ::read(c.fd, buf, sizeof buf);
        if (n > 0) {
            c.in.append(buf, (size_t)n);
            c.active = Clock::now();
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            c.eof = true;
        }
    }

    // Sends what the socket takes now; the rest waits for the next POLLOUT.
    void flush(Client &c)
    {
        while (!c.out.empty() && !c.gone) {
            ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                c.out.erase(0, (size_t)n);
                c.active = Clock::now();
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                return;
            } else {
                c.gone = true;
                c.out.clear();
            }
        }
    }

    // The complete lines that have come in, in order, while the client's
    // answers have room; a held key's line waits for its timer.
    void run_lines(uint64_t id, Client &c)
    {
        while (!c.waiting && c.out.size() < kMaxUnsent) {
            if (c.skipping) {
                size_t nl = c.in.find('\n');
                c.in.erase(0, nl == std::string::npos ? c.in.size() : nl + 1);
                c.skipping = nl == std::string::npos;
                if (c.skipping)
                    return;
            }
            size_t nl = c.in.find('\n');
            if (nl == std::string::npos && c.in.size() <= kMaxLine)
                return;
            if (nl == std::string::npos || nl > kMaxLine) {
                // Refused at once, then the rest of that line is dropped.
                answer(c, "error: line too long");
                c.skipping = true;
                continue;
            }
            std::string line = c.in.substr(0, nl);
            c.in.erase(0, nl + 1);
            run_line(id, c, line);
        }
    }

    void run_line(uint64_t id, Client &c, const std::string &line)
    {
        control_line::Followup f;
        std::string text = control_line::run(line, f);
        if (f.before_answer) {
            c.waiting = true;
            timers_.emplace(Clock::now() + f.delay,
                            Timer{id, std::move(f.before_answer), std::move(f.after_answer), std::move(text)});
            return;
        }
        answer(c, text);
        if (f.after_answer)
            f.after_answer();
    }

    void answer(Client &c, const std::string &text)
    {
        if (!c.gone)
            c.out += text + "\n";
        flush(c);
    }

    // Timers that are due: the key released whether or not its client is
    // still there, then the answer, then that client's next lines.
    void run_timers()
    {
        while (!timers_.empty() && timers_.begin()->first <= Clock::now()) {
            Timer t = std::move(timers_.begin()->second);
            timers_.erase(timers_.begin());
            t.before_answer();
            auto it = clients_.find(t.client);
            if (it == clients_.end())
                continue;
            it->second.waiting = false;
            answer(it->second, t.answer);
            if (t.after_answer)
                t.after_answer();
            run_lines(t.client, it->second);
            finish_if_done(it);
        }
    }

    // A client that sends no more and is owed nothing is closed. One that
    // can no longer be answered still has its commands run until it ends.
    void finish_if_done(std::map<uint64_t, Client>::iterator it)
    {
        const Client &c = it->second;
        bool owed = c.waiting || (!c.out.empty() && !c.gone) || c.in.find('\n') != std::string::npos;
        if (c.eof && !owed)
            drop(it);
    }

    void drop(std::map<uint64_t, Client>::iterator it)
    {
        ::close(it->second.fd);
        clients_.erase(it);
    }

    int listen_fd_ = -1, dir_fd_ = -1;
    int wake_[2] = {-1, -1};
    std::string path_;
    std::thread thread_;
    std::map<uint64_t, Client> clients_;
    std::multimap<Clock::time_point, Timer> timers_;
    uint64_t next_id_ = 0;
};

Server *g_server = nullptr;

Hooks control_hooks([] {
    if (!g_server) {
        g_server = new Server; // lives for the process; stopped at exit
        atexit([] { g_server->stop(); });
    }
    g_server->start(root());
});

} // namespace

void control_socket_unlink()
{
    if (g_server)
        g_server->unlink_path();
}

} // namespace sim
