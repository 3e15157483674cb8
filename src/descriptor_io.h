// SPDX-License-Identifier: MIT
// Writes on file descriptors, safe between fork and exec.
#pragma once

#include <cstddef>

// Writes every byte, retrying after short writes and EINTR and waiting while a non-blocking
// descriptor is full. Returns false on any other error; the rest is then dropped.
bool write_all(int fd, const void *data, size_t length);

// Writes what a non-blocking descriptor takes now, retrying only after EINTR, and returns how
// many bytes it took: fewer than `length` after a short write or EAGAIN, when it is full and the
// rest is to be offered again. A descriptor that fails otherwise is going away: every byte counts
// as taken, and its end is read elsewhere.
size_t write_what_fits(int fd, const void *data, size_t length);

// How many bytes a read of the descriptor would find waiting now; 0 where it cannot tell.
size_t unread_bytes(int fd);
