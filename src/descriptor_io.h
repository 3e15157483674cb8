// Complete writes on file descriptors, safe between fork and exec.
#pragma once

#include <cstddef>

// Writes every byte, retrying after short writes and EINTR and waiting while a non-blocking
// descriptor is full. Returns false on any other error; the rest is then dropped.
bool write_all(int fd, const void *data, size_t length);
