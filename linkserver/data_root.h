// What a console may do with the data root (the history folder): the folder
// it may set over the link, and the files it may download from it.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lark {

// Why `dir` cannot be the history folder set by a console, or nullopt when it
// can: it must be an absolute path to an existing directory the service can
// write, with no symbolic link on the way, not writable by others unless
// sticky, and outside the system's own folders (the service's state folder
// `stateDir` excepted). `dir` carries '/'.
std::optional<std::string> HistoryDirectoryProblem(const std::string& dir,
                                                   const std::string& stateDir);

// Why `dir` cannot be a database backup folder set by a console, or nullopt
// when it can: the rule of the history folder, applied to the nearest folder
// that exists when the rest is still to be made (plain names only, made at
// the first backup).
std::optional<std::string> BackupDirectoryProblem(const std::string& dir,
                                                  const std::string& stateDir);

struct ServiceSettings;
// Makes the folders the service writes below, as configured, its trusted
// roots (platform/folder_walk.h): the install folder, the history folder and
// the backup folders. Called whenever one of them may have changed.
void TrustSettingsFolders(const ServiceSettings& s, const std::string& installDir);

// The file kinds a console downloads from the data root, as a relative path
// with '/' (already checked part by part by SafeWireName): the map folder,
// then Event.log, an accumulator file ("AccInverter_<id>.DAT",
// "AccSensor_<id>.DAT") or a month file ("<id>/<year>/<month>.DAT"), each
// of the last two also with its ".txt" twin. `isMapFolder` says whether the
// first part names one of the maps.
bool IsDataRootFileName(std::string_view path,
                        const std::function<bool(std::string_view)>& isMapFolder);

}  // namespace lark
