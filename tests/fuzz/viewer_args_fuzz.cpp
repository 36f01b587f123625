// The viewer's command line: the input split at NUL bytes into argv fields.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/data/graph_model.h"
#include "viewer/data/viewer_args.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      fields.emplace_back();
    else
      fields.back().push_back(static_cast<char>(data[i]));
  }
  const lark::ViewerArgsResult r = lark::ParseViewerArgs(fields, "secret");
  if (r.args.has_value() == r.error.empty()) {
    if (r.args) {
      if (r.args->historyDepth < 1 || r.args->historyDepth > lark::kViewerMaxDepth)
        __builtin_trap();
      if (r.args->mapName.find_first_of("/\\") != std::string::npos) __builtin_trap();
      lark::GraphViewState s;
      lark::SetDefaultCurves(*r.args, s);
    }
    return 0;
  }
  __builtin_trap();
}
