// Time from the host's end to the relay's end, over many runs.
//   brimel_bench_host_end [runs]
// Each run starts a host stand-in and a relay watching it with a command that never ends, kills
// the host once the command is up, and times until the relay's exit has been seen.
#include "process.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 200;
    std::vector<double> latencies_ms;
    for (int run = 0; run < runs; ++run) {
        Process host;
        spawn(host, {probe, "wait"});
        Process relay;
        SpawnOptions options;
        options.env = {{"VELDRIN_PROCESS_ID", std::to_string(host.pid)}};
        spawn(relay, relay_args({probe, "wait"}), options);
        if (!read_until(host, "\n") || !read_until(relay, "\n")) {
            fprintf(stderr, "run %d: no start\n", run);
            return 1;
        }
        pid_t command = std::stoi(relay.out_text.substr(relay.out_text.find("pid=") + 4));
        auto start = std::chrono::steady_clock::now();
        kill(host.pid, SIGKILL);
        int status = wait_for_exit(relay);
        auto end = std::chrono::steady_clock::now();
        kill(command, SIGKILL);
        wait_until_gone(command);
        if (status != 1) {
            fprintf(stderr, "run %d: relay status %d\n", run, status);
            return 1;
        }
        latencies_ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(latencies_ms.begin(), latencies_ms.end());
    printf("host end to relay end over %d runs: median %.3f ms, worst %.3f ms\n", runs,
           latencies_ms[latencies_ms.size() / 2], latencies_ms.back());
    return 0;
}
