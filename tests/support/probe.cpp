// A command for the relay to run in the tests: it prints what it sees, one fact a line.
//   probe facts          terminal, session, controlling terminal, SIGINT
//   probe env NAME...    NAME=value, or NAME unset
//   probe wait           prints its pid and waits to be killed
//   probe count-input S  puts its terminal in raw mode, says "ready", sleeps S seconds, then
//                        counts the 0x04 bytes and the other bytes that arrived meanwhile
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

bool sigint_ignored() {
    struct sigaction current {};
    sigaction(SIGINT, nullptr, &current);
    return current.sa_handler == SIG_IGN;
}

bool has_controlling_terminal() {
    int tty = open("/dev/tty", O_RDWR | O_NOCTTY);
    if (tty < 0) {
        return false;
    }
    close(tty);
    return tcgetsid(0) == getsid(0);
}

} // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    std::string what = argc > 1 ? argv[1] : "";
    if (what == "facts") {
        printf("terminals=%d%d%d\n", isatty(0), isatty(1), isatty(2));
        printf("session_leader=%d\n", getsid(0) == getpid());
        printf("controlling_terminal=%d\n", has_controlling_terminal());
        printf("sigint_ignored=%d\n", sigint_ignored());
        return 0;
    }
    if (what == "env") {
        for (int i = 2; i < argc; ++i) {
            const char *value = getenv(argv[i]);
            if (value != nullptr) {
                printf("%s=%s\n", argv[i], value);
            } else {
                printf("%s unset\n", argv[i]);
            }
        }
        return 0;
    }
    if (what == "wait") {
        printf("pid=%d\n", getpid());
        for (;;) {
            pause();
        }
    }
    if (what == "count-input" && argc > 2) {
        termios modes{};
        tcgetattr(0, &modes);
        cfmakeraw(&modes);
        tcsetattr(0, TCSANOW, &modes);
        printf("ready\n");
        sleep(static_cast<unsigned>(atoi(argv[2])));
        fcntl(0, F_SETFL, O_NONBLOCK);
        long eot = 0;
        long other = 0;
        char buffer[4096];
        ssize_t count = 0;
        while ((count = read(0, buffer, sizeof buffer)) > 0) {
            for (ssize_t i = 0; i < count; ++i) {
                (buffer[i] == 0x04 ? eot : other) += 1;
            }
        }
        printf("eot=%ld other=%ld\n", eot, other);
        return 0;
    }
    fprintf(stderr, "probe: unknown request\n");
    return 2;
}
