// SPDX-License-Identifier: MIT
// Where a terminal hangs up only at its master's last close (Cygwin), a relay that ends without
// running any of its own code (TerminateProcess, or a console's default handler, which is how
// native Windows hosts end it) would leave its command waiting on the terminal for ever. A small
// process of the relay's, the session's guardian, holds a copy of the master from before the
// command can take the terminal and outlives whatever ends the relay by a few milliseconds: it
// then hangs the session up as a terminal does.
#pragma once

#include <sys/types.h>

// Forks the guardian. It keeps the master (and closes the slave, so that the relay still sees
// the command's end), leaves the relay's console and process group, and waits for the relay to
// end. Does not return on failure.
void start_guardian(int master, int slave);

// Tells the guardian which process the command is, the leader of the session it is to hang up.
void tell_guardian(pid_t command);
