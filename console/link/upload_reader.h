// ReadUploadChunk: the next piece of a file the console uploads with command
// 32. Only regular files are read, opened without blocking, so a FIFO or a
// device named by the operator cannot stall the window thread or never end.
#pragma once
#include <cstdint>
#include <string>

#include "common/bytes.h"

namespace lark {

class UploadReader {
 public:
  // Reads up to `length` bytes (at most the buffer and one chunk) at the
  // upload offset; `cont` false starts again at 0. True with `length` set to
  // the bytes read (fewer at the end of the file, 0 past it); false when the
  // path is not a readable regular file, the size is refused or a read fails.
  bool ReadUploadChunk(const std::string& path, bool cont, uint32_t& length, Bytes buffer);
  uint64_t offset() const { return offset_; }

 private:
  uint64_t offset_ = 0;  // bytes already read of the current upload
};

}  // namespace lark
