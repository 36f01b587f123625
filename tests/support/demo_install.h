// An install folder made from the shipped data/ with the demo map cut to its
// first nodes (root, "Server room", "UPS 1" on COM1), so tests that count
// the demo tree do not change when the demo gains devices.
#pragma once

#include <string>

namespace lark::test {

// Copies data/ into `folder` and keeps the demo map's nodes 0..keep-1. With
// `polled` false every device is stopped, so its block stays as loaded.
bool CopyDemoInstall(const std::string& folder, int keep = 3, bool polled = true);

// The map text with only the nodes 0..keep-1 (their sections and index keys).
std::string TrimDemoMap(const std::string& map, int keep);

}  // namespace lark::test
