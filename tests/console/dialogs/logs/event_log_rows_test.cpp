// The Event Log dialog's rows: Event.log lines read whole and filtered by
// number and day, database rows of both modes, the query text the service
// accepts, and the exported text.
#include "console/dialogs/logs/event_log_rows.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

std::optional<std::string> Titles(int32_t id) {
  if (id == 2) return "UPS 1";
  if (id == 5) return "Three-phase UPS";
  return std::nullopt;
}

EventLogChoice Choice(EventLogSource source, int32_t device = -1) {
  return {source, device, {2026, 3, 10}, {2026, 3, 12}};
}

EventLogRow Row(std::string a, std::string b, std::string c, std::string d, std::string e,
                int image) {
  return {{std::move(a), std::move(b), std::move(c), std::move(d), std::move(e)}, image};
}

const std::string kLongText(300, 'L');  // longer than the 255 characters a line once had

// CRLF and LF lines, one 300-character text, lines before, inside and after
// the range, and what follows the first line after the range.
const std::string kFile =
    "2\t2026/03/09\t23:59:59\tSerious\t4\tbefore the range\r\n"
    "0\t2026/03/10\t00:00:00\tInformation\t1000\tService started\r\n"
    "2\t2026/03/10\t08:15:00\tSERIOUS\t4\tUtility failure\r\n"
    "no date here\r\n"
    "5\t2026-03-11\t09:00:00\tWarning\t6\tdashes, not slashes\n"
    "5\t2026/03/11\t09:00:01\tWarning\t6\t" +
    kLongText +
    "\n"
    "9\t2026/03/12\t23:59:59\tOdd\t7\tunknown node\twith a tab\t\r\n"
    "2\t2026/03/13\t00:00:00\tWarning\t8\tafter the range\r\n"
    "2\t2026/03/11\t10:00:00\tWarning\t8\tpast the first line after the range\r\n"
    "2\t2026/03/11\t10:00:01\tWarning\t8\ttorn";

TEST(EventLogRows, FileLinesOfTheRangeAndTheDevice) {
  struct Case {
    const char* name;
    EventLogChoice choice;
    std::vector<EventLogRow> rows;
  };
  const EventLogRow system =
      Row("System", "2026/03/10", "00:00:00", "Information", "Service started", 2);
  const EventLogRow failure =
      Row("UPS 1", "2026/03/10", "08:15:00", "SERIOUS", "Utility failure", 0);
  const EventLogRow long_ =
      Row("Three-phase UPS", "2026/03/11", "09:00:01", "Warning", kLongText, 1);
  const EventLogRow unknown =
      Row("", "2026/03/12", "23:59:59", "Odd", "unknown node with a tab", 3);
  const Case cases[] = {
      {"all", Choice(EventLogSource::kAll), {system, failure, long_, unknown}},
      {"one device: its own lines, not the service's",
       Choice(EventLogSource::kDevice, 2),
       {failure}},
      {"another device", Choice(EventLogSource::kDevice, 5), {long_}},
      {"a device without lines", Choice(EventLogSource::kDevice, 7), {}},
      {"an empty range", {EventLogSource::kAll, -1, {2026, 3, 12}, {2026, 3, 11}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EventLogFileRows(kFile, c.choice, Titles), c.rows);
  }
  EXPECT_TRUE(EventLogFileRows("", Choice(EventLogSource::kAll), Titles).empty());
}

TEST(EventLogRows, DatabaseRowsOfBothModes) {
  const std::string events =
      "2\t2026-03-10 08:15:00.123\t0\t4\tUtility failure\n"
      "0\t2026-03-10 09:00:00\t2\t1000\tService started\n"
      "5\t2026-03-11 10:00:00.5\t1\t6\tOverload\n"
      "7\t2026-03-11 11:00:00\t3\t6\tlevel out of range\n"
      "\n"
      "2\t2026-03-12 12:00:00\tx\t6\tlast row without a line end";
  const std::vector<EventLogRow> eventRows = {
      Row("UPS 1", "2026-03-10", "08:15:00", "Serious", "Utility failure", 0),
      Row("System", "2026-03-10", "09:00:00", "Information", "Service started", 2),
      Row("Three-phase UPS", "2026-03-11", "10:00:00", "Warning", "Overload", 1),
      Row("", "2026-03-11", "11:00:00", "", "level out of range", 3),
      Row("UPS 1", "2026-03-12", "12:00:00", "", "last row without a line end", 3),
  };
  EXPECT_EQ(EventLogDatabaseRows(events, false, Titles), eventRows);

  const std::string operations =
      "admin\t2026-03-10 08:00:00.000\t1\tLogin\r\n"
      "guest\t2026-03-10 08:01:00\t0\tOpen Event Log\n";
  const std::vector<EventLogRow> opRows = {
      Row("admin", "2026-03-10", "08:00:00", "Modify", "Login", 1),
      Row("guest", "2026-03-10", "08:01:00", "Information", "Open Event Log", 2),
  };
  EXPECT_EQ(EventLogDatabaseRows(operations, true, Titles), opRows);
  EXPECT_TRUE(EventLogDatabaseRows("", false, Titles).empty());
}

// Rows of a few bytes filling the 5 MB answer, or a day of Event.log: the
// list keeps kEventRowsMax of them and counts the rest.
TEST(EventLogRows, RowsAreBoundedAndTheRestCounted) {
  const std::string row = "2\t\t0\n";
  std::string shortest;
  size_t rows = 0;
  for (; shortest.size() + row.size() <= kResultTextMax; ++rows) shortest += row;
  size_t beyond = 0;
  EXPECT_EQ(EventLogDatabaseRows(shortest, false, Titles, &beyond).size(), kEventRowsMax);
  EXPECT_EQ(beyond, rows - kEventRowsMax);
  std::string file;
  for (size_t i = 0; i < kEventRowsMax + 7; ++i)
    file += "2\t2026/03/10\t08:15:00\tSerious\t4\tx\r\n";
  EXPECT_EQ(EventLogFileRows(file, Choice(EventLogSource::kAll), Titles, &beyond).size(),
            kEventRowsMax);
  EXPECT_EQ(beyond, 7u);
}

TEST(EventLogRows, QueryTextsHaveTheShapeTheServiceAccepts) {
  const struct {
    EventLogChoice choice;
    ConsoleClause kind;
    const char* text;
  } cases[] = {
      {Choice(EventLogSource::kOperations), ConsoleClause::kOpLog,
       "where occurdt between '2026-03-10 00:00:00' and '2026-03-12 23:59:59' order by occurdt "
       "asc"},
      {Choice(EventLogSource::kAll), ConsoleClause::kEvents,
       "where occurdt between '2026-03-10 00:00:00' and '2026-03-12 23:59:59' order by occurdt "
       "asc"},
      {Choice(EventLogSource::kDevice, 12345), ConsoleClause::kEvents,
       "where ups_id=12345 and occurdt between '2026-03-10 00:00:00' and '2026-03-12 23:59:59' "
       "order by "
       "occurdt asc"},
  };
  for (const auto& c : cases) {
    const std::string text = EventLogQueryText(c.choice);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(ParseConsoleClause(text + '\0', c.kind), text);
  }
}

TEST(EventLogRows, ExportNumbersRowsFromOneWithWholeTexts) {
  const std::vector<EventLogRow> rows = {
      Row("UPS 1", "2026/03/10", "08:15:00", "Serious", kLongText, 0),
      Row("", "2026/03/11", "09:00:00", "Warning", "", 1)};
  EXPECT_EQ(EventLogExportText(Choice(EventLogSource::kDevice, 2), rows),
            "Start Date:\t2026-03-10\r\nEnd Date:\t2026-03-12\r\n\r\n"
            "Gridwarden Manager UPS ID2 Event Log\r\n"
            "Index\tTitle\tDate\tTime\tEvent Level\tDescription\r\n"
            "1\tUPS 1\t2026/03/10\t08:15:00\tSerious\t" +
                kLongText +
                "\r\n"
                "2\t\t2026/03/11\t09:00:00\tWarning\t\r\n");
  EXPECT_EQ(EventLogExportText(Choice(EventLogSource::kOperations), {}),
            "Start Date:\t2026-03-10\r\nEnd Date:\t2026-03-12\r\n\r\n"
            "Gridwarden Manager Operation Record\r\n"
            "Index\tAccount\tDate\tTime\tEvent Level\tDescription\r\n");
  EXPECT_EQ(
      EventLogExportText(Choice(EventLogSource::kAll), {}).substr(48),
      "Gridwarden Manager All Event Log\r\nIndex\tTitle\tDate\tTime\tEvent Level\tDescription\r\n");
}

}  // namespace
}  // namespace lark
