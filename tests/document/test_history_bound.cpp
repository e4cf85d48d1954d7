// The undo history's memory bound, with pictures big enough to reach it.
#include <gtest/gtest.h>

#include <vector>

#include "document/history.h"
#include "tests/document/history_testing.h"

namespace {

using HistoryBoundTest = vorpix_test::HistoryWindowTest;
using vorpix_test::kBlack;
using vorpix_test::kWhite;

TEST_F(HistoryBoundTest, TheBoundDropsTheOldestStepsOfABigPicture) {
  replace_drawing(4096, 4096);
  const gsize picture = history_picture_bytes(drawing());
  ASSERT_EQ(picture, gsize{4096} * 4096 * 4);
  const int kept = static_cast<int>(kHistoryMaxBytes / picture);
  ASSERT_GE(kept, 1);
  const int changes = kept + 2;
  for (int i = 0; i < changes; i++) {
    dot(100 + 100 * i, 4000);
    EXPECT_LE(history_bytes(canvas), kHistoryMaxBytes);
  }
  EXPECT_EQ(history_undo_steps(canvas), kept);
  // What is left are the newest steps: undoing them takes the newest dots
  // away, and the oldest two dots stay.
  for (int i = changes - 1; i >= changes - kept; i--) {
    undo();
    EXPECT_EQ(pixel(100 + 100 * i, 4000), kWhite) << i;
    EXPECT_LE(history_bytes(canvas), kHistoryMaxBytes);
  }
  EXPECT_FALSE(can_undo());
  EXPECT_EQ(pixel(100, 4000), kBlack);
  EXPECT_EQ(pixel(200, 4000), kBlack);
  for (int i = changes - kept; i < changes; i++) {
    redo();
    EXPECT_EQ(pixel(100 + 100 * i, 4000), kBlack) << i;
  }
}

TEST_F(HistoryBoundTest, APictureTooBigToCopyCannotBeUndone) {
  dot(10, 10);
  ASSERT_TRUE(can_undo());
  // One copy of 8193 by 8193 pixels is more than the bound.
  replace_drawing(8193, 8193);
  ASSERT_GT(history_picture_bytes(drawing()), kHistoryMaxBytes);
  dot(10, 10);
  activate("clear_menu");
  EXPECT_FALSE(can_undo());
  EXPECT_FALSE(can_redo());
  EXPECT_EQ(history_bytes(canvas), 0u);
  undo();
  EXPECT_EQ(drawing()->width, 8193);
}

TEST_F(HistoryBoundTest, UndoingIntoASmallPictureKeepsTheStepsBeforeIt) {
  // A long thin picture turned by 45 degrees becomes too big to keep.
  replace_drawing(12000, 8);
  dot(5, 4);
  const std::vector<guint32> with_dot = pixels();
  activate("rotate_n45_menu");
  ASSERT_GT(history_picture_bytes(drawing()), kHistoryMaxBytes);
  ASSERT_EQ(history_undo_steps(canvas), 2);
  undo();
  EXPECT_EQ(drawing()->width, 12000);
  EXPECT_EQ(pixels(), with_dot);
  EXPECT_FALSE(can_redo());
  ASSERT_TRUE(can_undo());
  undo();
  EXPECT_EQ(pixel(5, 4), kWhite);
}

}  // namespace
