#include "console/link/device_endpoints.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

TEST(ConsoleEndpoints, OneEntryPerAddressKeptWithTheTree) {
  ConsoleEndpoints endpoints;
  DeviceTree tree;
  tree.setEndpoints(endpoints);
  DeviceNode& a = test::AddSnmp(tree, tree.root(), "10.0.0.1");
  test::AddSnmp(tree, tree.root(), "10.0.0.1");  // the same address: no second entry
  DeviceNode& b = test::AddSnmp(tree, tree.root(), "ups.example");
  ASSERT_EQ(endpoints.entries().size(), 2u);
  EXPECT_EQ(endpoints.entries()[0].id, a.id());
  EXPECT_EQ(endpoints.entries()[0].resolved, htonl(0x0A000001));
  EXPECT_EQ(endpoints.entries()[1].id, b.id());
  EXPECT_EQ(endpoints.entries()[1].resolved, 0u);  // names are not looked up here
  Tree_FreeAll(tree);
  EXPECT_TRUE(endpoints.entries().empty());
}

}  // namespace
}  // namespace lark
