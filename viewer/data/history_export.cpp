#include "viewer/data/history_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/paths.h"

namespace lark {

namespace {

void AppendTenths(std::string& out, int32_t v) {
  char buf[24];
  const int64_t w = v;
  const int64_t a = w < 0 ? -w : w;
  std::snprintf(buf, sizeof buf, "%s%lld.%lld", w < 0 ? "-" : "", static_cast<long long>(a / 10),
                static_cast<long long>(a % 10));
  out += buf;
}

}  // namespace

std::string ExportMonthText(const MonthData& m, const ParamTables& titles, int year, int month) {
  const int count = std::min(m.layout.valueCount, kMaxHistoryValues);
  const ParamTable& table = titles.table(TitleFamilyOf(m.layout));
  const bool meter = m.layout.family == "meter" || m.layout.family == "metergrp";
  std::string out = "Date\tTime\t";
  for (int i = 0; i < count; ++i) {
    out += table.title(static_cast<size_t>(i));
    out += i + 1 < count ? "\t" : "\r\n";
  }
  if (count == 0) out += "\r\n";
  char head[64];
  for (const PlotSample& s : m.samples) {
    if (s.linkLost()) continue;
    std::snprintf(head, sizeof head, "%04d-%02d-%02d\t%d:%d:%d\t", year, month, s.day, s.hour,
                  s.minute, s.second);
    out += head;
    for (int i = 0; i < count; ++i) {
      const int32_t v = s.values[static_cast<size_t>(i)];
      if (v == -1)
        out += ' ';
      else if (meter && (i == 1 || i == 2))
        out += std::to_string(v);
      else
        AppendTenths(out, v);
      out += i + 1 < count ? "\t" : "\r\n";
    }
  }
  return out;
}

std::string ExportMonth(const MonthData& m, const ParamTables& titles, int year, int month,
                        const std::string& outPath) {
  if (!m.opened) return "Cannot open the file " + m.path;
  const bool xls =
      outPath.find(".xls") != std::string::npos || outPath.find(".XLS") != std::string::npos;
  const int fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return "Cannot open the file " + outPath;
  bool ok = !xls || WriteAll(fd, ExportMonthText(m, titles, year, month));
  ok = ::close(fd) == 0 && ok;
  return ok ? "" : "Cannot write the file " + outPath;
}

}  // namespace lark
