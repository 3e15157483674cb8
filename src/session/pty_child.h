// SPDX-License-Identifier: MIT
// The pseudo-terminal pair and the command started on its slave side.
#pragma once

#include <sys/types.h>

struct PtyPair {
    int master;
    int slave;
    char slave_name[256]; // the relay's own copy, taken at once
};

// Opens the pair (with -n, without echo), takes signal generation off the relay's own standard
// input when it is a terminal and ignores SIGINT. Does not return on failure.
PtyPair open_pty_pair();

// Forks; the child runs the command vector on the slave side in a session of its own and never
// returns. The parent closes its copy of the slave and returns the child's id.
pid_t launch_child(PtyPair &pty, char **command);

// Waits for the command and gives its exit code, or 128 plus the number of the signal that ended
// it; 1 when it cannot be waited for.
int command_status(pid_t child);
