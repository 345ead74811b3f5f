#include <gtest/gtest.h>

#include "platform/store_fs_registry_child.h"

int main(int argc, char** argv) {
  if (const std::optional<int> child = ks::runRegistryChild(argc, argv)) return *child;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
