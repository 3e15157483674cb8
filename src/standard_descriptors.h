// SPDX-License-Identifier: MIT
// The relay's standard descriptors at start-up.
#pragma once

// Opens /dev/null onto whichever of descriptors 0, 1 and 2 is closed, so that no descriptor the
// relay opens later (the watcher's handle, the terminal's master and slave) takes one of those
// numbers and receives data meant for a standard stream.
void open_missing_standard_descriptors();
