// File transfer over the console link: the FileChunkHeader, the check of
// file names that come from the wire, and the chunk read and write.
//
//   FileChunkHeader, 264 bytes, little-endian:
//   offset 0 u32 file offset   4 u32 chunk length   8 char[256] file name
//   In a request the length is the count asked; in a reply the count read.
//   A file is fetched by asking successive offsets until a chunk comes back
//   shorter than asked (an exact multiple of the chunk size ends with an
//   empty chunk).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"

namespace lark {

class LinkFrameView;

inline constexpr size_t kFileChunkHeaderSize = 264;
inline constexpr size_t kChunkOffOffset = 0;
inline constexpr size_t kChunkOffLength = 4;
inline constexpr size_t kChunkOffName = 8;
inline constexpr size_t kChunkNameSize = 256;
// Longest name taken from the wire (a Windows path buffer holds 260).
inline constexpr size_t kWireNameMax = 255;

struct FileChunkHeader {
  uint32_t offset = 0;
  uint32_t length = 0;
  std::string name;  // as sent, terminator forced at the field's end
};

// The header at `off` of the frame; nullopt when its offset and length
// fields are not both inside the frame. The name may be cut by the frame's end.
std::optional<FileChunkHeader> ParseChunkHeader(const LinkFrameView& frame, size_t off);
void PutChunkHeader(Bytes out, size_t off, const FileChunkHeader& h);

// A relative path from a name the console sent: '\' becomes '/'; refused
// (nullopt) when empty, absolute, with a drive prefix, with "." or ".."
// parts, with control characters, longer than kWireNameMax, or with more
// than `maxParts` parts (1: a plain file name; 2: one folder, the map's data
// folder, then the file).
std::optional<std::string> SafeWireName(std::string_view name, int maxParts);

// Reads up to `length` bytes at `offset` of the file `path`; the bytes read
// (fewer at the end of the file, none at or past it), or nullopt when the
// file cannot be opened or a read fails. Symbolic links are not followed at
// the last part.
std::optional<std::vector<uint8_t>> ReadFileChunk(const std::string& path, uint64_t offset,
                                                  size_t length);
// The largest picture the service takes in an upload, and so the most a
// picture download may grow to.
inline constexpr uint64_t kPictureMaxBytes = 32ull << 20;
// Writes `data` at the end of `path`: created empty first unless `append`
// (then created when missing). False when it cannot be opened, the file
// would grow past `maxSize` or not every byte was written.
bool WriteFileChunk(const std::string& path, bool append, CBytes data,
                    uint64_t maxSize = UINT64_MAX);

// A picture upload (command 32) comes in pieces of kUploadPieceSize bytes;
// a shorter one (empty, for a file of whole pieces) is the last. The pieces
// are written to "<name>.part", each at exactly the offset it carries, which
// must be the bytes received so far; the last renames the part file over
// `path`. False (nothing taken) for a piece at another offset, one that would
// grow the file past `maxSize`, or a failed write.
inline constexpr uint32_t kUploadPieceSize = 32768;
inline constexpr const char* kUploadPartSuffix = ".part";
bool WriteUploadPiece(const std::string& path, uint64_t offset, CBytes data, bool last,
                      uint64_t maxSize);
// Removes the part files in `dir` last written `olderThanSeconds` ago or
// before; returns how many went.
int RemoveStaleUploads(const std::string& dir, int64_t olderThanSeconds);
struct LinkServices;
// Removes the part file of the slot's unfinished upload (its session closed
// or began another).
void DropSlotUpload(LinkServices& services, int slot);

// Resolves a relative path made by SafeWireName under `base`, each part found
// without case when it exists (else taken as it is).
std::string ResolveUnder(const std::string& base, const std::string& relative);

}  // namespace lark
