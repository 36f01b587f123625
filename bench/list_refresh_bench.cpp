// One second's refresh of the device list over 1000 devices, offscreen:
// nothing changed (every cell formatted and compared, none written) and
// every cell changed (every cell written, dataChanged for each). Beside
// each, a QStandardItemModel of the same size taking the same texts. Prints
// the best of five runs of each and their ratio.
//
//   list_refresh_bench [--devices N]
#include <QApplication>
#include <QStandardItemModel>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/shell/console_context.h"
#include "console/lists/console_lists.h"
#include "core/device_tree.h"
#include "platform/paths.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace lark;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// Modbus UPSs with three-phase values; `round` moves every value.
void SetValues(DeviceNode& n, int round) {
  LiveDataBlock& b = *n.block(BlockKind::kModbus);
  b.putI32(428, 3);
  b.putI32(500, 3);
  for (size_t off :
       {436, 452, 468, 440, 456, 472, 504, 520, 536, 508, 524, 540, 512, 528, 544, 516, 532, 548})
    b.putI32(off, 1000 + round + static_cast<int32_t>(off));
  for (size_t off : {280, 492, 368, 372, 392, 396, 404, 384})
    b.putI32(off, (round + static_cast<int32_t>(off)) % 3);
  b.putU32(0, static_cast<uint32_t>(round & 1));
}

template <class F>
double Best(F&& f) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    const auto t = Clock::now();
    f(i);
    best = std::min(best, Seconds(t));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  int devices = 1000;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--devices") == 0) devices = std::atoi(argv[i + 1]);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string dir = "/tmp/lark-list-bench";
  MakeDirs(dir);
  SystemClock clock;
  ConsoleContext ctx(dir, clock, WorkArea{});
  ReportListView groups, list;
  ConsoleLists lists(ctx, &groups, &list);
  ctx.monitor.settings().columnChoice = {-1, 0, 1, 3, 4, 6, 7, 8, 9, 15};
  std::vector<DeviceNode*> nodes;
  DeviceNode* group = nullptr;
  for (int i = 0; i < devices; ++i) {
    if (i % 200 == 0) {  // a group holds at most 300 children
      ctx.tree.setCurrentParent(ctx.tree.root());
      group = Tree_CreateNode(ctx.tree, kNodeGroup, "");
    }
    ctx.tree.setCurrentParent(*group);
    DeviceNode* n = Tree_CreateNode(ctx.tree, kNodeSerial, "");
    n->setCommType(kCommModbusUps);
    n->setTitle("UPS " + std::to_string(i));
    n->ensureBlock(BlockKind::kModbus).putText(1011, 32, "LK3000");
    SetValues(*n, 0);
    nodes.push_back(n);
  }
  lists.CreateGroupList();
  lists.CreateDeviceList();
  lists.sort.click(1);  // by title, so changed values do not re-sort
  lists.RefreshDeviceRows(nullptr);
  const int rows = list.model()->rowCount();

  QStandardItemModel peer(rows, 10);
  QTableView peerView;
  peerView.setModel(&peer);
  const CellTexts texts = lists.CurrentCellTexts();
  auto peerFill = [&] {
    for (int r = 0; r < rows; ++r) {
      const DeviceRowData d = ReadDeviceRow(*nodes[static_cast<size_t>(r)]);
      for (int c = 1; c < 10; ++c) {
        const QString text = QString::fromStdString(FormatDeviceCell(
            d, ctx.monitor.settings().columnChoice[static_cast<size_t>(c)], texts));
        QStandardItem* item = peer.item(r, c);
        if (item == nullptr)
          peer.setItem(r, c, new QStandardItem(text));
        else if (item->text() != text)
          item->setText(text);
      }
    }
  };
  peerFill();

  const double same = Best([&](int) { lists.RefreshDeviceRows(nullptr); });
  const double peerSame = Best([&](int) { peerFill(); });
  const double changed = Best([&](int i) {
    for (DeviceNode* n : nodes) SetValues(*n, 2 * i + 1);
    lists.RefreshDeviceRows(nullptr);
  });
  const double peerChanged = Best([&](int i) {
    for (DeviceNode* n : nodes) SetValues(*n, 2 * i + 2);
    peerFill();
  });
  std::printf("devices %d, 9 columns, best of 5\n", rows);
  std::printf(
      "nothing changed:    RefreshDeviceRows %8.2f ms   QStandardItemModel %8.2f ms   ratio %.2f\n",
      same * 1e3, peerSame * 1e3, same / peerSame);
  std::printf(
      "every cell changed: RefreshDeviceRows %8.2f ms   QStandardItemModel %8.2f ms   ratio %.2f\n",
      changed * 1e3, peerChanged * 1e3, changed / peerChanged);
  return 0;
}
