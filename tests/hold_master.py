# SPDX-License-Identifier: MIT
"""Starts a process that holds a copy of the terminal master of the relay whose pid is given, as
a second holder on Cygwin would, and prints that process's pid.   python3 hold_master.py PID"""
import ctypes, os, subprocess, sys

fds = f"/proc/{sys.argv[1]}/fd/"
fd = next(int(f) for f in os.listdir(fds) if os.readlink(fds + f) == "/dev/ptmx")
pidfd_getfd = 438  # the system call's number on every Linux architecture
master = ctypes.CDLL(None).syscall(pidfd_getfd, os.pidfd_open(int(sys.argv[1])), fd, 0)
print(subprocess.Popen(["sleep", "1000"], pass_fds=[master], stdout=subprocess.DEVNULL).pid)
