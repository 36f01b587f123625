// Folders below a trusted root, reached one name at a time.
//
// The service writes, often as root, into folders others may write in too (a
// history folder on a shared sticky folder, say). A link planted in place of
// any folder below such a root would take its files elsewhere, and O_NOFOLLOW
// guards only a path's last part. So below a trusted root each folder is
// opened from its parent with O_NOFOLLOW | O_DIRECTORY, a missing one made
// with mkdirat, and the file itself is opened from the last of them. The root
// is taken as configured. A path under no trusted root is opened as it
// stands (its last part still never through a link).
//
// Threads: every function here may be called from any thread.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace lark {

// The trusted roots (the install folder, the history folder, the backup
// folders); replaces the set given before. The deepest root above a path is
// the one it is walked from.
void SetTrustedRoots(std::vector<std::string> roots);

// Told the path up to a link met below a trusted root (a folder, or a file
// opened as a plain file), on the thread that met it, which may hold a lock
// of the caller's: the hook must not block or open files itself.
void SetLinkRefusedHook(std::function<void(const std::string& link)> hook);

// Opens the folder `dir` (O_DIRECTORY, close-on-exec). Below a trusted root
// no link is followed and "." or ".." parts are refused; missing folders are
// made with `mode` when `make` (the root itself too, as it stands). -1 with
// errno ELOOP when a link stands in the way, ENOTDIR for another kind of file.
int OpenFolder(const std::string& dir, bool make, unsigned mode = 0755);

// The trusted root `path` lies under ("" for none).
std::string TrustedRootOf(const std::string& path);

// Called by the file openers when a file below a trusted root was refused as
// a link: the hook is told.
void NoteLinkRefused(const std::string& link);

}  // namespace lark
