// A one-month period report of SNMP devices from their month files, against
// awk computing the same per-column minimum, maximum and mean over the same
// files in the same run. Prints the median of each and their ratio.
//
//   report_bench [--devices N] [--period S] [--runs R]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/device_node.h"
#include "core/history_family.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "records/report_writer.h"

namespace {

using Steady = std::chrono::steady_clock;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

template <class F>
double TimeMs(F&& f) {
  const auto t0 = Steady::now();
  f();
  return std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
}

// Per file, per value column: minimum, maximum and mean, as the report's
// statistics do (values below 0 are no value; a lost-link line is skipped).
constexpr const char* kAwk =
    "FNR == 1 { if (NR > 1) out(); delete mn; delete mx; delete sum; delete n; next }\n"
    "$5 >= 10000 { next }\n"
    "{ for (i = 5; i <= NF; i++) if ($i != \"\" && $i >= 0) { x = $i / 10;\n"
    "    if (!(i in n) || x < mn[i]) mn[i] = x; if (!(i in n) || x > mx[i]) mx[i] = x;\n"
    "    sum[i] += x; n[i]++ } }\n"
    "function out() { for (i in n) printf \"%d %.1f %.1f %.1f\\n\", i, sum[i] / n[i], mx[i], "
    "mn[i] > \"/dev/null\" }\n"
    "END { out() }\n";

}  // namespace

int main(int argc, char** argv) {
  int devices = 100, period = 300, runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--devices")) devices = atoi(argv[i + 1]);
    if (!strcmp(argv[i], "--period")) period = atoi(argv[i + 1]);
    if (!strcmp(argv[i], "--runs")) runs = atoi(argv[i + 1]);
  }
  if (devices < 1 || period < 1 || runs < 1) {
    fprintf(stderr, "usage: report_bench [--devices N] [--period S] [--runs R]\n");
    return 2;
  }
  char tmpl[] = "/tmp/lark-report-bench-XXXXXX";
  const char* d = mkdtemp(tmpl);
  if (d == nullptr) return 1;
  const std::string dir = d;

  lark::ReportJob job;
  job.period = {{2024, 1, 1}, {2024, 1, 31}};
  job.reportDir = dir + "/Report";
  lark::MakeDirs(job.reportDir);
  job.rootTitle = "Bench";
  job.historyDir = dir + "/History";
  job.mapName = "Map";
  std::vector<std::string> files;
  const lark::HistoryLayout layout = lark::HistoryLayoutOf(lark::kNodeSnmp, 0, lark::kMibMakerUps);
  for (int i = 0; i < devices; ++i) {
    const lark::ReportDevice dev{static_cast<int16_t>(i + 1), "UPS " + std::to_string(i + 1),
                                 lark::kNodeSnmp, 0, lark::kMibMakerUps};
    job.devices.push_back(dev);
    const std::string path =
        lark::HistoryMonthFilePath(job.historyDir, job.mapName, dev.id, 2024, 1, layout);
    lark::MakeDirs(std::filesystem::path(path).parent_path().string());
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return 1;
    fputs("2\r\n", f);
    unsigned seed = static_cast<unsigned>(i) * 2654435761u;
    for (int t = 0; t < 31 * 86400; t += period) {
      fprintf(f, "%d\t%d\t%d\t%d", t / 86400 + 1, t / 3600 % 24, t / 60 % 60, t % 60);
      for (int v = 0; v < 48; ++v) {
        seed = seed * 1103515245u + 12345u;
        if (v >= 40) {
          fputs("\t-1", f);
        } else {
          fprintf(f, "\t%u", 1000 + (seed >> 16) % 2000);
        }
      }
      fputs("\r\n", f);
    }
    fclose(f);
    files.push_back(path);
  }

  std::vector<double> reportMs, awkMs;
  std::atomic<bool> stop{false};
  lark::ReportDatabase none;
  std::vector<std::string> awk = {"awk", "-F", "\t", kAwk};
  awk.insert(awk.end(), files.begin(), files.end());
  for (int r = 0; r < runs; ++r) {
    reportMs.push_back(TimeMs([&] { lark::WritePeriodReport(job, none, stop); }));
    awkMs.push_back(TimeMs([&] {
      const pid_t pid = lark::Spawn(awk);
      int status = 0;
      if (pid > 0) waitpid(pid, &status, 0);
    }));
  }
  const double report = Median(reportMs), peer = Median(awkMs);
  printf("one-month report, %d SNMP devices, a sample every %d s: %.1f ms\n", devices, period,
         report);
  printf("awk per-column minimum, maximum and mean, same files: %.1f ms\n", peer);
  printf("ratio report / awk: %.2f\n", peer > 0 ? report / peer : 0.0);
  std::filesystem::remove_all(dir);
  return 0;
}
