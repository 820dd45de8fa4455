// The shared-memory poster when the block cannot be attached (what it
// writes is checked end to end).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "osa.h"

namespace {

constexpr int kKey = 0x5eed01;

std::string block_bytes(int key, size_t size)
{
    int id = shmget(key, 0, 0);
    if (id < 0)
        return "none";
    void* at = shmat(id, nullptr, SHM_RDONLY);
    std::string bytes(static_cast<const char*>(at), size);
    shmdt(at);
    return bytes;
}

void remove_block(int key)
{
    int id = shmget(key, 0, 0);
    if (id >= 0)
        shmctl(id, IPC_RMID, nullptr);
}

// Uses stack now, so that the stack needs no new pages under the limit.
__attribute__((noinline)) void grow_stack()
{
    volatile char pad[256 * 1024];
    memset(const_cast<char*>(pad), 0, sizeof pad);
}

// With no room left in the address space, shmat fails: the poster says so
// and returns -1 without writing anywhere.
TEST(ShmPost, FailedAttachIsReportedAndNothingIsWritten)
{
    remove_block(kKey);
    char err_path[] = "/tmp/shm_test_XXXXXX";
    int err_fd = mkstemp(err_path);
    ASSERT_GE(err_fd, 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(err_fd, 2);
        grow_stack();
        long pages = 0;
        FILE* statm = fopen("/proc/self/statm", "r");
        if (statm == nullptr || fscanf(statm, "%ld", &pages) != 1)
            _exit(2);
        fclose(statm);
        rlim_t size = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
        struct rlimit limit = {size, size};
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(2);
        void* probe = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (probe != MAP_FAILED)
            _exit(77);  // the limit is not enforced here (an emulator's own memory)
        _exit(OSA_shmPost(kKey, "abcdefgh", 8) == -1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    char text[128] = {};
    ssize_t got = pread(err_fd, text, sizeof text - 1, 0);
    close(err_fd);
    unlink(err_path);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "the address-space limit is not enforced";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_GT(got, 0);
    EXPECT_STREQ(text, "shmat: Cannot allocate memory\n");
    EXPECT_EQ(block_bytes(kKey, 8), std::string(8, '\0'));
    remove_block(kKey);
}

}  // namespace
