// The undo history's memory bound, with pictures big enough to reach it.
#include <gtest/gtest.h>

#include <vector>

#include "document/history.h"
#include "tests/document/history_testing.h"
#include "tests/harness/canvas_helpers.h"

namespace {

using HistoryBoundTest = vorpix_test::HistoryWindowTest;
using vorpix_test::kBlack;
using vorpix_test::kWhite;

// Clear changes every pixel, so each is a step of the whole picture; the
// dots between them are steps of a few pixels.
TEST_F(HistoryBoundTest, TheBoundDropsTheOldestStepsOfABigPicture) {
  replace_drawing(4096, 4096);
  const gsize picture = history_picture_bytes(drawing());
  ASSERT_EQ(picture, gsize{4096} * 4096 * 4);
  const int whole = static_cast<int>(kHistoryMaxBytes / picture);
  // Whole steps fill the bound exactly, so the dots beside them leave room
  // for one fewer.
  ASSERT_EQ(kHistoryMaxBytes % picture, 0u);
  ASSERT_GE(whole, 2);
  const int rounds = whole + 2;
  auto x_of = [](int round) { return 100 + 100 * round; };
  for (int i = 0; i < rounds; i++) {
    dot(x_of(i), 4000);
    activate("clear_menu");
    EXPECT_LE(history_bytes(canvas), kHistoryMaxBytes);
  }
  const int kept = whole - 1;
  ASSERT_EQ(history_undo_steps(canvas), 2 * kept);
  // What is left are the newest rounds: undoing a clear brings its dot
  // back, undoing the dot takes it away.
  for (int i = rounds - 1; i >= rounds - kept; i--) {
    undo();
    EXPECT_EQ(pixel(x_of(i), 4000), kBlack) << i;
    undo();
    EXPECT_EQ(pixel(x_of(i), 4000), kWhite) << i;
    EXPECT_LE(history_bytes(canvas), kHistoryMaxBytes);
  }
  EXPECT_FALSE(can_undo());
  EXPECT_EQ(pixel(x_of(rounds - kept - 1), 4000), kWhite);
  for (int i = rounds - kept; i < rounds; i++) {
    redo();
    EXPECT_EQ(pixel(x_of(i), 4000), kBlack) << i;
    redo();
    EXPECT_EQ(pixel(x_of(i), 4000), kWhite) << i;
  }
  EXPECT_FALSE(can_redo());
}

// A digest of the whole picture: three 4096 by 4096 pictures would not be
// held side by side.
guint64 digest(const std::vector<guint32> &pixels) {
  guint64 hash = 14695981039346656037u;  // FNV-1a
  for (guint32 p : pixels) {
    hash ^= p;
    hash *= 1099511628211u;
  }
  return hash;
}

// Pen strokes of a few hundred pixels over a patterned 4096 by 4096
// picture, many crossing others: all of them stay undoable, and undo and
// redo give back the exact pixels of every stage.
TEST_F(HistoryBoundTest, AHundredStrokesOnABigPictureAreAllUndoneExactly) {
  replace_drawing(4096, 4096);
  vorpix_test::paint_pattern(drawing());
  constexpr int kStrokes = 100;
  constexpr int kHalf = kStrokes / 2;
  const guint64 before = digest(pixels());
  for (int i = 0; i < kStrokes; i++) {
    // Ten columns of ten strokes; each stroke crosses its neighbours.
    const int x = 200 + (i % 10) * 380, y = 200 + (i / 10) * 380;
    press(x, y);
    motion(x + 150, y + 90);
    motion(x + 260, y + 300);
    motion(x + 420, y + 350);
    release(x + 420, y + 350);
    ASSERT_EQ(history_undo_steps(canvas), i + 1);
    EXPECT_LE(history_bytes(canvas), kHistoryMaxBytes);
  }
  const guint64 after = digest(pixels());
  ASSERT_NE(after, before);
  // Far below one copy of the picture per stroke.
  EXPECT_LT(history_bytes(canvas), history_picture_bytes(drawing()));

  for (int i = 0; i < kHalf; i++) undo();
  const guint64 half = digest(pixels());
  for (int i = kHalf; i < kStrokes; i++) undo();
  EXPECT_EQ(digest(pixels()), before);
  EXPECT_FALSE(can_undo());
  ASSERT_EQ(history_redo_steps(canvas), kStrokes);
  for (int i = 0; i < kHalf; i++) redo();
  EXPECT_EQ(digest(pixels()), half);
  EXPECT_NE(half, before);
  for (int i = kHalf; i < kStrokes; i++) redo();
  EXPECT_EQ(digest(pixels()), after);
  EXPECT_FALSE(can_redo());
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
