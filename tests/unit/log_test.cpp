// The debug log on NAND: appends from several processes stay whole.
#include <gtest/gtest.h>
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

class DebugLog : public ::testing::Test {
protected:
    void SetUp() override { unlink(kLog); }
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
    ASSERT_EQ(OSA_logInit(), 0);
    OsaIpcSem sem{};
    ASSERT_EQ(OSA_ipcSemOpen(&sem, OSA_ipcMakeKey("/mnt/nand/", 115), 1, 0, 1, OSA_IPC_ATTACH), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        OSA_ipcSemWait(&sem, 0, 1);
        _exit(0);  // dies holding the lock
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
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

TEST_F(DebugLog, TwoProcessesWriteWholeRecords)
{
    constexpr int kRecords = 300;
    constexpr size_t kSize = 3000;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            std::string record(kSize - 1, static_cast<char>('a' + c));
            record += '\n';
            int failures = 0;
            for (int i = 0; i < kRecords; ++i)
                failures += OSA_log(record.data(), static_cast<unsigned>(record.size())) != 0;
            _exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::string log = read_log();
    ASSERT_EQ(log.size(), 2 * kRecords * kSize);
    int counts[2] = {0, 0};
    for (size_t at = 0; at < log.size(); at += kSize) {
        char c = log[at];
        ASSERT_TRUE(c == 'a' || c == 'b');
        EXPECT_EQ(log.find_first_not_of(c, at), at + kSize - 1) << "mixed record at " << at;
        ++counts[c - 'a'];
    }
    EXPECT_EQ(counts[0], kRecords);
    EXPECT_EQ(counts[1], kRecords);
}

}  // namespace
