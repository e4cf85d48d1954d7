// Paste mode within one window: the floating piece, dragging it, and leaving.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "document/canvas.h"
#include "document/clipboard.h"
#include "document/drawing.h"
#include "shell/util.h"
#include "tests/harness/canvas_helpers.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/view_helpers.h"
#include "tests/harness/window_fixture.h"
#include "tools/paste.h"
#include "tools/rectselect.h"
#include "tools/selection.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::LogCapture;
using vorpix_test::MainWindowTest;
using vorpix_test::paint_pattern;
using vorpix_test::pattern;
using vorpix_test::Points;
using vorpix_test::pump;
using vorpix_test::ScratchDir;

namespace {

// A tool that only counts the calls paste mode makes on it.
struct CountingTool : VorpixTool {
  int selects = 0, deselects = 0, commits = 0;
};

class PasteTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    canvas_clipboard_free(canvas_clipboard(canvas));
    paint_pattern(drawing());
    original = all_pixels();
    rect = rectangle_select_create("rectselect");
    canvas_set_tool(canvas, rect);
  }

  void TearDown() override {
    canvas_set_tool(canvas, nullptr);
    MainWindowTest::TearDown();
    rect->destroy(rect);
  }

  // Copies the 40 x 30 area whose top-left corner is (100, 50).
  void copy_piece() {
    drag(100, 50, 140, 80);
    canvas_copy(canvas);
  }

  std::vector<guint32> all_pixels() const {
    return vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480);
  }

  bool piece_at(int left, int top) const {
    for (int y = 0; y < 30; y++)
      for (int x = 0; x < 40; x++)
        if (pixel(left + x, top + y) != pattern(100 + x, 50 + y)) return false;
    return true;
  }

  Points outline() const { return vorpix_test::selection_outline(canvas); }

  GdkRectangle outline_box() const {
    GdkRectangle box;
    point_array_bounding_rectangle(selection_points(canvas->selection), &box);
    return box;
  }

  GdkCursor *area_cursor() const { return gdk_window_get_cursor(area->window); }

  std::vector<guint32> original;
  VorpixTool *rect = nullptr;
};

TEST_F(PasteTest, PasteShowsThePieceAtTheTopLeftAndDraggingPutsItBack) {
  copy_piece();
  canvas_begin_paste_mode(canvas);
  EXPECT_EQ(canvas->tool, canvas->paste_tool);
  EXPECT_EQ(canvas->saved_tool, rect);
  EXPECT_EQ(area_cursor(), canvas->paste_tool->cursor);
  EXPECT_TRUE(piece_at(0, 0));
  // The transparent last column and row of the piece leave the picture alone.
  EXPECT_EQ(pixel(40, 10), pattern(40, 10));
  EXPECT_EQ(outline(), (Points{{0, 0}, {40, 0}, {40, 30}, {0, 30}, {0, 0}}));
  EXPECT_TRUE(drawing()->modified);
  // Shown on the window at once.
  EXPECT_EQ(window_pixel(7, 9), pattern(107, 59));

  press(5, 5);
  motion(50, 20);
  motion(105, 55);
  release(105, 55);
  EXPECT_EQ(all_pixels(), original);
  GdkRectangle box = outline_box();
  EXPECT_EQ(box.x, 100);
  EXPECT_EQ(box.y, 50);
  EXPECT_EQ(canvas->tool, canvas->paste_tool);
}

TEST_F(PasteTest, APieceLandsAtTheVisibleCornerWhenTheTopLeftIsScrolledAway) {
  copy_piece();
  vorpix_test::zoom_to(canvas, 400);
  view_scroll_to(canvas->view, 600, 480);
  pump();
  canvas_begin_paste_mode(canvas);
  EXPECT_TRUE(piece_at(150, 120));
  GdkRectangle box = outline_box();
  EXPECT_EQ(box.x, 150);
  EXPECT_EQ(box.y, 120);
  EXPECT_EQ(pixel(0, 0), pattern(0, 0)) << "nothing lands at the hidden corner";
  EXPECT_EQ(window_pixel(2, 2), pattern(100, 50));
}

TEST_F(PasteTest, EachPlacementRestoresThePreviousOne) {
  copy_piece();
  canvas_begin_paste_mode(canvas);
  press(0, 0);
  for (int step = 1; step <= 20; step++) motion(step * 13, step * 7);
  release(300, 200);
  std::vector<guint32> now = all_pixels();
  for (int y = 0; y < 480; y++)
    for (int x = 0; x < 640; x++) {
      bool in_piece = x >= 300 && x < 340 && y >= 200 && y < 230;
      guint32 expected = in_piece ? pattern(x - 200, y - 150) : pattern(x, y);
      ASSERT_EQ(now[y * 640 + x], expected) << x << "," << y;
    }
}

TEST_F(PasteTest, EscapeRestoresThePreviousToolAndOtherKeysDoNothing) {
  copy_piece();
  canvas_begin_paste_mode(canvas);
  // Keys that choose no tool (a tool's key ends pasting as its button would).
  key(GDK_1);
  key(GDK_Return);
  EXPECT_EQ(canvas->tool, canvas->paste_tool);
  key(GDK_Escape);
  EXPECT_EQ(canvas->tool, rect);
  EXPECT_EQ(canvas->cursor, rect->cursor);
  EXPECT_EQ(area_cursor(), rect->cursor);
  EXPECT_TRUE(outline().empty());
  // The piece stays where it was last put.
  EXPECT_TRUE(piece_at(0, 0));
  // The restored tool works as before.
  drag(10, 10, 20, 30);
  EXPECT_EQ(outline().size(), 5u);
}

TEST_F(PasteTest, ChoosingPasteWhilePastingChangesNothing) {
  copy_piece();
  canvas_begin_paste_mode(canvas);
  press(5, 5);
  release(25, 45);
  std::vector<guint32> before = all_pixels();
  Points outline_before = outline();
  canvas_begin_paste_mode(canvas);
  EXPECT_EQ(canvas->tool, canvas->paste_tool);
  EXPECT_EQ(canvas->saved_tool, rect);
  EXPECT_EQ(all_pixels(), before);
  EXPECT_EQ(outline(), outline_before);
  // The grab offset survived as well.
  motion(105, 55);
  EXPECT_EQ(outline_box().x, 100);
}

TEST_F(PasteTest, PressJustRightOfThePieceGrabsItOneFurtherEndsPasting) {
  copy_piece();
  canvas_begin_paste_mode(canvas);
  // The rightmost outline point is at x = 40.
  press(41, 10);
  EXPECT_EQ(canvas->tool, canvas->paste_tool);
  release(41, 10);
  EXPECT_TRUE(piece_at(0, 0));
  press(42, 10);
  EXPECT_EQ(canvas->tool, rect);
  EXPECT_TRUE(piece_at(0, 0));
}

TEST_F(PasteTest, DraggingPastTheRightEdgePaintsOnlyWhatIsInside) {
  copy_piece();
  canvas_begin_paste_mode(canvas);
  LogCapture log;
  press(0, 0);
  motion(620, 100);
  for (int y = 100; y < 130; y++)
    for (int x = 620; x < 640; x++) ASSERT_EQ(pixel(x, y), pattern(x - 520, y - 50)) << x;
  EXPECT_EQ(pixel(619, 100), pattern(619, 100));
  // Wholly outside: nothing painted, the old place restored, the outline moved.
  motion(700, 100);
  release(700, 100);
  EXPECT_EQ(all_pixels(), original);
  EXPECT_EQ(outline_box().x, 700);
  // And below and left of the drawing.
  press(700, 100);
  motion(-20, 470);
  for (int x = 0; x < 20; x++) ASSERT_EQ(pixel(x, 475), pattern(x + 120, 55)) << x;
  release(-20, 470);
  EXPECT_TRUE(log.messages().empty()) << log.messages().front();
}

TEST_F(PasteTest, ASecondPasteStartsFromTheFirstPiece) {
  copy_piece();
  canvas_begin_paste_mode(canvas);
  key(GDK_Escape);
  canvas_begin_paste_mode(canvas);
  press(0, 0);
  motion(200, 300);
  release(200, 300);
  EXPECT_TRUE(piece_at(0, 0));
  EXPECT_TRUE(piece_at(200, 300));
}

TEST_F(PasteTest, AnotherToolEndsPastingWithoutBringingBackTheOldOne) {
  copy_piece();
  VorpixTool *other = rectangle_select_create("other");
  canvas_begin_paste_mode(canvas);
  canvas_set_tool(canvas, other);
  EXPECT_EQ(canvas->tool, other);
  EXPECT_TRUE(outline().empty());
  EXPECT_TRUE(piece_at(0, 0));
  // Ending paste mode now is a no-op.
  canvas_end_paste_mode(canvas);
  EXPECT_EQ(canvas->tool, other);
  canvas_set_tool(canvas, nullptr);
  other->destroy(other);
}

TEST_F(PasteTest, PasteCommitsAndDeselectsTheCurrentTool) {
  auto *counting = new CountingTool{};
  counting->name = "counting";
  counting->destroy = [](VorpixTool *t) { delete static_cast<CountingTool *>(t); };
  counting->select = [](VorpixTool *t) { static_cast<CountingTool *>(t)->selects++; };
  counting->deselect = [](VorpixTool *t) { static_cast<CountingTool *>(t)->deselects++; };
  counting->commit_change = [](VorpixTool *t) { static_cast<CountingTool *>(t)->commits++; };
  canvas_set_tool(canvas, counting);
  counting->selects = 0;
  canvas_begin_paste_mode(canvas);
  EXPECT_EQ(counting->commits, 1);
  EXPECT_EQ(counting->deselects, 1);
  EXPECT_EQ(counting->selects, 0);
  // Null cursor of the restored tool: the drawing area shows its parent's.
  press(600, 400);
  EXPECT_EQ(canvas->tool, counting);
  EXPECT_EQ(counting->selects, 1);
  EXPECT_EQ(canvas->cursor, nullptr);
  canvas_set_tool(canvas, nullptr);
  counting->destroy(counting);
}

TEST_F(PasteTest, WithoutAToolPastingEndsWithTheArrow) {
  copy_piece();
  canvas_set_tool(canvas, nullptr);
  canvas_begin_paste_mode(canvas);
  EXPECT_EQ(canvas->saved_tool, nullptr);
  EXPECT_TRUE(piece_at(0, 0));
  key(GDK_Escape);
  EXPECT_EQ(canvas->tool, nullptr);
  EXPECT_EQ(area_cursor(), canvas->arrow_cursor);
}

TEST_F(PasteTest, NothingToPasteShowsNothing) {
  canvas_begin_paste_mode(canvas);
  EXPECT_EQ(canvas->tool, canvas->paste_tool);
  EXPECT_TRUE(outline().empty());
  // Only (0, 0) is on the empty outline's box; the drag beeps and paints nothing.
  press(0, 0);
  motion(50, 50);
  release(60, 60);
  EXPECT_EQ(canvas->tool, canvas->paste_tool);
  EXPECT_EQ(all_pixels(), original);
  EXPECT_FALSE(drawing()->modified);
  press(100, 100);
  EXPECT_EQ(canvas->tool, rect);
}

// The visible new-canvas window of the test's main window.
GtkWidget *new_canvas_window() {
  GtkWidget *found = nullptr;
  GList *toplevels = gtk_window_list_toplevels();
  for (GList *node = toplevels; node; node = node->next)
    if (GTK_WIDGET_VISIBLE(node->data) &&
        g_strcmp0(gtk_widget_get_name(GTK_WIDGET(node->data)), "new_canvas_window") == 0)
      found = GTK_WIDGET(node->data);
  g_list_free(toplevels);
  return found;
}

// New, open and get desktop end paste mode, the piece left where it was put,
// before the new picture comes: nothing of the old picture is put back into
// the new one when the drag goes on.
TEST_F(PasteTest, PasteModeEndsBeforeTheDrawingIsReplaced) {
  ScratchDir scratch;
  const std::string green = scratch.file("green.png");
  vorpix_test::write_png(green, 300, 200, 0x00ff00);
  auto activate = [&](const char *item) {
    gtk_menu_item_activate(GTK_MENU_ITEM(widget(item)));
    pump();
  };
  const std::pair<const char *, std::function<void(DialogAnswerer &)>> replacements[] = {
      {"new",
       [&](DialogAnswerer &dialogs) {
         dialogs.answer(GTK_RESPONSE_NO);  // the prompt: discard the pasted piece
         activate("new_file_menu");
         GtkWidget *dialog = new_canvas_window();
         ASSERT_NE(dialog, nullptr);
         gtk_button_clicked(GTK_BUTTON(lookup_widget(dialog, "new_canvas_ok_button")));
       }},
      {"open",
       [&](DialogAnswerer &dialogs) {
         dialogs.answer(GTK_RESPONSE_NO);
         dialogs.answer(GTK_RESPONSE_ACCEPT,
                        [&](GtkWidget *d) { vorpix_test::choose_file(d, green); });
         activate("open_menu");
       }},
      {"get desktop",
       [&](DialogAnswerer &dialogs) {
         dialogs.answer(GTK_RESPONSE_NO);
         activate("get_desktop");
       }},
      {"a drawing set directly",
       [&](DialogAnswerer &) {
         canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 400, 300));
       }},
  };
  for (const auto &[name, replace] : replacements) {
    SCOPED_TRACE(name);
    canvas_set_tool(canvas, rect);
    paint_pattern(drawing());
    copy_piece();
    canvas_begin_paste_mode(canvas);
    drag(5, 5, 205, 105);
    ASSERT_TRUE(piece_at(200, 100));
    press(205, 105);  // the piece is grabbed again when the command comes
    {
      DialogAnswerer dialogs;
      replace(dialogs);
      pump();
      EXPECT_EQ(dialogs.pending(), 0);
    }
    EXPECT_EQ(canvas->tool, rect) << "paste mode goes on in the new picture";
    EXPECT_EQ(selection_num_points(canvas->selection), 0);
    const std::vector<guint32> replaced =
        vorpix_test::drawable_pixels(drawing()->backing_pixmap, drawing()->width, drawing()->height);
    motion(60, 40);
    release(60, 40);
    EXPECT_EQ(vorpix_test::drawable_pixels(drawing()->backing_pixmap, drawing()->width,
                                           drawing()->height),
              replaced);
  }
}

}  // namespace
