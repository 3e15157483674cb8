// SPDX-License-Identifier: MIT
#include "session/control_input.h"

#include "descriptor_io.h"
#include "session/terminal_keys.h"

#include <cstring>
#include <sys/ioctl.h>

namespace {

constexpr unsigned char iac = 255; // RFC 854, with ABORT, SUSP and xEOF from RFC 1184
constexpr unsigned char will = 251;
constexpr unsigned char dont = 254;
constexpr unsigned char sb = 250;
constexpr unsigned char se = 240;
constexpr unsigned char ip = 244;
constexpr unsigned char abort_key = 238;
constexpr unsigned char susp = 237;
constexpr unsigned char xeof = 236;
constexpr unsigned char naws = 31; // RFC 1073
constexpr size_t longest_body = 64;

enum class reading { data, command, option, body_option, body, body_command };

// What has been read of a command so far, kept between reads: a command split over several reads,
// down to a byte each, takes effect once it is whole. A subnegotiation's body is kept here, never
// allocated; one longer than longest_body is given up.
reading state = reading::data;
unsigned char body_option = 0;
unsigned char body[longest_body];
size_t body_length = 0;

enum class outcome { taken, read_again, full };

// One byte to the non-blocking master, as data or as a key.
outcome write_byte(int master, unsigned char byte) {
    return write_what_fits(master, &byte, 1) == 1 ? outcome::taken : outcome::full;
}

void set_window_size(int master) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(body[0] << 8 | body[1]);
    size.ws_row = static_cast<unsigned short>(body[2] << 8 | body[3]);
    if (body_option == naws && body_length == 4 && size.ws_col != 0 && size.ws_row != 0) {
        ioctl(master, TIOCSWINSZ, &size); // the foreground job gets SIGWINCH
    }
}

// The byte after IAC.
outcome read_command(int master, pid_t command, unsigned char byte) {
    outcome result = outcome::taken;
    if (byte == iac) {
        result = write_byte(master, byte); // a data byte 0xFF
    } else if (byte == ip || byte == abort_key || byte == susp || byte == xeof) {
        const terminal_key key = byte == ip          ? terminal_key::interrupt
                                 : byte == abort_key ? terminal_key::quit
                                 : byte == susp      ? terminal_key::suspend
                                                     : terminal_key::end_of_file;
        result = press_key(master, key, command, false) ? outcome::taken : outcome::full;
    }
    if (result == outcome::taken) {
        state = byte >= will && byte <= dont ? reading::option
                : byte == sb                 ? reading::body_option
                                             : reading::data;
    }
    return result;
}

outcome read_command_byte(int master, pid_t command, unsigned char byte) {
    switch (state) {
    case reading::data: // not reached: data goes in runs
    case reading::command:
        return read_command(master, command, byte);
    case reading::option: // of DO, DONT, WILL or WONT, ignored
        state = reading::data;
        return outcome::taken;
    case reading::body_option:
        body_option = byte;
        body_length = 0;
        state = reading::body;
        return outcome::taken;
    case reading::body:
        if (byte == iac) {
            state = reading::body_command;
            return outcome::taken;
        }
        if (body_length == longest_body) {
            state = reading::data; // given up: this byte is data again
            return outcome::read_again;
        }
        body[body_length++] = byte;
        return outcome::taken;
    case reading::body_command:
        if (byte == se) {
            set_window_size(master);
            state = reading::data;
            return outcome::taken;
        }
        if (byte == iac && body_length < longest_body) {
            body[body_length++] = iac;
            state = reading::body;
            return outcome::taken;
        }
        state = reading::command; // given up: IAC and this byte are a command of their own
        return outcome::read_again;
    }
    return outcome::taken;
}

} // namespace

size_t deliver_with_commands(int master, pid_t command, const char *input, size_t length) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(input);
    size_t at = 0;
    while (at < length) {
        if (state == reading::data) {
            // Data goes on in runs up to the next IAC: one scan a run, no work a byte.
            const auto *mark =
                static_cast<const unsigned char *>(memchr(bytes + at, iac, length - at));
            const size_t run =
                mark == nullptr ? length - at : static_cast<size_t>(mark - bytes) - at;
            const size_t taken = write_what_fits(master, bytes + at, run);
            at += taken;
            if (taken < run) {
                return at;
            }
            if (mark != nullptr) {
                state = reading::command;
                ++at;
            }
            continue;
        }
        outcome result = read_command_byte(master, command, bytes[at]);
        if (result == outcome::full) {
            return at;
        }
        at += result == outcome::taken ? 1 : 0;
    }
    return at;
}
