/* proc_reads.c — the floor of one cpu-monitor sample: ROUNDS rounds, one
 * second apart, of what a sample cannot do without (a read of /proc/stat and
 * of /proc/self/stat, and the wake-up from the sleep between samples).
 * Prints the CPU time of one round in microseconds. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

static void read_once(const char* path)
{
    char buf[1024];
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return;
    /* The monitor needs the first line only: one block. */
    if (read(fd, buf, sizeof buf) < 0)
        perror(path);
    close(fd);
}

static double cpu_us(void)
{
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e6 + ru.ru_utime.tv_usec + ru.ru_stime.tv_usec;
}

int main(int argc, char** argv)
{
    long rounds = argc > 1 ? strtol(argv[1], NULL, 10) : 20;
    if (rounds <= 0)
        rounds = 20;
    double start = cpu_us();
    for (long i = 0; i < rounds; ++i) {
        read_once("/proc/stat");
        read_once("/proc/self/stat");
        struct timespec second = {1, 0};
        nanosleep(&second, NULL);
    }
    printf("%.2f\n", (cpu_us() - start) / rounds);
    return 0;
}
