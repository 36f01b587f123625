#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace lark {

namespace {

constexpr mode_t kMode = 0644;  // a reader of another user may open it

std::string LockName(const std::string& name) { return name + ".lock"; }

// The owner's lock: an open-file-description lock on the whole lock object,
// so a reader can test it without taking it, and the kernel drops it with
// the owner's last descriptor.
bool TakeOwnerLock(int fd) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool OwnerLockHeld(int fd) {
  struct flock fl {};
  fl.l_type = F_RDLCK;  // any write lock conflicts with it
  fl.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

}  // namespace

SharedMemory::Created SharedMemory::create(const std::string& name, size_t size) {
  close();
  int lockFd = shm_open(LockName(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kMode);
  if (lockFd < 0) return Created::kFailed;
  fchmod(lockFd, kMode);
  if (!TakeOwnerLock(lockFd)) {
    const int error = errno;
    const bool busy = error == EAGAIN || error == EACCES;
    ::close(lockFd);
    errno = error;
    return busy ? Created::kInUse : Created::kFailed;
  }
  // The lock is ours, so an object of this name belongs to a dead owner.
  shm_unlink(name.c_str());
  int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kMode);
  if (fd < 0) {
    const int error = errno;
    ::close(lockFd);
    errno = error;
    return Created::kFailed;
  }
  if (fchmod(fd, kMode) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
    const int error = errno;
    ::close(fd);
    shm_unlink(name.c_str());
    ::close(lockFd);
    errno = error;
    return Created::kFailed;
  }
  name_ = name;
  fd_ = fd;
  lockFd_ = lockFd;
  owner_ = true;
  size_ = size;
  return Created::kCreated;
}

bool SharedMemory::mapWritable() {
  if (!owner_) return false;
  if (map_) return true;
  void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) return false;
  map_ = p;
  return true;
}

bool SharedMemory::lockInMemory() {
  if (!map_) return false;
  locked_ = mlock(map_, size_) == 0;
  return locked_;
}

bool SharedMemory::open(const std::string& name, size_t size) {
  close();
  int lockFd = shm_open(LockName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (lockFd < 0) return false;
  if (!OwnerLockHeld(lockFd)) {
    ::close(lockFd);
    return false;
  }
  int fd = shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 0 || static_cast<size_t>(st.st_size) < size) {
    if (fd >= 0) ::close(fd);
    ::close(lockFd);
    return false;
  }
  name_ = name;
  fd_ = fd;
  lockFd_ = lockFd;
  owner_ = false;
  size_ = static_cast<size_t>(st.st_size);
  return true;
}

bool SharedMemory::mapReadOnly() {
  if (fd_ < 0 || owner_) return false;
  if (map_) return true;
  void* p = mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) return false;
  map_ = p;
  return true;
}

bool SharedMemory::ownerAlive() const {
  struct stat st {};
  return lockFd_ >= 0 && fstat(fd_, &st) == 0 && st.st_nlink > 0 && OwnerLockHeld(lockFd_);
}

bool SharedMemory::read(size_t off, std::span<uint8_t> out) const {
  if (fd_ < 0) return false;
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(off + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void SharedMemory::close() {
  if (map_) {
    if (locked_) munlock(map_, size_);
    munmap(map_, size_);
  }
  map_ = nullptr;
  locked_ = false;
  if (owner_) shm_unlink(name_.c_str());
  if (fd_ >= 0) ::close(fd_);
  // The lock object stays: removing it could let two owners lock two files
  // of the same name. Closing drops the lock.
  if (lockFd_ >= 0) ::close(lockFd_);
  fd_ = -1;
  lockFd_ = -1;
  owner_ = false;
  size_ = 0;
  name_.clear();
}

}  // namespace lark
