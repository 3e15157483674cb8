// SPDX-License-Identifier: MIT
// The process-wide switches, the two message paths and the one way the process ends.
#pragma once

#include <cstddef>

// Set only while the command line is read; read-only afterwards.
extern bool verbose;
extern bool askpass;
extern bool noecho;

// Options a host may turn on through the environment (read_host_options); all off unless set.
extern unsigned short window_columns; // with window_rows: the terminal's size; 0 leaves it alone
extern unsigned short window_rows;
extern size_t block_size; // the most each read moves: 256, or from 1 to largest_block_size
constexpr size_t largest_block_size = size_t{1} << 20;
extern bool interrupt_command; // the command starts with SIGINT at its default disposition
extern bool pass_exit_status;  // the relay ends with its command's status
extern bool inband_control;    // standard input carries telnet commands (control_input)

// Formats the message, writes it and "\n" to standard error and ends the process with status 1.
[[noreturn]] void report_fatal(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Writes the message unchanged to standard error when verbose is on.
void trace(const char *message);

// The only end of the relay process. Both threads may reach it at once; the first caller ends
// the process with its status, and no exit clean-up runs beside the other thread. Nothing is
// buffered in the relay, so ending this way loses no output.
[[noreturn]] void end_process(int status);
