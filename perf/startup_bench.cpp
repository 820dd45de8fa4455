// startup_bench.cpp — median wall time of short `debug` runs against a trivial
// dynamically linked program, run alternately so both see the same machine.
//
//   startup_bench [ROUNDS]      (run inside the simulated camera)
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
    const char* label;
    std::vector<std::string> argv;
    std::vector<double> micros;
};

double now_us()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

// Runs one command with its output thrown away; returns wall microseconds.
double run_once(const Command& c)
{
    std::vector<char*> argv;
    for (const std::string& a : c.argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    double start = now_us();
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        fprintf(stderr, "startup_bench: cannot run %s\n", argv[0]);
        exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    double elapsed = now_us() - start;
    posix_spawn_file_actions_destroy(&actions);
    return elapsed;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 200;
    if (rounds < 1)
        rounds = 1;
    std::vector<Command> commands = {
        {"trivial C program", {"startup_trivial"}, {}},
        {"trivial + 7 C libs", {"startup_trivial_standins"}, {}},
        {"debug -h gpio", {"debug", "-h", "gpio"}, {}},
        {"debug -M nosuch", {"debug", "-M", "nosuch"}, {}},
    };
    for (Command& c : commands)
        run_once(c);  // warm the page cache
    for (int r = 0; r < rounds; ++r) {
        for (Command& c : commands)
            c.micros.push_back(run_once(c));
    }
    double base = median(commands[0].micros);
    printf("start-up, median of %d runs each, run alternately\n", rounds);
    for (const Command& c : commands) {
        double m = median(c.micros);
        printf("  %-20s %8.0f us   x%.2f\n", c.label, m, m / base);
    }
    return 0;
}
