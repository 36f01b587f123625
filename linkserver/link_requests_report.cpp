// Command 22 sub 2: a period report. The two SYSTEMTIME records at bytes 6
// and 22 give the period; it must be real dates, the first not after the
// second, at most ten years apart. The Report folder of the install folder
// is made, then the report starts on its own thread. A bad period, a folder
// that cannot be made or a report already running answer 44.
#include "core/report_period.h"
#include "linkserver/link_requests.h"
#include "platform/paths.h"

namespace lark {

namespace {
constexpr size_t kFromOff = 6;
constexpr size_t kToOff = kFromOff + kSystemTimeSize;
}  // namespace

void HandleReportRequest(LinkRequest& r, LinkFrameBuilder& reply) {
  CBytes dates = r.frame.slice(kFromOff, 2 * kSystemTimeSize);
  if (dates.empty() || !r.services.startReport || r.services.installDir.empty())
    return BuildLinkFailureReply(r, reply);
  const ReportPeriod period{ReportDateAt(dates, 0), ReportDateAt(dates, kToOff - kFromOff)};
  if (!IsValidReportPeriod(period)) return BuildLinkFailureReply(r, reply);
  if (!MakeDirs(JoinPath(ToSlash(r.services.installDir), "Report")))
    return BuildLinkFailureReply(r, reply);
  if (!r.services.startReport(period)) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
}

}  // namespace lark
