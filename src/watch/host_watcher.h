// SPDX-License-Identifier: MIT
// Ties the relay's life to its host's: when the process named by VELDRIN_PROCESS_ID ends, the
// relay ends at once with status 1.
#pragma once

#include <cstdint>

// Reads VELDRIN_PROCESS_ID and opens the host for waiting on the calling thread, then starts the
// watcher thread with it, also when there is no host to watch. A thread that cannot be created
// ends the relay through report_fatal.
void start_host_watcher();

// The watcher thread, given the opened host: returns when there is nothing to watch or the wait
// fails; ends the process when the host ends.
void watch_host(intptr_t host);

// The host id of the variable's text, converted as atoi does: leading white space, an optional
// sign, and digits up to the first other character; no digits give 0. A value beyond the range of
// an int gives 0 as well, so it watches nothing rather than some other process.
int parse_host_id(const char *text);
