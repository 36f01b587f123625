// Named shared memory between processes of this machine (the stand-in for
// named file mappings): POSIX shm objects of a fixed size. Each object has a
// companion lock object ("<name>.lock") whose lock its owner takes before
// creating and holds while the object is open, so the kernel lets go of it
// when the owner dies: a name whose lock is free is stale.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lark {

// Every view is this large (the allocation granularity of the exchange).
inline constexpr size_t kSharedViewSize = 65536;

class SharedMemory {
 public:
  enum class Created { kCreated, kInUse, kFailed };

  SharedMemory() = default;
  ~SharedMemory() { close(); }
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Creates `name` (with its leading '/') as its owner, sized to `size` bytes
  // and readable by every user. A stale object of that name is replaced;
  // kInUse when a live owner holds it. Otherwise errno tells why.
  Created create(const std::string& name, size_t size);
  // Maps the own object read/write; the view is valid until close().
  bool mapWritable();
  // Keeps the mapped view in memory; false when the system refuses.
  bool lockInMemory();

  // Opens another owner's object for reading: false when it is absent, its
  // owner is gone, or it is smaller than `size`.
  bool open(const std::string& name, size_t size);
  // Maps an opened object read-only (only for objects whose owner never
  // shrinks them).
  bool mapReadOnly();
  // Whether the owner of an opened object still holds it under its name (a
  // new owner of the name has a new object).
  bool ownerAlive() const;

  // Reads `out.size()` bytes at `off` through the descriptor, never through a
  // mapping: an object that shrank gives false, never a fault.
  bool read(size_t off, std::span<uint8_t> out) const;

  bool isOpen() const { return fd_ >= 0; }
  bool owner() const { return owner_; }
  size_t size() const { return size_; }
  std::span<uint8_t> view() { return {static_cast<uint8_t*>(map_), map_ ? size_ : 0}; }
  std::span<const uint8_t> view() const {
    return {static_cast<const uint8_t*>(map_), map_ ? size_ : 0};
  }

  // Unmaps and closes; the owner removes the name first.
  void close();

 private:
  std::string name_;
  int fd_ = -1;
  int lockFd_ = -1;
  void* map_ = nullptr;
  bool locked_ = false;
  bool owner_ = false;
  size_t size_ = 0;
};

}  // namespace lark
