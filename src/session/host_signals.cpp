// SPDX-License-Identifier: MIT
#include "session/host_signals.h"

#include "diagnostics.h"
#include "platform/platform.h"
#include "session/terminal_keys.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int caught[] = {SIGINT, SIGQUIT, SIGTSTP};
int arrivals[2] = {-1, -1};        // a pipe: one byte, the signal's number, for each signal caught
volatile sig_atomic_t arrived = 0; // set before the byte is written: seen without a system call

// Records the signal for the relay loop, which acts on it. Also called on a thread of the system's
// for a console event, while the relay loop may be reading the pipe.
void record_signal(int number) {
    int saved = errno;
    arrived = 1;
    auto byte = static_cast<unsigned char>(number);
    ssize_t ignored = write(arrivals[1], &byte, 1); // full: far more have come than are read
    (void)ignored;
    errno = saved;
}

bool open_arrivals() {
    if (pipe(arrivals) != 0) {
        return false;
    }
    for (int fd : arrivals) {
        if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 ||
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
            return false;
        }
    }
    return true;
}

// Cygwin makes signals of the events of a console that is the relay's own terminal.
bool terminal_is_a_console() {
    const int fd = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char name[64];
    const bool console =
        ttyname_r(fd, name, sizeof name) == 0 && strncmp(name, "/dev/cons", 9) == 0;
    close(fd);
    return console;
}

// A console's Ctrl+C and Ctrl+Break are a host's SIGINT and SIGQUIT; its close is the host's end.
void on_console_event(console_event event) {
    if (event == console_event::end) {
        end_process(1);
    }
    if (interrupt_command) {
        record_signal(event == console_event::interrupt ? SIGINT : SIGQUIT);
    }
}

terminal_key key_of(int number) {
    return number == SIGINT    ? terminal_key::interrupt
           : number == SIGQUIT ? terminal_key::quit
                               : terminal_key::suspend;
}

} // namespace

void catch_host_signals() {
    if (!interrupt_command) {
        signal(SIGINT, SIG_IGN);
    } else if (!open_arrivals()) {
        report_fatal("couldn't catch host signals");
    } else {
        struct sigaction record {};
        record.sa_handler = record_signal;
        record.sa_flags = SA_RESTART;
        sigemptyset(&record.sa_mask);
        for (int number : caught) {
            sigaction(number, &record, nullptr);
        }
    }
    if (!terminal_is_a_console()) {
        catch_console_events(on_console_event);
    }
}

int host_signal_descriptor() {
    return arrivals[0];
}

sigset_t hold_host_signals() {
    sigset_t held;
    sigset_t previous;
    sigemptyset(&held);
    for (int number : caught) {
        sigaddset(&held, number);
    }
    // Without the option nothing is caught, and the mask stays as it is.
    sigprocmask(SIG_BLOCK, interrupt_command ? &held : nullptr, &previous);
    return previous;
}

void release_host_signals(const sigset_t &previous) {
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void reset_command_signals(const sigset_t &previous) {
    if (interrupt_command) {
        for (int number : caught) {
            signal(number, SIG_DFL);
        }
    } else {
        signal(SIGINT, SIG_IGN);
    }
    release_host_signals(previous);
}

void pass_host_signals(int master, pid_t command, bool terminal_full, bool pipe_readable,
                       uint64_t input_read) {
    // A console event's thread may set the flag just after it was cleared, and write its byte
    // just after the pipe was read empty: the pipe readable in the wait then has it read.
    if (arrived == 0 && !pipe_readable) {
        return;
    }
    arrived = 0;
    // Every byte in the pipe, however many signals came: one left behind would keep the wait
    // returning at once, and the loop spinning.
    unsigned char numbers[32];
    ssize_t count = 0;
    while ((count = read(arrivals[0], numbers, sizeof numbers)) > 0 ||
           (count < 0 && errno == EINTR)) {
        for (ssize_t i = 0; i < count; ++i) {
            press_or_queue_key(master, key_of(numbers[i]), command, terminal_full, input_read);
        }
    }
}
