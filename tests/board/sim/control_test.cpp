// The control socket under hostile clients: whatever one client sends, holds
// or leaves unread, another client's command is answered and the board runs on.
#include "board/sim/audio/ai.h"
#include "tests/support/board_fixture.h"
#include "tools/board_client.h"

#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Generous bounds: an answer takes milliseconds; the faults here took
// seconds to forever.
constexpr int kAnswerSeconds = 3;
constexpr int kStallMs = 500; // a socket that takes nothing for this long is full

// A client of the board's socket whose every wait is bounded.
class Client {
public:
    explicit Client(const std::string &root) : fd_(board_client::connect_board(root))
    {
        timeval tv{kAnswerSeconds, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }
    ~Client()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    bool connected() const { return fd_ >= 0; }

    // Sends what the board takes until it stops taking any for `stall_ms`:
    // the bytes sent.
    size_t push(const std::string &bytes, int stall_ms = kStallMs)
    {
        size_t sent = 0;
        while (sent < bytes.size()) {
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, stall_ms) <= 0)
                break;
            ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0 && errno != EAGAIN)
                break;
            sent += n > 0 ? (size_t)n : 0;
        }
        return sent;
    }

    // The next answer line; empty when none came within the bound.
    std::string line()
    {
        size_t nl;
        while ((nl = buf_.find('\n')) == std::string::npos) {
            char chunk[4096];
            ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                return "";
            buf_.append(chunk, (size_t)n);
        }
        std::string answer = buf_.substr(0, nl);
        buf_.erase(0, nl + 1);
        return answer;
    }

    std::string ask(const std::string &command)
    {
        push(command + "\n");
        return line();
    }

private:
    int fd_;
    std::string buf_; // read past the last answer taken
};

class ControlSocketTest : public BoardTest {
protected:
    bool sound_is_tone(double hz)
    {
        sim::capture::Ai &s = sim::capture::ai();
        std::lock_guard<std::mutex> lock(s.lock);
        return s.sound.kind == sim::capture::Sound::tone && s.sound.hz == hz;
    }
};

std::string repeated(const std::string &s, size_t times)
{
    std::string out;
    for (size_t i = 0; i < times; i++)
        out += s;
    return out;
}

TEST_F(ControlSocketTest, HostileClientsHoldUpNoOtherClient)
{
    ASSERT_EQ(0, mkfifo((root_ + "/fifo.wav").c_str(), 0644));
    ASSERT_EQ("ok", sim::control("audio tone 440"));
    struct Case {
        const char *name;
        std::string send;   // what each hostile client sends
        const char *answer; // the start of its first answer; null: it reads none
        int clients;
    } cases[] = {
        {"a folder as the sound", "audio file " + root_ + "\n", "error: ", 1},
        {"a FIFO as the sound", "audio file fifo.wav\n", "error: ", 1},
        {"an endless device as the sound", "audio file /dev/zero\n", "error: ", 1},
        {"a line over the limit", std::string(5000, 'x') + "\n", "error: line too long", 1},
        {"a line over the limit, unfinished", std::string(5000, 'x'), "error: line too long", 1},
        {"a line never finished", "status", nullptr, 1},
        {"a held key", "key mode hold 60\n", nullptr, 1},
        {"a client that never reads", repeated("status\n", 1 << 18), nullptr, 1},
        {"more connections than the board serves", "", nullptr, 40},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<Client>> hostile;
        for (int i = 0; i < c.clients; i++) {
            hostile.push_back(std::make_unique<Client>(root_));
            ASSERT_TRUE(hostile.back()->connected());
            hostile.back()->push(c.send);
        }
        Client other(root_);
        EXPECT_EQ(0u, other.ask("status").rfind("leds=", 0));
        EXPECT_EQ("ok", other.ask("battery 650"));
        if (c.answer) {
            std::string got = hostile[0]->line();
            EXPECT_EQ(0u, got.rfind(c.answer, 0)) << got;
        }
        // The board runs on, its sound untouched.
        EXPECT_EQ(650, sim::world().battery);
        EXPECT_TRUE(sound_is_tone(440));
        EXPECT_EQ("ok", sim::control("battery 720"));
    }
    EXPECT_TRUE(sim::world().key_mode) << "still held";
}

// The holder's answer comes once the key is up, its next line after it;
// meanwhile the key is down.
TEST_F(ControlSocketTest, AHeldKeyAnswersOnceReleased)
{
    Client holder(root_), other(root_);
    holder.push("key rec hold 1.5\nkey mode tap\n");
    EXPECT_EQ("ok", other.ask("tv in"));
    EXPECT_TRUE(sim::world().key_rec);
    EXPECT_EQ("ok", holder.line());
    EXPECT_FALSE(sim::world().key_rec);
    EXPECT_EQ("ok", holder.line());
    EXPECT_FALSE(sim::world().key_mode);
    std::vector<std::string> keys;
    for (const std::string &e : testsupport::events(" key "))
        if (e.find(" control ") == std::string::npos)
            keys.push_back(e);
    std::vector<std::string> want = {"key rec press", "key rec release", "key mode press", "key mode release"};
    ASSERT_EQ(want.size(), keys.size());
    for (size_t i = 0; i < want.size(); i++)
        EXPECT_NE(std::string::npos, keys[i].find(want[i])) << keys[i];
}

// Everything up to the newline of an over-long line is dropped; the lines
// around it are served.
TEST_F(ControlSocketTest, AnOverLongLineIsRefusedAndTheNextServed)
{
    Client c(root_);
    c.push("battery 600\n" + std::string(5000, 'y'));
    EXPECT_EQ("ok", c.line());
    EXPECT_EQ("error: line too long", c.line());
    c.push(std::string(3000, 'y') + " battery 1\nbattery 610\nstatus\n" + std::string(4096, 'z') + "\nbattery 620\n");
    EXPECT_EQ("ok", c.line());
    EXPECT_NE(std::string::npos, c.line().find(" battery=610 "));
    EXPECT_EQ("error: unknown command '" + std::string(4096, 'z') + "'", c.line()) << "4096 bytes are a line";
    EXPECT_EQ("ok", c.line());
    EXPECT_EQ(620, sim::world().battery);
}

// A client that stops reading gets every answer, in order, once it reads.
TEST_F(ControlSocketTest, AClientThatReadsLateGetsEveryAnswer)
{
    Client late(root_), other(root_);
    const int pairs = 50000;
    std::string batch;
    for (int i = 0; i < pairs; i++)
        batch += "battery " + std::to_string(i) + "\nstatus\n";
    size_t sent = late.push(batch);
    EXPECT_LT(sent, batch.size()) << "the board went on reading from a client that does not read";
    EXPECT_EQ("ok", other.ask("tv in"));
    int answered = 0;
    for (; answered < pairs; answered++) {
        if (answered % 500 == 0)
            sent += late.push(batch.substr(sent), 0);
        std::string ok = late.line(), status = late.line();
        if (ok != "ok" || status.find(" battery=" + std::to_string(answered) + " ") == std::string::npos) {
            ADD_FAILURE() << "answer pair " << answered << ": " << ok << " / " << status;
            break;
        }
    }
    EXPECT_EQ(pairs, answered);
}

} // namespace
