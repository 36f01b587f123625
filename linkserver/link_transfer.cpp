#include "linkserver/link_transfer.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <mutex>

#include "core/event_log.h"
#include "linkserver/link_frame.h"
#include "linkserver/link_requests.h"
#include "core/map_file.h"
#include "core/settings.h"
#include "linkserver/data_root.h"
#include "platform/folder_walk.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace lark {

namespace {

// Largest data a reply can carry after `dataOffset` (the length field is 16 bits).
constexpr size_t MaxReplyData(size_t dataOffset) { return 0xFFFF + kLinkHeaderSize - dataOffset; }

constexpr size_t kChunkDataOffset = 7;        // commands 4, 5, 31
constexpr size_t kDataRootChunkOffset = 271;  // command 11 sub 5
constexpr int kDataRootDepth = 4;             // map/node/year/month.DAT
constexpr size_t kUploadHeaderOffset = 5;     // command 32
constexpr size_t kUploadDataOffset = 269;
constexpr size_t kImageListMax = 2048;
constexpr const char* kImagesFolder = "Images";
constexpr int64_t kStaleUploadSeconds = 3600;

std::string ImagesDir(const std::string& installDir) {
  if (auto found = FindNoCase(installDir, kImagesFolder)) return *found;
  return JoinPath(installDir, kImagesFolder);
}

// Reads a chunk of `path` into the reply at its current end (sub already
// echoed); failure code and no data when the chunk cannot be read.
void ReplyChunk(LinkRequest& r, LinkFrameBuilder& reply, const std::string& path,
                const FileChunkHeader& h) {
  if (h.length > MaxReplyData(kChunkDataOffset)) return BuildLinkFailureReply(r, reply);
  auto data = ReadFileChunk(path, h.offset, h.length);
  if (!data) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
  reply.putBytes(*data);
}

}  // namespace

std::optional<FileChunkHeader> ParseChunkHeader(const LinkFrameView& frame, size_t off) {
  auto offset = frame.le32(off + kChunkOffOffset);
  auto length = frame.le32(off + kChunkOffLength);
  if (!offset || !length) return std::nullopt;
  FileChunkHeader h;
  h.offset = *offset;
  h.length = *length;
  h.name = FrameText(frame, off + kChunkOffName, kChunkNameSize);
  return h;
}

void PutChunkHeader(Bytes out, size_t off, const FileChunkHeader& h) {
  putU32(out, off + kChunkOffOffset, h.offset);
  putU32(out, off + kChunkOffLength, h.length);
  putStr(out, off + kChunkOffName, kChunkNameSize, h.name);
}

std::optional<std::string> SafeWireName(std::string_view name, int maxParts) {
  if (name.empty() || name.size() > kWireNameMax) return std::nullopt;
  std::string path = ToSlash(name);
  if (path.front() == '/') return std::nullopt;
  int parts = 0;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    // IsSafeName refuses "", ".", "..", drive prefixes and control characters.
    if (!IsSafeName(std::string_view(path).substr(start, end - start))) return std::nullopt;
    if (++parts > maxParts) return std::nullopt;
    start = end + 1;
  }
  return path;
}

std::string ResolveUnder(const std::string& base, const std::string& relative) {
  std::string path = base;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    path = ResolveNoCase(path, std::string_view(relative).substr(start, end - start));
    start = end + 1;
  }
  return path;
}

std::optional<std::vector<uint8_t>> ReadFileChunk(const std::string& path, uint64_t offset,
                                                  size_t length) {
  int fd = OpenRegularFile(path, O_RDONLY);
  if (fd < 0) return std::nullopt;
  std::vector<uint8_t> out(length);
  size_t got = 0;
  bool ok = true;
  while (got < length) {
    ssize_t n = pread(fd, out.data() + got, length - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;  // end of file: a shorter chunk
    got += static_cast<size_t>(n);
  }
  close(fd);
  if (!ok) return std::nullopt;
  out.resize(got);
  return out;
}

bool WriteFileChunk(const std::string& path, bool append, CBytes data, uint64_t maxSize) {
  const std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
  if (data.size() > maxSize) return false;
  // A first chunk replaces the file whole or not at all: no empty or half
  // file is left by a full disk.
  if (!append) return WriteFileAtomic(path, bytes);
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) > maxSize - data.size()) {
    close(fd);
    return false;
  }
  bool ok = WriteAll(fd, bytes);
  // A chunk that did not fit is taken off again; the console asks for it anew.
  if (!ok) (void)!ftruncate(fd, st.st_size);
  return close(fd) == 0 && ok;
}

bool WriteUploadPiece(const std::string& path, uint64_t offset, CBytes data, bool last,
                      uint64_t maxSize) {
  const std::string part = path + kUploadPartSuffix;
  if (offset > maxSize || data.size() > maxSize - offset) return false;
  // The first piece starts the part file anew; a later one goes only where
  // the bytes received so far end.
  const int fd = OpenRegularFile(part, offset == 0 ? O_WRONLY | O_CREAT | O_TRUNC : O_WRONLY);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) == offset;
  const std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
  if (ok && lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset))
    ok = false;
  if (ok && !WriteAll(fd, bytes)) {
    // A piece that did not fit is taken off again; the console asks for it anew.
    (void)!ftruncate(fd, static_cast<off_t>(offset));
    ok = false;
  }
  if (ok && last) ok = fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok && offset == 0) RemoveRegularFile(part);  // no empty part file is left
  if (!ok || !last) return ok;
  // Only a whole picture takes the old one's place.
  const int dir = OpenFolder(path.substr(0, path.rfind('/')), false);
  if (dir < 0) return false;
  const std::string name = path.substr(path.rfind('/') + 1);
  ok = renameat(dir, (name + kUploadPartSuffix).c_str(), dir, name.c_str()) == 0;
  if (ok) fsync(dir);
  close(dir);
  return ok;
}

int RemoveStaleUploads(const std::string& dir, int64_t olderThanSeconds) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return 0;
  const time_t now = time(nullptr);
  const std::string_view suffix = kUploadPartSuffix;
  int removed = 0;
  while (dirent* e = readdir(d)) {
    const std::string_view n = e->d_name;
    if (n.size() <= suffix.size() || n.substr(n.size() - suffix.size()) != suffix) continue;
    struct stat st;
    if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        now - st.st_mtime >= olderThanSeconds && unlinkat(dirfd(d), e->d_name, 0) == 0)
      ++removed;
  }
  closedir(d);
  return removed;
}

void DropSlotUpload(LinkServices& services, int slot) {
  std::string& part = services.uploadParts[static_cast<size_t>(slot)];
  if (!part.empty()) RemoveRegularFile(part);
  part.clear();
}

// ---- handlers ----

void HandleDownloadSettings(LinkRequest& r, LinkFrameBuilder& reply) {
  auto h = ParseChunkHeader(r.frame, 6);
  if (!h || r.services.installDir.empty()) return BuildLinkFailureReply(r, reply);
  ReplyChunk(r, reply, ResolveNoCase(r.services.installDir, "manager.ini"), *h);
}

void HandleDownloadFile(LinkRequest& r, LinkFrameBuilder& reply) {
  auto h = ParseChunkHeader(r.frame, 6);
  if (!h || r.services.installDir.empty()) return BuildLinkFailureReply(r, reply);
  auto name = SafeWireName(h->name, 1);
  if (!name) return BuildLinkFailureReply(r, reply);
  ReplyChunk(r, reply, ResolveUnder(r.services.installDir, *name), *h);
}

void HandleSyncImages(LinkRequest& r, LinkFrameBuilder& reply) {
  if (r.services.installDir.empty()) return BuildLinkFailureReply(r, reply);
  if (r.sub() == 0) {
    Profile ini(ResolveNoCase(r.services.installDir, "manager.ini"));
    std::string list = ini.getString("Images", "List", "", kImageListMax + 1);
    BeginSuccessReply(r, reply);
    reply.putBytes(asBytes(list));
    reply.putU8(0);
    return;
  }
  auto h = ParseChunkHeader(r.frame, 6);
  if (!h) return BuildLinkFailureReply(r, reply);
  auto name = SafeWireName(h->name, 1);
  if (!name) return BuildLinkFailureReply(r, reply);
  ReplyChunk(r, reply, ResolveUnder(ImagesDir(r.services.installDir), *name), *h);
}

void HandleUploadFile(LinkRequest& r, LinkFrameBuilder& reply) {
  auto h = ParseChunkHeader(r.frame, kUploadHeaderOffset);
  if (!h || r.services.installDir.empty()) return BuildLinkFailureReply(r, reply);
  auto name = SafeWireName(h->name, 1);
  // The chunk's length is the header's; bytes present must agree with it.
  CBytes data = r.frame.tail(kUploadDataOffset);
  if (!name || r.frame.size() < kUploadDataOffset || data.size() != h->length) {
    return BuildLinkFailureReply(r, reply);
  }
  const std::string dir = ImagesDir(r.services.installDir);
  if (!MakeDirs(dir)) return BuildLinkFailureReply(r, reply);
  const std::string path = ResolveUnder(dir, *name);
  std::string& part = r.services.uploadParts[static_cast<size_t>(r.slot)];
  if (h->offset == 0) {
    // A new upload: this session's earlier one, and any left for an hour, go.
    if (part != path + kUploadPartSuffix) DropSlotUpload(r.services, r.slot);
    RemoveStaleUploads(dir, kStaleUploadSeconds);
  }
  const bool last = h->length < kUploadPieceSize;
  const std::optional<uint64_t> free = FreeSpace(dir);
  if (!free || *free < r.services.uploadDiskReserve + data.size() ||
      !WriteUploadPiece(path, h->offset, data, last, kPictureMaxBytes)) {
    return BuildLinkFailureReply(r, reply);
  }
  part = last ? std::string() : path + kUploadPartSuffix;
  BeginSuccessReply(r, reply);
}

void BuildDataRootChunk(LinkRequest& r, LinkFrameBuilder& reply) {
  auto h = ParseChunkHeader(r.frame, 6);
  if (!h || r.services.settings == nullptr) return BuildLinkFailureReply(r, reply);
  auto name = SafeWireName(h->name, kDataRootDepth);
  if (!name || h->length > MaxReplyData(kDataRootChunkOffset)) {
    return BuildLinkFailureReply(r, reply);
  }
  // Only the files a console reads from here, from the folder of a map.
  auto isMapFolder = [&r](std::string_view folder) {
    if (r.services.maps && folder == r.services.maps->currentMapName()) return true;
    return IsSafeName(folder) &&
           FindNoCase(r.services.installDir, std::string(folder) + std::string(kMapExtension));
  };
  if (!IsDataRootFileName(*name, isMapFolder)) return BuildLinkFailureReply(r, reply);
  const std::string path = ResolveUnder(r.services.settings->historyDirectory, *name);
  std::optional<std::vector<uint8_t>> data;
  if (r.services.eventLog != nullptr) {
    // Event.log lies here: read it between two writes, never during one.
    std::lock_guard<std::mutex> busy(r.services.eventLog->busy());
    data = ReadFileChunk(path, h->offset, h->length);
  } else {
    data = ReadFileChunk(path, h->offset, h->length);
  }
  if (!data) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
  FileChunkHeader echo = *h;
  echo.length = static_cast<uint32_t>(data->size());
  uint8_t head[kFileChunkHeaderSize] = {};
  PutChunkHeader(Bytes(head), 0, echo);
  reply.putBytes(CBytes(head));
  reply.putBytes(*data);
}

}  // namespace lark
