// Linux's two ways of waiting for a process that is not the relay's child.
#pragma once

// A wait on a pidfd: an event, immune to reuse of the id once open. False with errno ENOSYS when
// the kernel has no pidfd_open.
bool wait_with_pidfd(int pid);

// For kernels without pidfds: looks every 50 ms whether the process is gone or a zombie. An id
// taken over by a new process while the relay looks away is not noticed.
bool wait_by_polling(int pid);
