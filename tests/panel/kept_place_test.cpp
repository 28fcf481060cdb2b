// The corner a folding window keeps on a window manager that centres it on every size
// change (sway), with the moves heard in the orders a busy machine delivers them.
#include "panel/kept_place.h"

#include <gtest/gtest.h>

namespace {

constexpr QPoint kCorner(495, 193);
constexpr QPoint kCentredFolded(395, 374);
constexpr QPoint kCentredUnfolded(395, 280);
constexpr int kFolded = 51;
constexpr int kUnfolded = 240;

TEST(KeptPlace, ACentredWindowIsAskedBackOnceItHasItsNewHeight) {
  KeptPlace kept;
  kept.Hold(kept.From(kCorner), kUnfolded);
  EXPECT_EQ(kept.Seen(kCorner, kUnfolded), std::nullopt) << "the toolkit's own resize";
  EXPECT_EQ(kept.Seen(kCorner, kFolded), std::nullopt) << "the old height: not there yet";
  EXPECT_EQ(kept.Seen(kCentredUnfolded, kUnfolded), kCorner);
  EXPECT_EQ(kept.Seen(kCorner, kUnfolded), std::nullopt);
  EXPECT_EQ(kept.Seen(kCentredUnfolded, kUnfolded), std::nullopt)
      << "once back, later moves are the user's";
}

TEST(KeptPlace, AFoldBeforeTheWindowHearsItIsBackKeepsTheCorner) {
  KeptPlace kept;
  kept.Hold(kept.From(kCorner), kUnfolded);
  ASSERT_EQ(kept.Seen(kCentredUnfolded, kUnfolded), kCorner);
  // The user folds it again while the window still believes it is centred.
  kept.Hold(kept.From(kCentredUnfolded), kFolded);
  EXPECT_EQ(kept.Seen(kCorner, kUnfolded), std::nullopt) << "the late put-back, old height";
  EXPECT_EQ(kept.Seen(kCentredFolded, kFolded), kCorner);
  EXPECT_EQ(kept.Seen(kCorner, kFolded), std::nullopt);
  EXPECT_EQ(kept.From(kCorner + QPoint(10, 10)), kCorner + QPoint(10, 10))
      << "a finished change holds nothing";
}

TEST(KeptPlace, TheToolkitsOwnResizeInPlaceDoesNotEndTheHold) {
  KeptPlace kept;
  kept.Hold(kept.From(kCorner), kUnfolded);
  EXPECT_EQ(kept.Seen(kCorner, kUnfolded), std::nullopt);
  EXPECT_EQ(kept.From(kCentredUnfolded), kCorner);
  EXPECT_EQ(kept.Seen(kCentredUnfolded, kUnfolded), kCorner);
}

TEST(KeptPlace, TheUsersMoveEndsTheHold) {
  KeptPlace kept;
  kept.Hold(kept.From(kCorner), kUnfolded);
  kept.Release();
  EXPECT_EQ(kept.Seen(kCentredUnfolded, kUnfolded), std::nullopt);
  EXPECT_EQ(kept.From(kCentredUnfolded), kCentredUnfolded);
}

}  // namespace
