// SPDX-License-Identifier: MIT
// The flags and the command vector.
#pragma once

// Writes the usage text to standard error and ends the process with status 1.
[[noreturn]] void print_usage();

// Sets the switches from the flags and returns the command vector: a view into argv that starts
// at the command name and ends with argv's own terminating null entry. A bad command line ends
// the process through print_usage.
char **parse_command_line(int argc, char **argv);
