// The client end of a board's control socket, $ROOT/board.sock: one command
// line out, one answer line back. Shared by camctl, camrun and the
// end-to-end tests.
#pragma once

#include <fcntl.h>
#include <string>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace board_client {

// A connected socket, or -1 (errno set).
inline int connect_board(const std::string &root)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string name = root + "/board.sock";
    int dir_fd = -1;
    // A long root is reached through a descriptor of its folder.
    if (name.size() >= sizeof addr.sun_path) {
        dir_fd = open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        name = "/proc/self/fd/" + std::to_string(dir_fd) + "/board.sock";
    }
    strncpy(addr.sun_path, name.c_str(), sizeof addr.sun_path - 1);
    int rc = connect(fd, (sockaddr *)&addr, sizeof addr);
    if (dir_fd >= 0)
        close(dir_fd);
    if (rc != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends one line on a connected socket and reads the answer line; empty
// when the board closed without answering. Closes the socket.
inline std::string exchange(int fd, const std::string &line)
{
    std::string out = line + "\n", answer;
    if (send(fd, out.data(), out.size(), MSG_NOSIGNAL) == (ssize_t)out.size()) {
        char c;
        while (read(fd, &c, 1) == 1 && c != '\n')
            answer += c;
    }
    close(fd);
    return answer;
}

// One command; its answer, or "error: ..." when the board can't be reached.
inline std::string command(const std::string &root, const std::string &line)
{
    int fd = connect_board(root);
    if (fd < 0)
        return "error: no board at " + root + "/board.sock";
    std::string answer = exchange(fd, line);
    return answer.empty() ? "error: the board closed without answering" : answer;
}

} // namespace board_client
