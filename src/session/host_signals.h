// SPDX-License-Identifier: MIT
// The signals a host sends to interrupt, quit or suspend. By default the relay and its command
// ignore SIGINT and the others keep what the relay inherited; with BRIMEL_INTERRUPT=1 the relay
// catches SIGINT, SIGQUIT and SIGTSTP and hands each on to the terminal as the key that a user
// would press in a terminal window. A Windows console's Ctrl+C and Ctrl+Break count as SIGINT and
// SIGQUIT, and its close as the host's end.
#pragma once

#include <csignal>
#include <cstdint>
#include <sys/types.h>

// Ignores SIGINT, or with interrupt_command on, catches the three signals. Does not return when
// they cannot be caught. Takes the console's control events too, unless the relay's terminal is a
// console, whose events Cygwin makes signals of.
void catch_host_signals();

// A descriptor that becomes readable when a caught signal has arrived; -1 when none are caught.
int host_signal_descriptor();

// Around the fork: the caught signals wait, blocked, until the child has its own dispositions,
// so that one sent to the command in between is not lost. Gives the mask to restore.
sigset_t hold_host_signals();
void release_host_signals(const sigset_t &previous);

// In the command's child, first of all: the dispositions the command starts with, then the mask
// from before hold_host_signals. SIGINT is ignored; with interrupt_command on, all three are at
// their defaults, as in a terminal window, whatever the relay inherited.
void reset_command_signals(const sigset_t &previous);

// Presses the interrupt, quit or suspend key for each signal that has arrived (terminal_keys):
// terminal_full says that the relay holds input the terminal could not take, or keys wait;
// input_read is how much of the host's input the relay has read.
// Costs no system call unless a signal has arrived, or the wait found the descriptor readable
// (pipe_readable), so the relay loop calls it on every pass: whatever the wait reported, a signal
// that came before some input is handed on before it.
void pass_host_signals(int master, pid_t command, bool terminal_full, bool pipe_readable,
                       uint64_t input_read);
