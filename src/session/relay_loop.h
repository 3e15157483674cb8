// Relays the relay's standard input to the terminal and the terminal's output to standard output.
#pragma once

#include "session/pty_child.h"

// Returns once the terminal's command side has gone (the master reports end of file or an error)
// or a read fails with an error other than EINTR.
void run_relay(const PtyPair &pty);
