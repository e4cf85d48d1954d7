// The undo history as a whole: order of steps, redo dropped by a new change,
// what empties it, what leaves no step, the items' sensitivity and the
// accelerators.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/file.h"
#include "document/history.h"
#include "shell/util.h"
#include "tests/document/history_testing.h"
#include "tests/harness/canvas_helpers.h"
#include "tests/harness/process.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::paint_pattern;
using vorpix_test::pump;
using vorpix_test::ScratchDir;

namespace {

using vorpix_test::kBlack;
using vorpix_test::kWhite;

using HistoryStepsTest = vorpix_test::HistoryWindowTest;

TEST_F(HistoryStepsTest, StepsAreUndoneNewestFirstAndRedoneInOrder) {
  paint_pattern(drawing());
  std::vector<std::vector<guint32>> states{pixels()};
  const int points[][2] = {{10, 10}, {100, 20}, {200, 300}, {600, 470}};
  for (const auto &p : points) {
    dot(p[0], p[1]);
    states.push_back(pixels());
  }
  ASSERT_EQ(history_undo_steps(canvas), 4);
  for (int i = 3; i >= 0; i--) {
    undo();
    ASSERT_EQ(pixels(), states[i]) << "after undoing down to state " << i;
  }
  EXPECT_FALSE(can_undo());
  for (int i = 1; i <= 4; i++) {
    redo();
    ASSERT_EQ(pixels(), states[i]) << "after redoing up to state " << i;
  }
  EXPECT_FALSE(can_redo());
  EXPECT_TRUE(can_undo());
}

TEST_F(HistoryStepsTest, ANewChangeAfterUndoDropsTheRedoSteps) {
  dot(10, 10);
  const std::vector<guint32> first = pixels();
  dot(20, 20);
  dot(30, 30);
  undo();
  undo();
  ASSERT_TRUE(can_redo());
  dot(40, 40);
  EXPECT_FALSE(can_redo());
  EXPECT_EQ(history_redo_steps(canvas), 0);
  redo();
  EXPECT_EQ(pixel(20, 20), kWhite);
  EXPECT_EQ(pixel(40, 40), kBlack);
  undo();
  EXPECT_EQ(pixels(), first);
}

TEST_F(HistoryStepsTest, UndoAndRedoMarkASavedDrawingModified) {
  ScratchDir scratch;
  dot(10, 10);
  ASSERT_TRUE(drawing_save_as(drawing(), scratch.file("dot.png").c_str()));
  ASSERT_STREQ(title(), "dot.png - vorpix");
  undo();
  EXPECT_STREQ(title(), "dot.png (modified) - vorpix");
  ASSERT_TRUE(drawing_save_as(drawing(), scratch.file("dot.png").c_str()));
  redo();
  EXPECT_STREQ(title(), "dot.png (modified) - vorpix");
}

TEST_F(HistoryStepsTest, ANewCanvasEmptiesTheHistory) {
  dot(10, 10);
  dot(20, 10);
  undo();
  ASSERT_TRUE(can_undo() && can_redo());
  GtkWidget *dialog = file_new_dialog(canvas);
  gtk_entry_set_text(GTK_ENTRY(lookup_widget(dialog, "new_canvas_width_text_entry")), "300");
  gtk_entry_set_text(GTK_ENTRY(lookup_widget(dialog, "new_canvas_height_text_entry")), "200");
  gtk_button_clicked(GTK_BUTTON(lookup_widget(dialog, "new_canvas_ok_button")));
  pump();
  ASSERT_EQ(drawing()->width, 300);
  EXPECT_FALSE(can_undo());
  EXPECT_FALSE(can_redo());
  EXPECT_EQ(history_bytes(canvas), 0u);
  // The old picture's steps are gone, not merely hidden.
  dot(5, 5);
  undo();
  EXPECT_EQ(drawing()->width, 300);
  EXPECT_FALSE(can_undo());
}

TEST_F(HistoryStepsTest, OpeningAFileEmptiesTheHistory) {
  ScratchDir scratch;
  const std::string path = scratch.file("small.png");
  vorpix_test::write_png(path, 32, 24, 0x336699);
  dot(10, 10);
  dot(20, 10);
  undo();
  ASSERT_TRUE(can_undo() && can_redo());
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_NO);  // discard the changes
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) { vorpix_test::choose_file(d, path); });
  activate("open_menu");
  ASSERT_EQ(dialogs.answered(), 2);
  ASSERT_EQ(drawing()->width, 32);
  EXPECT_FALSE(can_undo());
  EXPECT_FALSE(can_redo());
  EXPECT_EQ(history_bytes(canvas), 0u);
}

TEST_F(HistoryStepsTest, GetDesktopEmptiesTheHistory) {
  dot(10, 10);
  dot(20, 10);
  undo();
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_NO);
  activate("get_desktop");
  ASSERT_EQ(dialogs.answered(), 1);
  ASSERT_EQ(drawing()->width, gdk_screen_get_width(gdk_screen_get_default()));
  EXPECT_FALSE(can_undo());
  EXPECT_FALSE(can_redo());
  EXPECT_EQ(history_bytes(canvas), 0u);
}

TEST_F(HistoryStepsTest, EachWindowHasItsOwnHistory) {
  GtkWidget *other = open_window();
  dot(10, 10);
  EXPECT_TRUE(can_undo());
  EXPECT_FALSE(sensitive(other, "undo_menu"));
  // Undo in the other window leaves this one alone.
  activate(lookup_widget(other, "undo_menu"));
  EXPECT_EQ(pixel(10, 10), kBlack);
  EXPECT_EQ(history_undo_steps(canvas), 1);
}

TEST_F(HistoryStepsTest, PressesThatChangeNothingLeaveNoStep) {
  paint_pattern(drawing());
  const std::vector<guint32> before = pixels();
  for (const char *button : {"rectselect_button", "polselect_button", "lasso_button"}) {
    click_button(button);
    drag(10, 10, 100, 100);
    click(50, 50);
  }
  click_button("curve_button");  // no tool
  drag(10, 10, 100, 100);
  click_button("fill_button");
  click(700, 10);  // beyond the picture
  click(-5, 10);
  click_button("text_button");
  click(30, 30);  // an insertion point without text
  click(60, 60);
  click_button("pen_button");
  EXPECT_EQ(pixels(), before);
  EXPECT_EQ(history_undo_steps(canvas), 0);
  EXPECT_FALSE(can_undo());
}

TEST_F(HistoryStepsTest, AFillOnItsOwnColourLeavesNoStepAndKeepsRedo) {
  dot(10, 10);
  undo();
  ASSERT_TRUE(can_redo());
  press_swatch(0);  // white foreground, the colour of the blank picture
  click_button("fill_button");
  click(300, 300);
  EXPECT_TRUE(can_redo());
  EXPECT_FALSE(can_undo());
  EXPECT_TRUE(drawing()->modified);
}

TEST_F(HistoryStepsTest, ADoubleClickIsTwoSteps) {
  press(10, 10);
  release(10, 10);
  press(10, 10);
  press(10, 10, 1, GDK_2BUTTON_PRESS);
  release(10, 10);
  EXPECT_EQ(history_undo_steps(canvas), 2);
  undo();
  undo();
  EXPECT_EQ(pixel(10, 10), kWhite);
}

// The X server's pointer holds button 1 down while the test feeds the
// canvas its events: pressed over the bare root window, so that this press
// never reaches the program.
class ServerButtonDown {
 public:
  ServerButtonDown() {
    GdkScreen *screen = gdk_screen_get_default();
    ok_ = vorpix_test::run_command({"xdotool", "mousemove",
                                    std::to_string(gdk_screen_get_width(screen) - 1),
                                    std::to_string(gdk_screen_get_height(screen) - 1),
                                    "mousedown", "1"})
              .ok();
  }
  ~ServerButtonDown() {
    vorpix_test::run_command({"xdotool", "mouseup", "1"});
    pump();
  }
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// A hint sent while the pointer moved with no button down is read only after
// the next press happened on the server (a loaded machine): it is no drag.
TEST_F(HistoryStepsTest, AStrokeIsOneStepWhenAHintFromBeforeItsPressIsReadAfterIt) {
  GdkRectangle frame;
  gdk_window_get_frame_extents(window->window, &frame);
  ASSERT_LT(frame.x + frame.width, gdk_screen_get_width(gdk_screen_get_default()));
  ServerButtonDown button;
  ASSERT_TRUE(button.ok()) << "xdotool could not press the button";
  constexpr int kStrokes = 3;
  for (int i = 0; i < kStrokes; i++) {
    const int y = 20 + 30 * i;
    vorpix_test::send_motion(area, 10, y, 0, /*hint=*/true);
    press(10, y);
    motion(60, y);
    motion(60, y + 20);
    release(60, y + 20);
  }
  EXPECT_EQ(history_undo_steps(canvas), kStrokes);
  for (int i = kStrokes - 1; i >= 0; i--) {
    undo();
    EXPECT_EQ(pixel(35, 20 + 30 * i), kWhite) << "stroke " << i << " is not undone whole";
  }
  EXPECT_FALSE(can_undo());
}

TEST_F(HistoryStepsTest, AcceleratorsUndoAndRedo) {
  dot(10, 10);
  accelerator(GDK_z, GDK_CONTROL_MASK);
  EXPECT_EQ(pixel(10, 10), kWhite);
  accelerator(GDK_y, GDK_CONTROL_MASK);
  EXPECT_EQ(pixel(10, 10), kBlack);
  accelerator(GDK_z, GDK_CONTROL_MASK);
  ASSERT_EQ(pixel(10, 10), kWhite);
  accelerator(GDK_Z, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
  EXPECT_EQ(pixel(10, 10), kBlack);
}

TEST_F(HistoryStepsTest, UndoInTheMiddleOfADragIsSafe) {
  press(10, 10);
  motion(50, 10);
  accelerator(GDK_z, GDK_CONTROL_MASK);
  EXPECT_EQ(pixel(30, 10), kWhite);
  // The rest of the drag is a change of its own.
  motion(50, 50);
  release(50, 50);
  EXPECT_EQ(pixel(50, 30), kBlack);
  EXPECT_FALSE(can_redo());
  undo();
  EXPECT_EQ(pixel(50, 30), kWhite);

  click_button("rectangle_button");
  press(100, 100);
  motion(150, 150);
  accelerator(GDK_z, GDK_CONTROL_MASK);
  motion(200, 200);
  release(200, 200);
  EXPECT_EQ(pixel(200, 150), kBlack);
  undo();
  EXPECT_EQ(pixel(200, 150), kWhite);
}

TEST_F(HistoryStepsTest, AtLeastTwentyStepsOfA640By480Picture) {
  ASSERT_EQ(drawing()->width, 640);
  ASSERT_GE(kHistoryMaxBytes / history_picture_bytes(drawing()), 20u);
  constexpr int kSteps = 25;
  for (int i = 0; i < kSteps; i++) dot(10 + 20 * i, 100);
  ASSERT_EQ(history_undo_steps(canvas), kSteps);
  for (int i = kSteps - 1; i >= 0; i--) {
    ASSERT_EQ(pixel(10 + 20 * i, 100), kBlack);
    undo();
    ASSERT_EQ(pixel(10 + 20 * i, 100), kWhite) << i;
  }
  EXPECT_FALSE(can_undo());
  EXPECT_EQ(history_redo_steps(canvas), kSteps);
}

}  // namespace
