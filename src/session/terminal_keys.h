// SPDX-License-Identifier: MIT
// The terminal's keys that a host presses (by a signal, or by a telnet command on standard input):
// each reaches the command as it would from a terminal window, and a key the terminal cannot take
// yet waits, in order, behind the input ahead of it.
#pragma once

#include <cstdint>
#include <sys/types.h>

enum class terminal_key : unsigned char { interrupt, quit, suspend, end_of_file };

// Presses the key on the master: its character from the terminal's modes where the terminal
// would act on it. Where an interrupt, quit or suspend character would not act (the terminal has
// none, no foreground job yet, takes no more input, or is full of input its command has not read:
// terminal_full), its signal goes to the foreground group, or to the command itself. But a raw
// reader (ISIG off) asked for bytes, never a signal: false, with nothing done, where it cannot
// take the key now (terminal_full, no room, or input_ahead: input the host wrote before the key
// that the terminal has not been offered yet), so that the key waits for it. An end-of-file key
// is its character alone; a terminal without one takes nothing.
bool press_key(int master, terminal_key key, pid_t command, bool terminal_full,
               bool input_ahead = false);

// Positions in the host's input are counts of bytes read from standard input (input_read).

// Presses the key, or where it is to wait, queues it behind those already waiting and behind all
// the input the host wrote before it: what the relay holds, and what standard input holds now.
void press_or_queue_key(int master, terminal_key key, pid_t command, bool terminal_full,
                        uint64_t input_read);

// Whether keys wait; the relay reads no input past the first one's position meanwhile
// (input_before_keys: how much it may still read, UINT64_MAX when none waits), and presses those
// whose input has gone (press_waiting_keys), in order, as far as the terminal takes them.
bool keys_waiting();
uint64_t input_before_keys(uint64_t input_read);
void press_waiting_keys(int master, pid_t command, uint64_t input_read);
