// Runs shell scripts that start the relay ($B) through pipes, with a bound on every wait.
#pragma once

#include <string>
#include <string_view>

struct Outcome {
    int status; // exit code, 128 plus the signal for a signal, -1 when the time ran out
    std::string out;
    std::string err;
    int left; // processes still running after the script ended, which had to be killed
};

// Runs `script` with /bin/sh. Standard output is a one-page, non-blocking pipe, so every short
// write the relay meets must be completed. `input` is written once `ready` has appeared on
// standard output (at once when it is empty), and standard input is closed after it. Whatever
// the script leaves behind comes back to the test process, which ends it by its pid.
Outcome run(const std::string &script, std::string_view input = {}, std::string_view ready = {},
            int timeout_ms = 20000);
