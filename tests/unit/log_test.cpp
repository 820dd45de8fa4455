// The debug log on NAND: one writer at a time across processes.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "osa.h"

namespace {

constexpr const char* kLog = "/mnt/nand/debug.log";

std::string read_log()
{
    std::string text;
    if (FILE* f = fopen(kLog, "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;)
            text.append(buf, n);
        fclose(f);
    }
    return text;
}

// The log's semaphore, attached with undo so that a failed test cannot leave it held.
OsaIpcSem log_sem()
{
    OsaIpcSem sem{};
    EXPECT_EQ(OSA_logInit(), 0);
    EXPECT_EQ(OSA_ipcSemOpen(&sem, OSA_ipcMakeKey("/mnt/nand/", 115), 1, 0, 1,
                             OSA_IPC_ATTACH | OSA_IPC_UNDO), 0);
    return sem;
}

int waiters(const OsaIpcSem& sem)
{
    return semctl(sem.semid, 0, GETNCNT);
}

// Polls for up to five seconds.
template <typename Condition>
bool wait_until(Condition done)
{
    for (int i = 0; i < 500; ++i) {
        if (done())
            return true;
        usleep(10000);
    }
    return false;
}

class DebugLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        unlink(kLog);
        semctl(log_sem().semid, 0, SETVAL, 1);  // free, whatever an earlier failure left
    }
    void TearDown() override { OSA_logClose(); }
};

TEST_F(DebugLog, AppendsBytesAsGiven)
{
    ASSERT_EQ(OSA_logInit(), 0);
    mode_t old_mask = umask(022);
    EXPECT_EQ(OSA_log("one\n", 4), 0);
    umask(old_mask);
    EXPECT_EQ(OSA_log("two", 3), 0);
    EXPECT_EQ(read_log(), "one\ntwo");
    struct stat st;
    ASSERT_EQ(stat(kLog, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(DebugLog, WriterKilledWhileHoldingTheLockDoesNotBlockOthers)
{
    // A FIFO as the log: a write larger than the pipe holds blocks inside
    // the lock, and the writer dies there.
    ASSERT_EQ(mkfifo(kLog, 0644), 0);
    OsaIpcSem sem = log_sem();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string big(1 << 20, 'x');
        OSA_log(big.data(), static_cast<unsigned>(big.size()));
        _exit(0);
    }
    bool held = wait_until([&] { return OSA_ipcSemGetVal(&sem, 0) == 0; });
    kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    unlink(kLog);
    ASSERT_TRUE(held);
    ASSERT_EQ(OSA_ipcSemGetVal(&sem, 0), 1);  // else the log below would block forever
    EXPECT_EQ(OSA_log("after\n", 6), 0);
}

TEST_F(DebugLog, EmptyWriteIsAFailure)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(OSA_log("", 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("write log", 0), 0u);
    // The semaphore was posted again: a later write goes through.
    EXPECT_EQ(OSA_log("x", 1), 0);
}

volatile sig_atomic_t g_signalled;
int g_signal_pipe[2];
void note_signal(int)
{
    g_signalled = 1;
    ssize_t ignored = write(g_signal_pipe[1], "s", 1);
    (void)ignored;
}

// Another process holds the lock; a writer that starts meanwhile (and, in
// the second case, takes a signal while it waits) writes only after release.
TEST_F(DebugLog, WriterWaitsForTheLockHeldElsewhere)
{
    for (bool signalled : {false, true}) {
        SCOPED_TRACE(signalled ? "signalled waiter" : "plain waiter");
        unlink(kLog);
        OsaIpcSem sem = log_sem();
        ASSERT_EQ(pipe(g_signal_pipe), 0);
        ASSERT_EQ(OSA_ipcSemWait(&sem, 0, 1), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(10);  // a lost post would otherwise hang the test
            struct sigaction sa {};
            sa.sa_handler = note_signal;  // no SA_RESTART: the wait sees EINTR
            sigaction(SIGUSR1, &sa, nullptr);
            int failures = OSA_log("child\n", 6) != 0;
            failures += OSA_log("again\n", 6) != 0;
            _exit(failures == 0 && g_signalled == signalled ? 0 : 1);
        }
        ASSERT_TRUE(wait_until([&] { return waiters(sem) == 1; }));
        if (signalled) {
            kill(child, SIGUSR1);
            struct pollfd handled = {g_signal_pipe[0], POLLIN, 0};
            ASSERT_EQ(poll(&handled, 1, 5000), 1);
            // The wait was interrupted; the writer must go back to waiting.
            wait_until([&] { return waiters(sem) == 1; });
        }
        EXPECT_EQ(read_log(), "");
        ASSERT_EQ(OSA_ipcSemPost(&sem, 0, 1), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(read_log(), "child\nagain\n");
        EXPECT_EQ(OSA_ipcSemGetVal(&sem, 0), 1);
        EXPECT_EQ(OSA_log("parent\n", 7), 0);
        OSA_logClose();
        close(g_signal_pipe[0]);
        close(g_signal_pipe[1]);
    }
}

}  // namespace
