#include "platform/shared_memory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/shmns.h"

namespace lark {
namespace {

constexpr char kName[] = "/LarkTestObject";

class SharedMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateSharedMemory()) GTEST_SKIP() << "no private /dev/shm";
  }
};

// An object of `size` bytes under `name` that no live owner holds.
void LeaveStaleObject(const char* name, off_t size) {
  int fd = shm_open(name, O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, size), 0);
  close(fd);
}

TEST_F(SharedMemoryTest, OwnerCreatesReaderFollowsOwnerRemoves) {
  SharedMemory own;
  ASSERT_EQ(own.create(kName, kSharedViewSize), SharedMemory::Created::kCreated);
  ASSERT_TRUE(own.mapWritable());
  own.view()[7] = 0x5A;
  struct stat st {};
  ASSERT_EQ(stat("/dev/shm/LarkTestObject", &st), 0);
  EXPECT_EQ(st.st_size, static_cast<off_t>(kSharedViewSize));
  EXPECT_EQ(st.st_mode & 0777, 0644u);

  SharedMemory second;
  EXPECT_EQ(second.create(kName, kSharedViewSize), SharedMemory::Created::kInUse);

  SharedMemory reader;
  EXPECT_FALSE(reader.open(kName, kSharedViewSize + 1));  // smaller than asked
  ASSERT_TRUE(reader.open(kName, kSharedViewSize));
  EXPECT_TRUE(reader.ownerAlive());
  uint8_t b[2] = {};
  ASSERT_TRUE(reader.read(6, b));
  EXPECT_EQ(b[1], 0x5A);
  EXPECT_FALSE(reader.read(kSharedViewSize - 1, b));  // past the end
  ASSERT_TRUE(reader.mapReadOnly());
  EXPECT_EQ(reader.view()[7], 0x5A);

  own.close();
  EXPECT_FALSE(reader.ownerAlive());
  EXPECT_NE(stat("/dev/shm/LarkTestObject", &st), 0);
  SharedMemory late;
  EXPECT_FALSE(late.open(kName, kSharedViewSize));
  // The name is free again for a new owner.
  EXPECT_EQ(second.create(kName, kSharedViewSize), SharedMemory::Created::kCreated);
}

TEST_F(SharedMemoryTest, StaleObjectsAreNotOpenedAndAreReplaced) {
  LeaveStaleObject(kName, 100);
  SharedMemory reader;
  EXPECT_FALSE(reader.open(kName, 10));  // no owner holds it

  // An owner killed outright leaves its object; the kernel drops its lock.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  if (child == 0) {
    SharedMemory dying;
    if (dying.create(kName, kSharedViewSize) != SharedMemory::Created::kCreated) _exit(1);
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_TRUE(reader.open(kName, kSharedViewSize));
  reader.close();
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_FALSE(reader.open(kName, kSharedViewSize));

  SharedMemory own;
  ASSERT_EQ(own.create(kName, kSharedViewSize), SharedMemory::Created::kCreated);
  ASSERT_TRUE(own.mapWritable());
  EXPECT_EQ(own.view()[0], 0);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(SharedMemoryTest, AShrunkObjectGivesAShortReadNotAFault) {
  SharedMemory own;
  ASSERT_EQ(own.create(kName, kSharedViewSize), SharedMemory::Created::kCreated);
  SharedMemory reader;
  ASSERT_TRUE(reader.open(kName, kSharedViewSize));
  int fd = shm_open(kName, O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 2), 0);
  close(fd);
  uint8_t b[3];
  EXPECT_FALSE(reader.read(0, b));
}

}  // namespace
}  // namespace lark
