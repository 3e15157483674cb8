// SPDX-License-Identifier: MIT
#include "session/pty_child.h"

#include "descriptor_io.h"
#include "diagnostics.h"
#include "session/guardian.h"
#include "session/host_signals.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

void clear_local_mode(int fd, tcflag_t bit) {
    termios modes{};
    if (tcgetattr(fd, &modes) == 0) {
        modes.c_lflag &= ~bit;
        tcsetattr(fd, TCSANOW, &modes);
    }
}

// A terminal once acquired cannot be let go of on Cygwin, which has no TIOCNOTTY.
// BRIMEL_CYGWIN_TERMINALS builds that path anywhere, so that the tests run it on Linux too.
#if !defined(TIOCNOTTY) || defined(BRIMEL_CYGWIN_TERMINALS)
#define CYGWIN_TERMINALS 1
#else
#define CYGWIN_TERMINALS 0
#endif

#if !CYGWIN_TERMINALS
int slave_open_flags() {
    return O_RDWR;
}

// A relay that leads a session without a controlling terminal has just acquired the slave as its
// own by opening it. The command can only take the terminal once the relay lets go of it.
void release_slave_as_own_terminal(int slave) {
    if (tcgetsid(slave) != getsid(0)) {
        return;
    }
    // Letting go sends SIGHUP to the terminal's foreground group, which is the relay's own.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGHUP, &ignore, &previous);
    ioctl(slave, TIOCNOTTY);
    sigaction(SIGHUP, &previous, nullptr);
}
#else
// Any process without a controlling terminal, session leader or not, acquires a slave it opens
// there, and then its master reads end at once or stop it, and the master never reports the
// command's end. So the relay never acquires the slave; the command takes it.
int slave_open_flags() {
    return O_RDWR | O_NOCTTY;
}

void release_slave_as_own_terminal(int /*slave*/) {}
#endif

// Between fork and exec the child holds a copy of a process with two threads: it writes only with
// write(2), from storage of its own prepared before the fork or on its stack, and ends with _exit.
void child_write_exec_failure(int error) {
    char line[32] = "Exec failed, ";
    size_t length = strlen(line);
    char digits[12];
    size_t count = 0;
    auto value = static_cast<unsigned>(error); // errno values are positive
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        line[length++] = digits[--count];
    }
    line[length++] = '.';
    line[length++] = '\n';
    write_all(2, line, length);
}

// The "About to exec" line, formatted before the fork, so the child needs no formatting or
// allocation of its own. Null when verbose is off.
char *format_about_to_exec(const char *name) {
    if (!verbose) {
        return nullptr;
    }
    size_t size = strlen("About to exec .\n") + strlen(name) + 1;
    auto *line = static_cast<char *>(malloc(size));
    if (line == nullptr) {
        report_fatal("couldn't fork");
    }
    snprintf(line, size, "About to exec %s.\n", name);
    return line;
}

// Whether the relay has ended: it is the only writer of the pipe whose read end this is, and never
// writes, so any event is the pipe's end. A process's files close as it ends, on Cygwin before its
// children get a new parent, so its children's getppid() still names it for a while.
bool relay_gone(int relay_end) {
    pollfd line{relay_end, POLLIN, 0};
    return poll(&line, 1, 0) != 0;
}

[[noreturn]] void run_child(const PtyPair &pty, char **command, const char *about_to_exec,
                            int relay_end, const sigset_t &signal_mask) {
    reset_command_signals(signal_mask);
    close(pty.master);
    if (setsid() < 0) {
        static const char message[] = "couldn't setsid\n";
        write_all(2, message, sizeof message - 1);
        _exit(1);
    }
    dup2(pty.slave, 0);
    dup2(pty.slave, 1);
    dup2(pty.slave, 2);
    // A session leader gets a controlling terminal only on request; /dev/tty, job control and the
    // signal characters need one. Once it is taken, the relay's end reaches the command as SIGHUP;
    // a relay that ended before that never could, so the command is not started. Linux refuses a
    // terminal that has hung up, and a terminal whose hang-up ran while the request waited for it
    // answers EIO from then on; Cygwin hands either over, so the relay's own end is looked at too.
#ifdef TIOCSCTTY
    if ((ioctl(0, TIOCSCTTY, 0) < 0 && errno == EIO) || (tcgetsid(0) < 0 && errno == EIO)) {
        _exit(1);
    }
#endif
    if (relay_gone(relay_end)) {
        _exit(1);
    }
    close(relay_end);
    if (pty.slave > 2) {
        close(pty.slave);
    }
    setpgrp();
    if (about_to_exec != nullptr) {
        write_all(2, about_to_exec, strlen(about_to_exec));
    }
    execvp(command[0], command);
    int error = errno;
    if (verbose) {
        child_write_exec_failure(error);
    }
    _exit(1);
}

} // namespace

PtyPair open_pty_pair() {
    PtyPair pty{};
    trace("Opening pty.\n");
    pty.master = open("/dev/ptmx", O_RDWR | O_NOCTTY);
    if (pty.master < 0) {
        report_fatal("couldn't open master pty");
    }
    if (grantpt(pty.master) < 0) {
        report_fatal("couldn't grant master pty");
    }
    if (unlockpt(pty.master) < 0) {
        report_fatal("couldn't unlock master pty");
    }
    if (ptsname_r(pty.master, pty.slave_name, sizeof pty.slave_name) != 0) {
        report_fatal("couldn't get slave pty name");
    }
    pty.slave = open(pty.slave_name, slave_open_flags());
    if (pty.slave < 0) {
        report_fatal("couldn't open slave pty %s", pty.slave_name);
    }
    release_slave_as_own_terminal(pty.slave);
    if (noecho) {
        clear_local_mode(pty.master, ECHO);
    }
    if (window_columns != 0) {
        winsize size{};
        size.ws_col = window_columns;
        size.ws_row = window_rows;
        ioctl(pty.master, TIOCSWINSZ, &size);
    }
    trace("Opened pty.\n");
    clear_local_mode(0, ISIG);
    catch_host_signals();
    return pty;
}

pid_t launch_child(PtyPair &pty, char **command) {
    trace("Ready to fork.\n");
    char *about_to_exec = format_about_to_exec(command[0]);
    if (CYGWIN_TERMINALS) {
        start_guardian(pty.master, pty.slave); // before the command can take the terminal
    }
    // The relay keeps the write end for its whole life; neither end reaches the command.
    int relay_line[2];
    if (pipe(relay_line) != 0 || fcntl(relay_line[0], F_SETFD, FD_CLOEXEC) != 0 ||
        fcntl(relay_line[1], F_SETFD, FD_CLOEXEC) != 0) {
        report_fatal("couldn't fork");
    }
    const sigset_t signal_mask = hold_host_signals();
    pid_t child = fork();
    if (child < 0) {
        report_fatal("couldn't fork");
    }
    if (child == 0) {
        close(relay_line[1]);
        run_child(pty, command, about_to_exec, relay_line[0], signal_mask);
    }
    close(relay_line[0]);
    release_host_signals(signal_mask);
    tell_guardian(child);
    free(about_to_exec);
    close(pty.slave);
    pty.slave = -1;
    return child;
}

int command_status(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return 1;
        }
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
