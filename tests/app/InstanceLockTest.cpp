// The instance lock: one holder at a time, released with its object; lock file names from titles.
#include <gtest/gtest.h>

#include "platform/shell/InstanceLock.h"
#include "tests/support/TempDir.h"

namespace {

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstEnds) {
  TempDir dir;
  auto first = std::make_unique<InstanceLock>(dir.File("QuenorSync.lock"));
  ASSERT_TRUE(first->IsHeld());
  {
    InstanceLock second(dir.File("QuenorSync.lock"));
    EXPECT_FALSE(second.IsHeld());
    EXPECT_TRUE(second.HeldElsewhere());
    EXPECT_EQ(second.Error(), 0);
  }
  first.reset();
  InstanceLock third(dir.File("QuenorSync.lock"));
  EXPECT_TRUE(third.IsHeld());
}

TEST(InstanceLock, UnopenableFileIsAnErrorNotAnotherInstance) {
  TempDir dir;
  InstanceLock lock(dir.File("missing-folder/QuenorSync.lock"));
  EXPECT_FALSE(lock.IsHeld());
  EXPECT_FALSE(lock.HeldElsewhere());
  EXPECT_NE(lock.Error(), 0);
}

TEST(InstanceLock, NamesTheFileAfterTheTitleSafely) {
  EXPECT_EQ(InstanceLock::FileNameForTitle(" QuenorSync"), "QuenorSync.lock");
  EXPECT_EQ(InstanceLock::FileNameForTitle("A/B\nC "), "A_B_C.lock");
  EXPECT_EQ(InstanceLock::FileNameForTitle(".."), "...lock");
  EXPECT_EQ(InstanceLock::FileNameForTitle("  "), "instance.lock");
  EXPECT_EQ(InstanceLock::FileNameForTitle(""), "instance.lock");
}

}  // namespace
