// SPDX-License-Identifier: MIT
// With BRIMEL_CONTROL=1 the host's input is read in telnet's command syntax, without negotiation,
// so that a host that has only the relay's standard input can resize the terminal and press its
// keys: IAC IAC is a data byte 0xFF, IAC SB NAWS W1 W0 H1 H0 IAC SE sets the window size, and IAC
// IP, ABORT, SUSP and xEOF are the terminal's interrupt, quit, suspend and end-of-file keys. Any
// other command, negotiation or subnegotiation is read and ignored.
#pragma once

#include <cstddef>
#include <sys/types.h>

// Writes the data bytes of `length` bytes of input to the master, acting on each command between
// them once every byte before it has been written, and carrying an unfinished command over to
// the next call. Returns how many bytes it has taken: fewer than `length` when the terminal
// takes no more input now, in which case the rest is to be offered again, in order.
size_t deliver_with_commands(int master, pid_t command, const char *input, size_t length);
