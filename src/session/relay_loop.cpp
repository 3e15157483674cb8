// SPDX-License-Identifier: MIT
#include "session/relay_loop.h"

#include "descriptor_io.h"
#include "diagnostics.h"
#include "session/control_input.h"
#include "session/host_signals.h"
#include "session/terminal_keys.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr char end_of_input = 0x04;

// Standard input at end of file stays readable for ever. After each end of input it is left out
// of the wait for a while, so the repeated 0x04 bytes come paced and the relay sleeps in between;
// the pause doubles while the ends keep coming and starts afresh after data.
constexpr int64_t first_pause_ms = 10;
constexpr int64_t longest_pause_ms = 1000;

int64_t now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool would_block(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// Input read from standard input that the terminal has not taken yet. The master is non-blocking,
// so a full terminal input queue never keeps the relay from draining the master; standard input
// is not read again until this chunk has gone, in order.
struct HeldInput {
    char *bytes; // block_size bytes
    size_t start;
    size_t length;
};

// What the terminal does not take now stays held, and the wait watches for room.
void deliver_held(int master, HeldInput &held, pid_t command) {
    const char *rest = held.bytes + held.start;
    const size_t taken = inband_control ? deliver_with_commands(master, command, rest, held.length)
                                        : write_what_fits(master, rest, held.length);
    held.start += taken;
    held.length -= taken;
}

// Returns true when the loop is to end.
bool serve_master(int master, char *transfer) {
    ssize_t count = read(master, transfer, block_size);
    if (count > 0) {
        write_all(1, transfer, static_cast<size_t>(count)); // a failed write ends nothing
        return false;
    }
    return count == 0 || (errno != EINTR && !would_block(errno));
}

} // namespace

void run_relay(const PtyPair &pty, pid_t command) {
    const int master = pty.master;
    int flags = fcntl(master, F_GETFL);
    if (flags >= 0) {
        fcntl(master, F_SETFL, flags | O_NONBLOCK);
    }
    // Both buffers once, for the life of the loop: nothing is allocated while relaying.
    auto *buffers = static_cast<char *>(malloc(2 * block_size));
    if (buffers == nullptr) {
        report_fatal("couldn't allocate %zu bytes for relaying", 2 * block_size);
    }
    char *transfer = buffers;
    const int signals = host_signal_descriptor();
    HeldInput held{buffers + block_size, 0, 0};
    int64_t pause_ms = first_pause_ms;
    int64_t input_paused_until = 0; // 0: not paused
    uint64_t input_read = 0;        // bytes read from standard input
    bool done = false;

    trace("Begin loop.\n");
    while (!done) {
        int timeout = -1;
        if (input_paused_until != 0) {
            int64_t left = input_paused_until - now_ms();
            if (left <= 0) {
                input_paused_until = 0;
            } else {
                timeout = static_cast<int>(left);
            }
        }
        // For the terminal to take: the input held, then the keys, once the input they wait
        // behind has been read and taken too.
        const uint64_t before_keys = input_before_keys(input_read);
        const bool ahead = held.length > 0 || keys_waiting();
        const bool want_input = held.length == 0 && before_keys > 0 && input_paused_until == 0;
        const bool want_room = held.length > 0 || (keys_waiting() && before_keys == 0);
        pollfd ready[3] = {{master, static_cast<short>(POLLIN | (want_room ? POLLOUT : 0)), 0},
                           {want_input ? 0 : -1, POLLIN, 0},
                           {signals, POLLIN, 0}};
        int marked = poll(ready, 3, timeout);
        if (marked < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            break;
        }

        // The master is served before standard input on every pass.
        if ((ready[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0) {
            done = serve_master(master, transfer);
        }
        // Before any input read in this pass, which may have come after the signal; and while
        // input the terminal refused is still held, which shows that its command is not reading,
        // or keys wait, behind which a later one waits too.
        pass_host_signals(master, command, ahead, (ready[2].revents & POLLIN) != 0, input_read);
        if ((ready[0].revents & POLLOUT) != 0) {
            deliver_held(master, held, command);
            if (held.length == 0) {
                press_waiting_keys(master, command, input_read);
            }
        }

        // Input that came after a waiting key, also one queued just now, is read after it.
        const uint64_t allowed = input_before_keys(input_read);
        if (want_input && allowed > 0 && (ready[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const size_t most = allowed < block_size ? static_cast<size_t>(allowed) : block_size;
            ssize_t count = read(0, held.bytes, most);
            if (count > 0) {
                held.start = 0;
                held.length = static_cast<size_t>(count);
                input_read += held.length;
                deliver_held(master, held, command);
                pause_ms = first_pause_ms;
            } else if (count == 0) {
                // Nothing more comes ahead of the keys. A full terminal drops this byte; the next
                // end of input sends another.
                press_waiting_keys(master, command, UINT64_MAX);
                ssize_t ignored = write(master, &end_of_input, 1);
                (void)ignored;
                input_paused_until = now_ms() + pause_ms;
                pause_ms = pause_ms * 2 > longest_pause_ms ? longest_pause_ms : pause_ms * 2;
            } else if (errno != EINTR && !would_block(errno)) {
                done = true;
            }
        }
    }
    free(buffers);
    trace("Done, exiting.\n");
}
