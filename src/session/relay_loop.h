// SPDX-License-Identifier: MIT
// Relays the relay's standard input to the terminal and the terminal's output to standard output.
#pragma once

#include "session/pty_child.h"

// Returns once the terminal's command side has gone (the master reports end of file or an error)
// or a read fails with an error other than EINTR. Signals the host sends to interrupt, quit or
// suspend are pressed as the terminal's keys (host_signals, terminal_keys).
void run_relay(const PtyPair &pty, pid_t command);
