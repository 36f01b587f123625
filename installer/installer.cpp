#include "installer/installer.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "platform/key_store.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace lark {

namespace {

// The pieces of `s` between each `sep` (an empty `s` gives one empty piece).
std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  for (size_t p = 0, q; p <= s.size(); p = q + 1) {
    q = s.find(sep, p);
    if (q == std::string_view::npos) q = s.size();
    parts.push_back(s.substr(p, q - p));
  }
  return parts;
}

bool HasControl(std::string_view s) {
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return true;
  }
  return false;
}

bool IsUnitName(std::string_view s) {
  if (s.empty() || s.size() > 200) return false;
  for (char c : s) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '.' || c == '@' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::string Folder(const std::string& program) {
  size_t slash = program.rfind('/');
  return slash == 0 ? "/" : program.substr(0, slash);
}

std::string Under(const std::string& root, const std::string& path) {
  return root.empty() ? path : JoinPath(root, path);
}

std::string UnitPath(const InstallerArgs& a) {
  return Under(a.root, "/etc/systemd/system/" + a.serviceName + ".service");
}

std::string Percents(std::string_view s) {
  std::string out;
  for (char c : s) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
  for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
    s.replace(at, from.size(), to);
}

int Run(const std::vector<std::string>& argv) {
  pid_t pid = Spawn(argv);
  if (pid < 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "Larkinstall: %s\n", message.c_str());
  return 1;
}

struct Account {
  uid_t uid;
  gid_t gid;
};

// The service's account as the target system knows it: the running system's
// or, under another root, that root's own files.
std::optional<Account> LookupAccount(const std::string& root) {
  if (root.empty()) {
    passwd* pw = getpwnam(kServiceAccount);
    group* gr = getgrnam(kServiceAccount);
    if (pw == nullptr || gr == nullptr) return std::nullopt;
    return Account{pw->pw_uid, gr->gr_gid};
  }
  auto field = [](const std::string& file, int index) -> std::optional<unsigned> {
    auto text = ReadFile(file);
    if (!text) return std::nullopt;
    for (std::string_view line : Split(*text, '\n')) {
      auto parts = Split(line, ':');
      if (parts.size() > static_cast<size_t>(index) && parts[0] == kServiceAccount) {
        return static_cast<unsigned>(std::strtoul(std::string(parts[index]).c_str(), nullptr, 10));
      }
    }
    return std::nullopt;
  };
  auto uid = field(JoinPath(root, "etc/passwd"), 2);
  auto gid = field(JoinPath(root, "etc/group"), 2);
  if (!uid || !gid) return std::nullopt;
  return Account{*uid, *gid};
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::optional<std::vector<ManifestEntry>> LoadManifest(const std::string& dir, std::string* error) {
  std::string path = JoinPath(dir, kManifestName);
  auto text = ReadFile(path);
  if (!text) {
    *error = "cannot read " + path;
    return std::nullopt;
  }
  auto entries = ParseManifest(*text);
  if (!entries) *error = "bad manifest " + path;
  return entries;
}

int Install(const InstallerArgs& a, const std::string& selfDir) {
  std::string error;
  auto manifest = LoadManifest(selfDir, &error);
  if (!manifest) return Fail(error);
  const std::string folder = Folder(a.program);
  const std::string dest = Under(a.root, folder);

  std::optional<Account> account;
  if (!a.noSystemd) {
    if (geteuid() != 0) return Fail("installing a service needs root (or --no-systemd)");
    account = LookupAccount(a.root);
    if (!account) {
      if (Run({"adduser", "--system", "--group", "--home", kSystemStateDir, "--no-create-home",
               kServiceAccount}) != 0) {
        return Fail("adduser could not create the account larkcore");
      }
      account = LookupAccount(a.root);
      if (!account) return Fail("the account larkcore is still missing after adduser");
    }
  }

  if (!MakeDirs(dest, 0755)) return Fail("cannot create " + dest);
  for (const ManifestEntry& e : *manifest) {
    std::string src = e.source.front() == '/' ? e.source : JoinPath(selfDir, e.source);
    std::string dst = JoinPath(dest, e.name);
    if (!MakeDirs(dst.substr(0, dst.rfind('/')), 0755))
      return Fail("cannot create a folder for " + dst);
    // Settings, maps and language tables someone may have edited stay.
    bool keep = e.kind == ManifestEntry::kData && FileExists(dst);
    if (!keep && !SameFile(src, dst)) {
      auto bytes = ReadFile(src);
      if (!bytes) return Fail("cannot read " + src);
      if (!WriteFileAtomic(dst, *bytes, nullptr, static_cast<int>(e.mode),
                           static_cast<gid_t>(-1))) {
        return Fail("cannot write " + dst);
      }
    } else if (!keep && chmod(dst.c_str(), e.mode) != 0) {
      return Fail("cannot set the mode of " + dst);
    }
    if (account) {
      // The programs are root's, so the service cannot change what it runs.
      bool data = e.kind == ManifestEntry::kData;
      if (chown(dst.c_str(), data ? account->uid : 0, data ? account->gid : 0) != 0) {
        return Fail("cannot set the owner of " + dst);
      }
    }
  }
  if (account && (chown(dest.c_str(), 0, account->gid) != 0 || chmod(dest.c_str(), 01775) != 0)) {
    return Fail("cannot set the owner of " + dest);
  }

  KeyStore keys(Under(a.root, kSystemStateDir));
  if (!keys.write("Main", "Path", folder)) return Fail("cannot write Main/Path in " + keys.dir());

  const std::string unitPath = UnitPath(a);
  if (!FileExists(unitPath)) {
    auto templ = ReadFile(JoinPath(dest, kUnitTemplateName));
    if (!templ) return Fail("cannot read the unit template in " + dest);
    std::string unitDir = unitPath.substr(0, unitPath.rfind('/'));
    std::vector<std::string> writable =
        FoldersNamedOutside(ResolveNoCase(dest, "manager.ini"), folder);
    if (!MakeDirs(unitDir, 0755) || !WriteFileAtomic(unitPath, UnitText(*templ, a, writable),
                                                     nullptr, 0644, static_cast<gid_t>(-1))) {
      return Fail("cannot write " + unitPath);
    }
  } else {
    std::fprintf(stderr, "Larkinstall: %s exists and is left as it is\n", unitPath.c_str());
  }

  if (a.noSystemd) return 0;
  if (Run({"systemctl", "daemon-reload"}) != 0) return Fail("systemctl daemon-reload failed");
  if (Run({"systemctl", "enable", a.serviceName}) != 0) {
    return Fail("systemctl enable " + a.serviceName + " failed");
  }
  if (Run({"systemctl", "start", a.serviceName}) != 0) {
    return Fail("the service " + a.serviceName +
                " is installed but did not start; see journalctl -u " + a.serviceName);
  }
  return 0;
}

std::string InstallDirOfUnit(const std::string& unitPath) {
  auto text = ReadFile(unitPath);
  if (!text) return {};
  constexpr std::string_view kKey = "LARK_INSTALL_DIR=";
  size_t at = text->find(kKey);
  if (at == std::string::npos) return {};
  size_t end = text->find_first_of("\"\r\n", at);
  return text->substr(at + kKey.size(), end - at - kKey.size());
}

int Uninstall(const InstallerArgs& a, const std::string& selfDir) {
  if (!a.noSystemd && geteuid() != 0)
    return Fail("removing a service needs root (or --no-systemd)");
  const std::string unitPath = UnitPath(a);
  std::string folder = InstallDirOfUnit(unitPath);
  if (folder.empty()) {
    folder = ToSlash(KeyStore(Under(a.root, kSystemStateDir)).read("Main", "Path").value_or(""));
  }
  bool ok = true;
  if (!a.noSystemd && FileExists(unitPath) &&
      Run({"systemctl", "disable", "--now", a.serviceName}) != 0) {
    ok = Fail("systemctl disable --now " + a.serviceName + " failed");
  }
  if (FileExists(unitPath) && unlink(unitPath.c_str()) != 0) ok = Fail("cannot remove " + unitPath);
  if (!a.noSystemd && Run({"systemctl", "daemon-reload"}) != 0) {
    ok = Fail("systemctl daemon-reload failed");
  }
  if (folder.empty()) return ok ? 0 : 1;
  const std::string dest = Under(a.root, folder);
  std::string error;
  auto manifest = LoadManifest(dest, &error);
  if (!manifest) manifest = LoadManifest(selfDir, &error);
  if (!manifest) return Fail(error);
  for (const ManifestEntry& e : *manifest) {
    if (e.kind == ManifestEntry::kData) continue;
    std::string path = JoinPath(dest, e.name);
    if (FileExists(path) && unlink(path.c_str()) != 0) ok = Fail("cannot remove " + path);
  }
  std::fprintf(stderr,
               "Larkinstall: kept %s (settings, maps, history, language tables) and the key "
               "store in %s\n",
               dest.c_str(), Under(a.root, kSystemStateDir).c_str());
  return ok ? 0 : 1;
}

}  // namespace

std::optional<InstallerArgs> ParseInstallerArgs(const std::vector<std::string>& args,
                                                std::string* error) {
  InstallerArgs a;
  std::vector<std::string> words;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--no-systemd") {
      a.noSystemd = true;
    } else if (args[i] == "--root") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "--root needs a folder";
        return std::nullopt;
      }
      a.root = args[++i];
    } else {
      words.push_back(args[i]);
    }
  }
  const std::string verb = words.empty() ? "" : words[0];
  if (EqualNoCase(verb, "install") && words.size() == 4) {
    a.install = true;
    a.program = words[1];
    a.serviceName = words[2];
    a.displayName = words[3];
  } else if (EqualNoCase(verb, "uninstall") && words.size() == 2) {
    a.serviceName = words[1];
  } else {
    *error =
        "usage: Larkinstall install <program> <service name> <display name> [--root DIR] "
        "[--no-systemd]\n       Larkinstall uninstall <service name> [--root DIR] [--no-systemd]";
    return std::nullopt;
  }
  if (!IsUnitName(a.serviceName)) {
    *error = "a service name is made of letters, digits and _ . @ -";
    return std::nullopt;
  }
  if (a.install) {
    if (a.program.size() < 2 || a.program.front() != '/' || a.program.back() == '/' ||
        HasControl(a.program) || Folder(a.program) == "/") {
      *error = "the program must be an absolute path to a file in its install folder";
      return std::nullopt;
    }
    if (a.displayName.empty() || HasControl(a.displayName)) {
      *error = "the display name must not be empty or hold control characters";
      return std::nullopt;
    }
  }
  return a;
}

std::optional<std::vector<ManifestEntry>> ParseManifest(std::string_view text) {
  std::vector<ManifestEntry> entries;
  for (std::string_view line : Split(text, '\n')) {
    if (line.empty()) continue;
    std::vector<std::string> f;
    for (std::string_view field : Split(line, '\t')) f.emplace_back(field);
    if (f.size() != 4 || f[3].empty()) return std::nullopt;
    ManifestEntry e;
    if (f[0] == "program") {
      e.kind = ManifestEntry::kProgram;
    } else if (f[0] == "data") {
      e.kind = ManifestEntry::kData;
    } else if (f[0] == "file") {
      e.kind = ManifestEntry::kFile;
    } else {
      return std::nullopt;
    }
    char* endp = nullptr;
    e.mode = static_cast<unsigned>(std::strtoul(f[1].c_str(), &endp, 8));
    if (f[1].empty() || *endp != '\0' || e.mode > 0777) return std::nullopt;
    // Names stay inside the install folder.
    for (std::string_view part : Split(f[2], '/')) {
      if (!IsSafeName(part)) return std::nullopt;
    }
    e.name = f[2];
    e.source = f[3];
    entries.push_back(std::move(e));
  }
  return entries;
}

std::string QuoteExecWord(std::string_view word) {
  std::string out = "\"";
  for (char c : word) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    if (c == '$') out += '$';
    out += c;
  }
  return out + "\"";
}

std::string UnitText(std::string_view templ, const InstallerArgs& args,
                     const std::vector<std::string>& extraWritable) {
  const std::string folder = Folder(args.program);
  std::string paths = QuoteExecWord(folder);
  for (const std::string& p : extraWritable) paths += " " + QuoteExecWord(p);
  // ReadWritePaths= and Environment= take no "$" expansion, so only '%' doubles there.
  ReplaceAll(paths, "$$", "$");
  std::string env = QuoteExecWord("LARK_INSTALL_DIR=" + folder);
  ReplaceAll(env, "$$", "$");
  std::string unit(templ);
  ReplaceAll(unit, "@DESCRIPTION@", Percents(args.displayName));
  ReplaceAll(unit, "@EXEC_START@", QuoteExecWord(args.program));
  ReplaceAll(unit, "@INSTALL_DIR_ENV@", env);
  ReplaceAll(unit, "@READ_WRITE_PATHS@", paths);
  return unit;
}

std::vector<std::string> FoldersNamedOutside(const std::string& managerIni,
                                             const std::string& folder) {
  std::vector<std::string> out;
  if (!FileExists(managerIni)) return out;
  const std::pair<const char*, const char*> keys[] = {{"History", "Directory"},
                                                      {"Backup", "UPSLog.Directory"},
                                                      {"Backup", "OPLog.Directory"},
                                                      {"Backup", "History.Directory"}};
  for (const auto& [section, key] : keys) {
    std::string v = ToSlash(ReadProfileString(managerIni, section, key, "", 260));
    while (v.size() > 1 && v.back() == '/') v.pop_back();
    if (v.empty() || v.front() != '/' || HasControl(v)) continue;
    if (v == folder || v.rfind(folder + "/", 0) == 0) continue;
    if (std::find(out.begin(), out.end(), v) == out.end()) out.push_back(v);
  }
  return out;
}

int RunInstaller(const std::vector<std::string>& args, const std::string& selfDir) {
  std::string error;
  auto a = ParseInstallerArgs(args, &error);
  if (!a) return Fail(error);
  return a->install ? Install(*a, selfDir) : Uninstall(*a, selfDir);
}

}  // namespace lark
