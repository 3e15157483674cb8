// SPDX-License-Identifier: MIT
#include "session/guardian.h"

#include "diagnostics.h"
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The relay's end of a pipe to the guardian, whose only writer is the relay: it carries the
// command's id, and its end is the relay's end, however it came.
int lifeline = -1;

ssize_t read_again(int fd, void *into, size_t size) {
    ssize_t count = 0;
    do {
        count = read(fd, into, size);
    } while (count < 0 && errno == EINTR);
    return count;
}

// As a terminal that hangs up: SIGHUP, then SIGCONT so that a stopped job sees it, to the
// session leader and the foreground group. Only to a command that still leads its session: once
// it has gone, its id may be another process's. The guardian asks the process, not the terminal,
// which on Cygwin tells its session only to its own processes. Both are read first: the leader's
// end takes the terminal's foreground group with it.
void hang_up(int master, pid_t command) {
    const bool leader_holds_it = command > 0 && getsid(command) == command;
    const pid_t group = tcgetpgrp(master);
    const int in_turn[] = {SIGHUP, SIGCONT};
    for (int number : in_turn) {
        if (group > 0) {
            kill(-group, number);
        }
        if (leader_holds_it) {
            kill(command, number);
        }
    }
    close(master); // on Cygwin the last close hangs up once more and wakes the slave's readers
}

// Waits for the relay's end. The wait for its process costs nothing while it waits; a blocking
// read of a pipe on Cygwin wakes every millisecond. The process is opened before the pipe is seen
// still open, so what was opened is the relay and no later process with its id.
void wait_for_relay(int relay, int relay_id) {
    const process_handle relay_process = open_process_for_wait(relay_id);
    pollfd line{relay, POLLIN, 0};
    if (poll(&line, 1, 0) == 0 && wait_for_process_end(relay_process)) {
        return;
    }
    char ignored = 0;
    while (read_again(relay, &ignored, 1) > 0) {
    }
}

[[noreturn]] void guard(int master, int slave, int relay, int relay_id) {
    // Whatever ends the relay must not end the guardian: not the host's console and its events,
    // not a signal to the relay's process group, not the keys a host sends.
    setsid();
    leave_console();
    const int sent_by_hosts[] = {SIGHUP, SIGINT, SIGQUIT, SIGTSTP};
    for (int number : sent_by_hosts) {
        signal(number, SIG_IGN);
    }
    // The host's pipes are the relay's alone, so the host sees their end with the relay's.
    const int nothing = open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2; ++fd) {
        dup2(nothing, fd);
    }
    close(slave);
    pid_t command = 0;
    if (read_again(relay, &command, sizeof command) != sizeof command) {
        command = 0;
    }
    wait_for_relay(relay, relay_id);
    hang_up(master, command);
    _exit(0);
}

} // namespace

void start_guardian(int master, int slave) {
    int line[2];
    if (pipe(line) != 0 || fcntl(line[0], F_SETFD, FD_CLOEXEC) != 0 ||
        fcntl(line[1], F_SETFD, FD_CLOEXEC) != 0) {
        report_fatal("couldn't start the session's guardian");
    }
    const int relay_id = own_native_id();
    const pid_t guardian = fork();
    if (guardian < 0) {
        report_fatal("couldn't fork");
    }
    if (guardian == 0) {
        close(line[1]);
        guard(master, slave, line[0], relay_id);
    }
    close(line[0]);
    lifeline = line[1];
}

void tell_guardian(pid_t command) {
    if (lifeline >= 0) {
        ssize_t ignored = write(lifeline, &command, sizeof command);
        (void)ignored;
    }
}
