// SPDX-License-Identifier: MIT
#include "session/terminal_keys.h"

#include "descriptor_io.h"

#include <csignal>
#include <cstddef>
#include <cstring>
#include <termios.h>
#include <unistd.h>

namespace {

// Keys waiting for the terminal to take the input ahead of them, in order, each with the position
// in the host's input that must have been read and taken first. Past a few, more add nothing: a
// user who presses a key a dozen times into a program that does not read asks no more.
struct waiting_key {
    terminal_key key;
    uint64_t due;
};
waiting_key waiting[8];
size_t waiting_count = 0;

int signal_of(terminal_key key) {
    return key == terminal_key::interrupt ? SIGINT : key == terminal_key::quit ? SIGQUIT : SIGTSTP;
}

// The index in c_cc of the key's character.
int slot_of(terminal_key key) {
    switch (key) {
    case terminal_key::interrupt:
        return VINTR;
    case terminal_key::quit:
        return VQUIT;
    case terminal_key::suspend:
        return VSUSP;
    case terminal_key::end_of_file:
        break;
    }
    return VEOF;
}

} // namespace

bool press_key(int master, terminal_key key, pid_t command, bool terminal_full, bool input_ahead) {
    termios modes{};
    const bool have_modes = tcgetattr(master, &modes) == 0;
    const cc_t character = have_modes ? modes.c_cc[slot_of(key)] : cc_t{_POSIX_VDISABLE};
    if (key == terminal_key::end_of_file) {
        return character == _POSIX_VDISABLE ||
               (!terminal_full && write_what_fits(master, &character, 1) == 1);
    }
    // A program that reads its terminal raw (ISIG off) asked for bytes, never a signal: its key
    // waits behind the input ahead of it, as in a terminal window.
    if (character != _POSIX_VDISABLE && have_modes && (modes.c_lflag & ISIG) == 0) {
        return !terminal_full && !input_ahead && write_what_fits(master, &character, 1) == 1;
    }
    // With ISIG the terminal signals only a foreground group, which exists once the command has
    // taken the terminal. A terminal full of input that its command does not read would take the
    // key, if at all, behind that input, where it waits as long as the input does. The signal
    // then goes directly.
    const pid_t group = tcgetpgrp(master);
    const bool no_group = have_modes && group <= 0;
    if (character != _POSIX_VDISABLE && !no_group && !terminal_full &&
        write(master, &character, 1) == 1) {
        return true;
    }
    kill(group > 0 ? -group : command, signal_of(key));
    return true;
}

void press_or_queue_key(int master, terminal_key key, pid_t command, bool terminal_full,
                        uint64_t input_read) {
    const uint64_t due = input_read + unread_bytes(0);
    if (!press_key(master, key, command, terminal_full, due > input_read) &&
        waiting_count < sizeof waiting / sizeof waiting[0]) {
        waiting[waiting_count++] = {key, due};
    }
}

bool keys_waiting() {
    return waiting_count > 0;
}

uint64_t input_before_keys(uint64_t input_read) {
    if (waiting_count == 0) {
        return UINT64_MAX;
    }
    return waiting[0].due > input_read ? waiting[0].due - input_read : 0;
}

void press_waiting_keys(int master, pid_t command, uint64_t input_read) {
    size_t pressed = 0;
    while (pressed < waiting_count && waiting[pressed].due <= input_read &&
           press_key(master, waiting[pressed].key, command, false)) {
        ++pressed;
    }
    waiting_count -= pressed;
    memmove(waiting, waiting + pressed, waiting_count * sizeof waiting[0]);
}
