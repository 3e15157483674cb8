// SPDX-License-Identifier: MIT
// With -a: DISPLAY and SSH_ASKPASS for a program on the terminal that asks for a password, so that
// it can call the prompt program beside the relay's own executable.
#pragma once

// Adds "DISPLAY=:0.0" when DISPLAY is not set at all, and "SSH_ASKPASS=<relay's directory>
// brimel-auth.exe" when SSH_ASKPASS is not set at all. A set variable, even an empty one, is left
// as it is; a relay path that cannot be found leaves SSH_ASKPASS unset. Reports nothing.
void prepare_askpass_env();

// The position in `path` where its last component begins. A separator that is the last character
// does not count, so "/opt/tools/" gives "tools/".
const char *last_component(const char *path);

// "/", "\\" and the drive colon ":".
bool is_path_separator(char c);
