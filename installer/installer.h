// Larkinstall: copies the programs and data named by the manifest beside it
// into the service's folder, creates the account, writes the key store's
// Main/Path and a systemd unit, and enables and starts the service; or takes
// the service and its programs away again.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

inline constexpr const char* kManifestName = "Larkinstall.manifest";
inline constexpr const char* kUnitTemplateName = "larkcore.service";
inline constexpr const char* kServiceAccount = "larkcore";

struct InstallerArgs {
  bool install = false;  // else uninstall
  std::string program;   // absolute; its folder is the install folder
  std::string serviceName;
  std::string displayName;
  std::string root;  // everything is written under it; empty = /
  bool noSystemd = false;
};

// Parses argv after the program name; nullopt with `error` set when bad.
std::optional<InstallerArgs> ParseInstallerArgs(const std::vector<std::string>& args,
                                                std::string* error);

// One installed file: what it is, its mode, its name in the install folder
// and where it comes from (relative = beside the manifest).
struct ManifestEntry {
  enum Kind { kProgram, kData, kFile } kind;
  unsigned mode;
  std::string name;
  std::string source;
};
// Lines "<program|data|file>\t<octal mode>\t<name>\t<source>"; nullopt on a bad line.
std::optional<std::vector<ManifestEntry>> ParseManifest(std::string_view text);

// systemd's quoting of one ExecStart word.
std::string QuoteExecWord(std::string_view word);
// The unit from its template for an install folder.
std::string UnitText(std::string_view templ, const InstallerArgs& args,
                     const std::vector<std::string>& extraWritable);
// Absolute folders outside `folder` that manager.ini's folder keys name.
std::vector<std::string> FoldersNamedOutside(const std::string& managerIni,
                                             const std::string& folder);

// Runs the installer; the exit code (0 done, 1 failed with a message on stderr).
int RunInstaller(const std::vector<std::string>& args, const std::string& selfDir);

}  // namespace lark
