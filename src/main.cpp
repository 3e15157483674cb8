// SPDX-License-Identifier: MIT
// brimel: runs a command on a new pseudo-terminal and relays bytes between that terminal and the
// relay's own standard streams.
#include "command_line.h"
#include "diagnostics.h"
#include "environment/askpass_env.h"
#include "host_options.h"
#include "session/pty_child.h"
#include "session/relay_loop.h"
#include "standard_descriptors.h"
#include "watch/host_watcher.h"

int main(int argc, char **argv) {
    open_missing_standard_descriptors();
    start_host_watcher();
    char **command = parse_command_line(argc, argv);
    read_host_options();
    if (askpass) {
        prepare_askpass_env();
    }
    PtyPair pty = open_pty_pair();
    pid_t child = launch_child(pty, command);
    run_relay(pty, child);
    end_process(pass_exit_status ? command_status(child) : 0);
}
