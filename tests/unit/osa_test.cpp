// Clock arithmetic, number parsing, bounded copies and the semaphore layer.
#include <gtest/gtest.h>
#include <sys/sem.h>

#include <string>

#include "osa.h"

namespace {

TEST(Clock, MillisecondsWrapModulo2To32)
{
    struct timeval tv = {4294967, 295000};  // 4294967295 ms: the last before the wrap
    uint32_t before = osa_millis_of(tv);
    EXPECT_EQ(before, 4294967295u);
    tv = {4294967, 297000};
    uint32_t after = osa_millis_of(tv);
    EXPECT_EQ(after, 1u);
    EXPECT_EQ(static_cast<uint32_t>(after - before), 2u);
    tv = {1700000000, 999999};
    EXPECT_EQ(osa_millis_of(tv), static_cast<uint32_t>(1700000000999ULL));
}

TEST(Clock, SleepOfZeroReturnsAtOnce)
{
    uint32_t start = OSA_clockMilli();
    EXPECT_EQ(OSA_sleepMilli(0), 0);
    EXPECT_LT(static_cast<uint32_t>(OSA_clockMilli() - start), 100u);
}

TEST(ParseU32, AcceptsWhatStrtoulReadsInBaseZero)
{
    struct Case {
        const char* text;
        uint32_t value;
    } ok[] = {{"31", 31}, {"0x1f", 31}, {"017", 15}, {"0", 0}, {"-1", 0xffffffffu},
              {"4294967295", 0xffffffffu}, {"+7", 7}, {" 9", 9}, {"-2147483648", 0x80000000u}};
    for (const Case& c : ok) {
        uint32_t v = 12345;
        EXPECT_TRUE(parse_u32(c.text, &v)) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    for (const char* bad : {"", "abc", "12z", "0x", "4294967296", "-2147483649", "1 ", "08",
                            "99999999999999999999999"}) {
        uint32_t v = 12345;
        EXPECT_FALSE(parse_u32(bad, &v)) << bad;
        EXPECT_EQ(v, 12345u) << bad;
    }
    uint32_t v;
    EXPECT_FALSE(parse_u32(nullptr, &v));
}

TEST(CopyBounded, CutsAndAlwaysTerminates)
{
    char buf[8];
    memset(buf, 'z', sizeof buf);
    copy_bounded(buf, sizeof buf, "0123456789");
    EXPECT_STREQ(buf, "0123456");
    copy_bounded(buf, sizeof buf, "ab");
    EXPECT_STREQ(buf, "ab");
    copy_bounded(buf, 1, "ab");
    EXPECT_STREQ(buf, "");
}

class Semaphore : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (sem_.semid > 0)
            semctl(sem_.semid, 0, IPC_RMID);
    }
    OsaIpcSem sem_{};
};

TEST_F(Semaphore, PostNeverRaisesAboveTheCeiling)
{
    ASSERT_EQ(OSA_ipcSemOpen(&sem_, IPC_PRIVATE, 1, 1, 1, OSA_IPC_CREATE), 0);
    EXPECT_EQ(OSA_ipcSemGetVal(&sem_, 0), 1);
    EXPECT_EQ(OSA_ipcSemPost(&sem_, 0, 1), 0);
    EXPECT_EQ(OSA_ipcSemGetVal(&sem_, 0), 1);
    EXPECT_EQ(OSA_ipcSemWait(&sem_, 0, 0), 0);
    EXPECT_EQ(OSA_ipcSemGetVal(&sem_, 0), 0);
    // Taken: a wait that must not block fails.
    EXPECT_EQ(OSA_ipcSemWait(&sem_, 0, 0), -1);
    EXPECT_EQ(OSA_ipcSemPost(&sem_, 0, 1), 0);
    EXPECT_EQ(OSA_ipcSemPost(&sem_, 0, 1), 0);
    EXPECT_EQ(OSA_ipcSemGetVal(&sem_, 0), 1);
}

TEST_F(Semaphore, InitialValueIsCappedAndIndexChecked)
{
    ASSERT_EQ(OSA_ipcSemOpen(&sem_, IPC_PRIVATE, 3, 5, 2, OSA_IPC_CREATE), 0);
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_EQ(OSA_ipcSemGetVal(&sem_, i), 2);
    EXPECT_EQ(OSA_ipcSemWait(&sem_, 3, 0), -1);
    EXPECT_EQ(OSA_ipcSemPost(&sem_, 3, 0), -1);
}

TEST_F(Semaphore, CreateRefusesMoreThan32AndAnExistingSet)
{
    EXPECT_EQ(OSA_ipcSemOpen(&sem_, IPC_PRIVATE, 33, 1, 1, OSA_IPC_CREATE), -1);
    int key = OSA_ipcMakeKey("/mnt/nand2/", 't');
    ASSERT_NE(key, -1);
    OsaIpcSem other{};
    EXPECT_EQ(OSA_ipcSemOpen(&other, key, 1, 0, 1, OSA_IPC_ATTACH), -1);
    ASSERT_EQ(OSA_ipcSemOpen(&sem_, key, 1, 1, 1, OSA_IPC_CREATE), 0);
    EXPECT_EQ(OSA_ipcSemOpen(&other, key, 1, 1, 1, OSA_IPC_CREATE), -1);
    EXPECT_EQ(OSA_ipcSemOpen(&other, key, 1, 0, 1, OSA_IPC_ATTACH), 0);
    EXPECT_EQ(other.semid, sem_.semid);
}

TEST(IpcKey, MissingDirectoryHasNoKey)
{
    EXPECT_EQ(OSA_ipcMakeKey("/mnt/no/such/dir/", 115), -1);
}

}  // namespace
