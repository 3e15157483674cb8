// SPDX-License-Identifier: MIT
// Probe: the floor for input into a terminal. A child of this runtime reads N bytes raw from a
// new terminal's slave; the parent writes them into the master in blocking 4096-byte writes.
// Prints how many the child read and how long it took.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
int main(int argc, char **argv) {
    long n = argc > 1 ? atol(argv[1]) : 65536;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    char name[64];
    ptsname_r(master, name, sizeof name);
    int ready[2];
    pipe(ready);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child == 0) {
        setsid();
        int slave = open(name, O_RDWR);
        termios modes{};
        tcgetattr(slave, &modes);
        cfmakeraw(&modes);
        tcsetattr(slave, TCSANOW, &modes);
        write(ready[1], "r", 1);
        static char buffer[65536];
        long got = 0;
        for (ssize_t count; got < n && (count = read(slave, buffer, sizeof buffer)) > 0;) {
            got += count;
        }
        printf("child read %ld\n", got);
        fflush(stdout);
        _exit(0);
    }
    char byte;
    read(ready[0], &byte, 1);
    static char data[4096];
    for (int i = 0; i < 4096; ++i) {
        data[i] = static_cast<char>('a' + i % 26);
    }
    long sent = 0;
    while (sent < n) {
        ssize_t count = write(master, data, n - sent < 4096 ? n - sent : 4096);
        if (count <= 0) {
            perror("write");
            break;
        }
        sent += count;
    }
    int status = 0;
    waitpid(child, &status, 0);
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &end);
    printf("sent %ld in %.2f s\n", sent,
           static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9);
}
