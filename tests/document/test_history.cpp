// Undo and redo of every kind of change to the picture, through real events
// and the Edit menu's items: undo gives back the exact pixels and size, redo
// the changed picture.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <vector>

#include "document/canvas.h"
#include "document/clipboard.h"
#include "document/drawing.h"
#include "document/history.h"
#include "document/view.h"
#include "tests/harness/canvas_helpers.h"
#include "tests/harness/window_fixture.h"
#include "tools/selection.h"

using vorpix_test::MainWindowTest;
using vorpix_test::paint_pattern;
using vorpix_test::pump;

namespace {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<guint32> pixels;
  bool operator==(const Picture &o) const {
    return width == o.width && height == o.height && pixels == o.pixels;
  }
  bool operator!=(const Picture &o) const { return !(*this == o); }
};

// Reports size and the first differing pixel rather than two huge vectors.
::testing::AssertionResult same_picture(const Picture &actual, const Picture &expected) {
  if (actual.width != expected.width || actual.height != expected.height)
    return ::testing::AssertionFailure()
           << "size " << actual.width << "x" << actual.height << ", expected " << expected.width
           << "x" << expected.height;
  for (size_t i = 0; i < actual.pixels.size(); i++)
    if (actual.pixels[i] != expected.pixels[i])
      return ::testing::AssertionFailure()
             << "pixel " << i % actual.width << "," << i / actual.width << " is " << std::hex
             << actual.pixels[i] << ", expected " << expected.pixels[i];
  return ::testing::AssertionSuccess();
}

class HistoryTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    paint_pattern(drawing());
  }

  // Unsettled: as the pixmap holds it now, idle work of the main loop undone.
  Picture picture(bool settled = true) const {
    if (settled) pump();
    Picture p;
    p.width = drawing()->width;
    p.height = drawing()->height;
    p.pixels = vorpix_test::drawable_pixels(drawing()->backing_pixmap, p.width, p.height);
    return p;
  }

  void activate(const char *name) {
    GtkWidget *item = widget(name);
    ASSERT_NE(item, nullptr) << name;
    gtk_menu_item_activate(GTK_MENU_ITEM(item));
    pump();
  }
  void undo() { activate("undo_menu"); }
  void redo() { activate("redo_menu"); }

  bool sensitive(const char *name) const { return GTK_WIDGET_SENSITIVE(widget(name)); }
  // The Undo and Redo menu items and toolbar buttons, as the user sees them.
  void expect_undo_redo(bool undo, bool redo) const {
    for (const char *name : {"undo_menu", "undo_button"}) EXPECT_EQ(sensitive(name), undo) << name;
    for (const char *name : {"redo_menu", "redo_button"}) EXPECT_EQ(sensitive(name), redo) << name;
  }
  int undo_steps() const { return history_undo_steps(canvas); }
  int redo_steps() const { return history_redo_steps(canvas); }

  // change, done once on the pattern, is one step: undo gives the pattern
  // back, redo the changed picture, and the two alternate.
  void check_round_trip(const std::function<void()> &change) {
    const Picture before = picture();
    change();
    const Picture after = picture();
    ASSERT_NE(after, before) << "the change changed nothing";
    EXPECT_EQ(undo_steps(), 1);
    expect_undo_redo(true, false);

    undo();
    EXPECT_TRUE(same_picture(picture(), before));
    EXPECT_EQ(undo_steps(), 0);
    EXPECT_EQ(redo_steps(), 1);
    expect_undo_redo(false, true);
    EXPECT_TRUE(drawing()->modified);

    redo();
    EXPECT_TRUE(same_picture(picture(), after));
    EXPECT_EQ(undo_steps(), 1);
    EXPECT_EQ(redo_steps(), 0);

    undo();
    EXPECT_TRUE(same_picture(picture(), before));
  }

  void drag_through(std::initializer_list<std::pair<int, int>> points) {
    auto it = points.begin();
    press(it->first, it->second);
    for (++it; it != points.end(); ++it) motion(it->first, it->second);
    release((points.end() - 1)->first, (points.end() - 1)->second);
  }
};

TEST_F(HistoryTest, ANewWindowHasNothingToUndoOrRedo) {
  expect_undo_redo(false, false);
  const Picture before = picture();
  undo();
  redo();
  EXPECT_EQ(picture(), before);
  EXPECT_EQ(drawing()->modified, 0);
}

TEST_F(HistoryTest, ToolbarButtonsUndoAndRedoLikeTheMenuItems) {
  const Picture before = picture();
  drag(10, 10, 100, 10);
  const Picture after = picture();
  ASSERT_NE(after, before);
  g_signal_emit_by_name(widget("undo_button"), "clicked");
  pump();
  EXPECT_TRUE(same_picture(picture(), before));
  expect_undo_redo(false, true);
  g_signal_emit_by_name(widget("redo_button"), "clicked");
  pump();
  EXPECT_TRUE(same_picture(picture(), after));
  expect_undo_redo(true, false);
}

TEST_F(HistoryTest, PenStroke) {
  check_round_trip([&] {
    click_button("pen_button");
    drag_through({{10, 10}, {60, 30}, {120, 90}});
  });
}

TEST_F(HistoryTest, BrushStroke) {
  check_round_trip([&] {
    click_button("brush_button");
    drag_through({{30, 30}, {80, 60}, {200, 100}});
  });
}

TEST_F(HistoryTest, EraserStroke) {
  check_round_trip([&] {
    click_button("erase_button");
    drag_through({{300, 300}, {350, 320}});
  });
}

TEST_F(HistoryTest, EachFigureIsOneStep) {
  for (const char *button : {"line_button", "rectangle_button", "oval_button", "arc_button"}) {
    SCOPED_TRACE(button);
    check_round_trip([&] {
      click_button(button);
      drag_through({{50, 60}, {100, 100}, {150, 130}});
    });
    history_clear(canvas);
  }
}

TEST_F(HistoryTest, FilledFigureAndClosedFreehand) {
  toggle_filled();
  check_round_trip([&] {
    click_button("rectangle_button");
    drag_through({{20, 20}, {200, 150}});
  });
  history_clear(canvas);
  check_round_trip([&] {
    click_button("closed_freehand_button");
    drag_through({{100, 100}, {200, 110}, {210, 220}, {90, 200}});
  });
}

// Every kind of step one after another, overlapping, on one history: each
// undo gives back the exact picture before its step, each redo the one
// after, whatever part or whole of the picture the steps before kept.
TEST_F(HistoryTest, AMixOfStepsUndoesAndRedoesToEveryStageExactly) {
  struct Change {
    const char *name;
    std::function<void()> make;
  };
  const std::vector<Change> changes = {
      {"pen", [&] { click_button("pen_button"); drag_through({{10, 10}, {60, 30}, {320, 90}}); }},
      {"brush", [&] { click_button("brush_button"); drag_through({{30, 30}, {80, 60}, {200, 100}}); }},
      {"eraser", [&] { click_button("erase_button"); drag_through({{40, 20}, {350, 120}}); }},
      {"line", [&] { click_button("line_button"); drag_through({{50, 60}, {100, 100}, {150, 130}}); }},
      {"rectangle", [&] { click_button("rectangle_button"); drag_through({{20, 80}, {300, 160}}); }},
      {"oval", [&] { click_button("oval_button"); drag_through({{60, 40}, {260, 220}}); }},
      {"arc", [&] { click_button("arc_button"); drag_through({{100, 100}, {400, 300}}); }},
      {"filled rectangle",
       [&] {
         toggle_filled();
         click_button("rectangle_button");
         drag_through({{150, 150}, {250, 260}});
         toggle_filled();
       }},
      {"closed freehand",
       [&] {
         click_button("closed_freehand_button");
         drag_through({{100, 100}, {200, 110}, {210, 220}, {90, 200}});
       }},
      {"fill", [&] { click_button("fill_button"); click(600, 400); }},
      {"text",
       [&] {
         click_button("text_button");
         click(120, 120);
         key(GDK_H, "H");
         key(GDK_i, "i");
         click_button("pen_button");  // commits
       }},
      {"clear in a selection",
       [&] {
         click_button("rectselect_button");
         drag_through({{90, 90}, {180, 170}});
         activate("clear_menu");
       }},
      {"effect", [&] { activate("emboss"); }},
      {"pen after the effect", [&] { click_button("pen_button"); drag_through({{5, 300}, {400, 310}}); }},
      {"quarter turn", [&] { activate("rotate_p90_menu"); }},
      {"brush across the turned picture",
       [&] { click_button("brush_button"); drag_through({{10, 600}, {470, 20}}); }},
      {"flip", [&] { activate("flip_x_axis_menu"); }},
      {"eraser at the corner", [&] { click_button("erase_button"); drag_through({{470, 630}, {479, 639}}); }},
  };
  std::vector<Picture> stages = {picture()};
  for (const Change &change : changes) {
    change.make();
    stages.push_back(picture());
    ASSERT_NE(stages.back(), stages[stages.size() - 2]) << change.name << " changed nothing";
  }
  ASSERT_EQ(undo_steps(), static_cast<int>(changes.size()));
  for (size_t i = changes.size(); i > 0; i--) {
    undo();
    EXPECT_TRUE(same_picture(picture(), stages[i - 1])) << "undo of " << changes[i - 1].name;
  }
  EXPECT_FALSE(sensitive("undo_menu"));
  for (size_t i = 1; i <= changes.size(); i++) {
    redo();
    EXPECT_TRUE(same_picture(picture(), stages[i])) << "redo of " << changes[i - 1].name;
  }
  EXPECT_FALSE(sensitive("redo_menu"));
}

TEST_F(HistoryTest, PolylineSegmentsAreStepsOfTheirOwn) {
  click_button("multiline_button");
  const Picture before = picture();
  drag_through({{10, 10}, {100, 40}});
  const Picture first = picture();
  drag_through({{100, 40}, {200, 200}});  // joins 100,40 then draws the segment
  ASSERT_EQ(undo_steps(), 2);
  undo();
  EXPECT_TRUE(same_picture(picture(), first));
  undo();
  EXPECT_TRUE(same_picture(picture(), before));
}

TEST_F(HistoryTest, Fill) {
  check_round_trip([&] {
    click_button("fill_button");
    click(320, 240);
  });
}

TEST_F(HistoryTest, CommittedTextIsOneStep) {
  check_round_trip([&] {
    click_button("text_button");
    click(20, 30);
    key(GDK_H, "H");
    key(GDK_i, "i");
    key(GDK_exclam, "!");
    click(400, 400);  // commits
  });
}

TEST_F(HistoryTest, UndoInTheMiddleOfTypingCommitsTheTextAndTakesItBack) {
  click_button("text_button");
  const Picture before = picture();
  click(20, 30);
  key(GDK_H, "H");
  key(GDK_i, "i");
  undo();
  EXPECT_TRUE(same_picture(picture(), before));
  ASSERT_EQ(redo_steps(), 1);
  redo();
  EXPECT_NE(picture(), before);
  // Nothing is left to commit: choosing another tool paints nothing more.
  const Picture with_text = picture();
  click_button("pen_button");
  EXPECT_EQ(picture(), with_text);
  EXPECT_EQ(undo_steps(), 1);
}

TEST_F(HistoryTest, Clear) {
  check_round_trip([&] { activate("clear_menu"); });
}

TEST_F(HistoryTest, ClearInsideASelection) {
  click_button("rectselect_button");
  drag_through({{40, 40}, {140, 120}});
  check_round_trip([&] { activate("clear_menu"); });
}

TEST_F(HistoryTest, Cut) {
  click_button("rectselect_button");
  drag_through({{100, 50}, {140, 80}});
  check_round_trip([&] { activate("cut_menu"); });
}

TEST_F(HistoryTest, CutWithoutASelectionLeavesNoStep) {
  activate("cut_menu");
  activate("copy_menu");
  EXPECT_EQ(undo_steps(), 0);
  EXPECT_FALSE(sensitive("undo_menu"));
}

class PasteHistoryTest : public HistoryTest {
 protected:
  void SetUp() override {
    HistoryTest::SetUp();
    canvas_clipboard_free(canvas_clipboard(canvas));
    click_button("rectselect_button");
    drag_through({{100, 50}, {140, 80}});
    activate("copy_menu");
  }
};

TEST_F(PasteHistoryTest, ThePlacementIsOneStepWhereverThePieceWasDragged) {
  const Picture before = picture();
  activate("paste_menu");
  ASSERT_EQ(canvas->tool, canvas->paste_tool);
  press(5, 5);
  for (int i = 1; i < 10; i++) motion(5 + i * 20, 5 + i * 15);
  release(300, 200);
  key(GDK_Escape);
  ASSERT_NE(canvas->tool, canvas->paste_tool);
  const Picture after = picture();
  ASSERT_NE(after, before);
  EXPECT_EQ(undo_steps(), 1);

  undo();
  EXPECT_TRUE(same_picture(picture(), before));
  redo();
  EXPECT_TRUE(same_picture(picture(), after));
}

TEST_F(PasteHistoryTest, UndoInPasteModeLeavesItAndTakesThePieceBack) {
  const Picture before = picture();
  activate("paste_menu");
  press(5, 5);
  motion(205, 105);
  release(205, 105);
  undo();
  EXPECT_NE(canvas->tool, canvas->paste_tool);
  EXPECT_TRUE(same_picture(picture(), before));
  EXPECT_EQ(selection_num_points(canvas->selection), 0);
  // The paste tool keeps nothing that could paint the piece again.
  press(205, 105);
  release(205, 105);
  EXPECT_TRUE(same_picture(picture(), before));
}

TEST_F(PasteHistoryTest, TwoPastesAreTwoSteps) {
  const Picture before = picture();
  activate("paste_menu");
  key(GDK_Escape);
  const Picture once = picture();
  activate("paste_menu");
  press(5, 5);
  motion(305, 305);
  release(305, 305);
  key(GDK_Escape);
  ASSERT_EQ(undo_steps(), 2);
  undo();
  EXPECT_TRUE(same_picture(picture(), once));
  undo();
  EXPECT_TRUE(same_picture(picture(), before));
}

TEST_F(HistoryTest, Effect) {
  check_round_trip([&] { activate("emboss"); });
}

TEST_F(HistoryTest, Flips) {
  check_round_trip([&] { activate("flip_x_axis_menu"); });
  history_clear(canvas);
  check_round_trip([&] { activate("flip_y_axis_menu"); });
}

TEST_F(HistoryTest, QuarterTurnChangesTheSizeBackAndForth) {
  check_round_trip([&] {
    activate("rotate_p90_menu");
    EXPECT_EQ(drawing()->width, 480);
    EXPECT_EQ(drawing()->height, 640);
  });
  int width = 0, height = 0;
  view_zoomed_size(canvas->view, &width, &height);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  redo();
  view_zoomed_size(canvas->view, &width, &height);
  EXPECT_EQ(width, 480);
  EXPECT_EQ(height, 640);
  // The shared GC paints over the whole of the size brought back.
  drag_through({{0, 635}, {479, 635}});
  EXPECT_EQ(pixel(479, 635), 0u);
  EXPECT_EQ(pixel(2, 635), 0u);
}

TEST_F(HistoryTest, FreeRotation) {
  check_round_trip([&] { activate("rotate_n45_menu"); });
}

// Each sequence runs with no pass of the main loop between its actions, so
// nothing the history leaves for an idle moment has happened yet; every undo
// and redo must give back exactly the picture, size included, of its stage.
TEST_F(HistoryTest, SizeChangesFollowedAtOnceByStrokesUndoAndRedoExactly) {
  // c crops, t turns a quarter, s is a pen stroke, u undoes and r redoes.
  click_button("pen_button");
  auto item = [&](const char *name) { gtk_menu_item_activate(GTK_MENU_ITEM(widget(name))); };
  for (const char *sequence : {"csuurr", "cursuurr", "tstsuuurrr"}) {
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 640, 480));
    paint_pattern(drawing());
    std::vector<Picture> stages{picture(false)};
    size_t at = 0;
    for (const char *c = sequence; *c; c++) {
      SCOPED_TRACE(testing::Message() << sequence << ", action " << c - sequence);
      if (*c == 'u' || *c == 'r') {
        ASSERT_TRUE(*c == 'u' ? at > 0 : at + 1 < stages.size());
        item(*c == 'u' ? "undo_menu" : "redo_menu");
        at = *c == 'u' ? at - 1 : at + 1;
        ASSERT_TRUE(same_picture(picture(false), stages[at]));
        continue;
      }
      if (*c == 'c') {
        VorpixPointArray *box = point_array_new();
        for (GdkPoint p : {GdkPoint{100, 50}, {300, 50}, {300, 250}, {100, 250}, {100, 50}})
          point_array_append(box, p.x, p.y);
        selection_set_points(canvas->selection, box);
        point_array_delete(box);
        item("crop_menu");
      }
      if (*c == 't') item("rotate_p90_menu");
      if (*c == 's') drag_through({{5, 5}, {120, 90}});
      stages.resize(++at);  // what could be redone is gone
      stages.push_back(picture(false));
      ASSERT_NE(stages[at], stages[at - 1]) << "the action changed nothing";
    }
  }
}

TEST_F(HistoryTest, UndoKeepsTheSelectionOutlineWhenTheSizeStays) {
  click_button("rectselect_button");
  drag_through({{10, 10}, {50, 50}});
  const vorpix_test::Points outline = vorpix_test::selection_outline(canvas);
  activate("emboss");
  undo();
  EXPECT_EQ(vorpix_test::selection_outline(canvas), outline);
  activate("rotate_p90_menu");
  drag_through({{10, 10}, {50, 600}});
  ASSERT_GE(selection_num_points(canvas->selection), 3);
  undo();
  EXPECT_EQ(selection_num_points(canvas->selection), 0);
}

}  // namespace
