// SPDX-License-Identifier: MIT
// Options a host may turn on through the environment, beyond the flags, whose text is fixed:
// BRIMEL_WINDOW_SIZE (COLUMNSxROWS), BRIMEL_BLOCK_SIZE (bytes), BRIMEL_INTERRUPT,
// BRIMEL_EXIT_STATUS and BRIMEL_CONTROL (0 or 1).
#pragma once

// Sets the host option switches. Unset or empty leaves an option off; any other value that is not
// one the option takes ends the relay through report_fatal, before anything has started.
void read_host_options();
