// SPDX-License-Identifier: MIT
#include "command_line.h"

#include "descriptor_io.h"
#include "diagnostics.h"

void print_usage() {
    static const char usage[] = "Usage: brimel [flags] cmdline\n"
                                "Flags:\n"
                                "-n Turns off echoing.\n"
                                "-a Set up SSH_ASKPASS and DISPLAY env vars if necessary.\n"
                                "-v Verbose debug output.\n";
    write_all(2, usage, sizeof usage - 1);
    end_process(1);
}

char **parse_command_line(int argc, char **argv) {
    // With an argument count of 0 there is not even the relay's own name to skip.
    int next = argc > 0 ? 1 : 0;
    for (; next < argc && argv[next][0] == '-'; ++next) {
        // Only the second character counts: -verbose is -v, and -nv is -n alone.
        switch (argv[next][1]) {
        case 'v':
            verbose = true;
            break;
        case 'a':
            askpass = true;
            break;
        case 'n':
            noecho = true;
            break;
        default:
            print_usage();
        }
    }
    if (next >= argc) {
        print_usage();
    }
    return argv + next;
}
