// Install folder, case-insensitive file lookup and safe names.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lark {

class KeyStore;

// Key store Main/Path, else LARK_INSTALL_DIR, else the executable's folder.
std::string InstallDir(const KeyStore& keys);
// Folder of the running executable.
std::string ExecutableDir();

// Turns every '\' into '/'.
std::string ToSlash(std::string_view path);
// Joins with exactly one '/'.
std::string JoinPath(std::string_view dir, std::string_view name);

// Finds `name` in `dir` comparing without case; the exact name wins. Returns
// the full path of the existing entry, or nullopt.
std::optional<std::string> FindNoCase(std::string_view dir, std::string_view name);
// The existing entry's path when found without case, else dir/name.
std::string ResolveNoCase(std::string_view dir, std::string_view name);

// A single file name: not empty, no '/', '\', ':' drive prefix, "." or "..",
// no control characters, at most `maxLen` bytes.
bool IsSafeName(std::string_view name, size_t maxLen = 255);
// A title (a device's, a group's) as a file name: '/', '\', control
// characters and a leading '.' become '_'; an empty title is "_".
std::string ReportFileTitle(std::string_view title);

// A sound file named by an alarm row or an Audio value, in the language
// folder: '\' is '/', absolute paths, drive prefixes, ".." and control
// characters are refused, names are found without case; nullopt when refused
// or missing.
std::optional<std::string> SoundFilePath(const std::string& languageDir, std::string_view entry);

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Bytes an unprivileged writer may still use on the disk of `path`.
std::optional<uint64_t> FreeSpace(const std::string& path);
// Creates the folder and its missing parents (new ones get `mode`).
bool MakeDirs(const std::string& path, unsigned mode = 0755);
// Opens `path` (open(2) `flags`; O_CREAT makes it with `mode`) only as a
// regular file: a symbolic link at its last part is not followed (as one
// planted in a folder others can write), and a FIFO or device is refused.
// O_TRUNC empties the file only once it has passed. -1 otherwise (errno ELOOP for a link, EPERM
// for another kind of file).
int OpenRegularFile(const std::string& path, int flags, unsigned mode = 0644);
// The same, making the missing folders first when `makeFolders`. Below a
// trusted root (platform/folder_walk.h) no folder on the way is a link.
int OpenRegularFileIn(const std::string& path, int flags, unsigned mode, bool makeFolders);
// Removes the file `path` the same way (its folders never through a link).
bool RemoveRegularFile(const std::string& path);
// The same as a stdio stream: "rb", "wb" (made or emptied) or "ab".
FILE* OpenRegularStream(const std::string& path, const char* how);
// Reads a whole file; nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);
// The same through OpenRegularFile.
std::optional<std::string> ReadRegularFile(const std::string& path);
// Writes all of `data` to `fd`, going on after short writes and EINTR.
bool WriteAll(int fd, std::string_view data);
// Writes a whole file through a temp file in the same folder and rename.
// The temp file is synced before the rename and the folder after it, so a
// crash leaves the old or the new file whole; an existing file keeps its mode.
bool WriteFileAtomic(const std::string& path, std::string_view data);
// The same, calling `beforeRename` (when set) after the temp file is synced;
// false from it abandons the write and leaves the old file.
bool WriteFileAtomic(const std::string& path, std::string_view data,
                     const std::function<bool()>& beforeRename);
// The same with the new file's mode and group set explicitly (a group of -1
// is left as created), whatever the old file had.
bool WriteFileAtomic(const std::string& path, std::string_view data,
                     const std::function<bool()>& beforeRename, int forcedMode, gid_t group);
// Whether `name` is a temp file name WriteFileAtomic makes (".<file>.tmp-XXXXXX").
bool IsAtomicWriteTempName(std::string_view name);
// Removes the temp files a killed WriteFileAtomic left in `dir` (regular
// files of that name shape only); returns how many went.
int RemoveStaleTempFiles(const std::string& dir);

}  // namespace lark
