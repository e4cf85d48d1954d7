// The text tool through real events on the drawing area: clicks place the
// insertion point, key releases edit, and the picture is read back from the
// backing pixmap and the window.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "shell/util.h"
#include "tests/harness/window_fixture.h"
#include "tools/text.h"

using vorpix_test::drawable_pixels;
using vorpix_test::pump;
using vorpix_test::run_for;

namespace {

constexpr guint32 kWhite = 0xFFFFFF;
constexpr guint32 kBlack = 0x000000;
constexpr guint32 kRed = 0xFF0000;
constexpr int kRegion = 300;
constexpr const char *kFont = "DejaVu Sans 14";

struct ToolDestroy {
  void operator()(VorpixTool *tool) const { tool->destroy(tool); }
};
using ToolPtr = std::unique_ptr<VorpixTool, ToolDestroy>;

struct Box {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  bool empty() const { return left > right; }
};

class TextTest : public vorpix_test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    click_button("text_button");
    text = canvas->tool;
    ASSERT_STREQ(text->name, "text");
    choose_font(kFont);
    // Without a window manager focus follows the pointer; start without it so
    // that no caret tick paints into what the tests read.
    vorpix_test::send_focus(window, false);
    pump();
    ASSERT_EQ(canvas->has_focus, 0);
  }

  VorpixText *record() const { return static_cast<VorpixText *>(text); }

  // As if the font were chosen in the font picker's dialog.
  void choose_font(const char *font) {
    GtkWidget *fontpicker = widget("fontpicker");
    gtk_font_button_set_font_name(GTK_FONT_BUTTON(fontpicker), font);
    g_signal_emit_by_name(fontpicker, "font-set");
  }

  void type(const char *letters) {
    for (const char *c = letters; *c; c++) key(static_cast<guchar>(*c));
  }

  std::vector<guint32> picture() const {
    return drawable_pixels(drawing()->backing_pixmap, kRegion, kRegion);
  }
  std::vector<guint32> shown() const { return drawable_pixels(area->window, kRegion, kRegion); }

  // The box of the pixels that are not white, in pixels of the region (or
  // of a block as wide as the region).
  static Box ink(const std::vector<guint32> &pixels) {
    Box box;
    const int rows = static_cast<int>(pixels.size()) / kRegion;
    for (int y = 0; y < rows; y++) {
      for (int x = 0; x < kRegion; x++) {
        if (pixels[y * kRegion + x] == kWhite) continue;
        box.left = std::min(box.left, x), box.right = std::max(box.right, x);
        box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
      }
    }
    return box;
  }

  static int count(const std::vector<guint32> &pixels, guint32 color) {
    int n = 0;
    for (guint32 p : pixels) n += p == color;
    return n;
  }

  // A block of the region, for comparing two pieces of text.
  static std::vector<guint32> block(const std::vector<guint32> &pixels, int x, int y, int w,
                                    int h) {
    std::vector<guint32> result;
    for (int row = y; row < y + h; row++)
      for (int col = x; col < x + w; col++) result.push_back(pixels[row * kRegion + col]);
    return result;
  }

  // The pixel height of one line in the drawing area's font.
  int line_height() const {
    PangoLayout *layout = gtk_widget_create_pango_layout(area, "x");
    int width, height;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    return height;
  }

  void expose() {
    gdk_window_invalidate_rect(area->window, nullptr, FALSE);
    pump();
  }

  void give_focus() {
    vorpix_test::send_focus(window, true);
    gtk_widget_grab_focus(area);
    pump();
    ASSERT_EQ(canvas->has_focus, 1);
  }

  VorpixTool *text = nullptr;
};

TEST_F(TextTest, TypedTextIsCommittedAtTheInsertionPointByTheNextClick) {
  click(10, 20);
  type("Hi");
  EXPECT_EQ(ink(picture()).empty(), true) << "typed text shows on the window only";
  Box on_window = ink(shown());
  ASSERT_FALSE(on_window.empty());
  EXPECT_EQ(drawing()->modified, 0);

  click(200, 200);
  std::vector<guint32> pixels = picture();
  Box box = ink(pixels);
  ASSERT_FALSE(box.empty());
  EXPECT_GE(box.left, 10);
  EXPECT_GE(box.top, 20);
  EXPECT_LT(box.right, 10 + 40);
  EXPECT_LT(box.bottom, 20 + line_height());
  EXPECT_GT(count(pixels, kBlack), 5) << "painted in the foreground colour";
  EXPECT_EQ(drawing()->modified, 1);
  // The whole picture holds nothing else.
  std::vector<guint32> all = drawable_pixels(drawing()->backing_pixmap, drawing()->width,
                                             drawing()->height);
  EXPECT_EQ(static_cast<int>(all.size()) - count(all, kWhite),
            kRegion * kRegion - count(pixels, kWhite));
  EXPECT_EQ(shown(), pixels);
}

TEST_F(TextTest, BackSpaceRemovesTheLastCharacter) {
  click(10, 20);
  type("ac");
  click(10, 100);
  key(GDK_BackSpace);  // nothing to remove yet
  type("ab");
  key(GDK_BackSpace);
  type("c");
  click(200, 250);
  std::vector<guint32> pixels = picture();
  int h = line_height();
  EXPECT_FALSE(ink(block(pixels, 0, 0, kRegion, 20 + h)).empty());
  EXPECT_EQ(block(pixels, 0, 20, 100, h), block(pixels, 0, 100, 100, h));
}

TEST_F(TextTest, EscapeDiscardsTheTextAndWipesTheWindow) {
  click(10, 20);
  type("Hi");
  ASSERT_FALSE(ink(shown()).empty());
  key(GDK_Escape);
  EXPECT_TRUE(ink(shown()).empty());
  click(200, 200);
  EXPECT_TRUE(ink(picture()).empty());
  EXPECT_EQ(drawing()->modified, 0);
}

TEST_F(TextTest, TextNearThePicturesEdgeLeavesNothingBeyondIt) {
  // The drawing area is wider than the picture; what lies beyond the picture
  // is no part of it, and typed text must not be left there.
  const int width = drawing()->width;
  const int beyond = area->allocation.width - width;
  ASSERT_GT(beyond, 0);
  const int top = 20, rows = line_height() + 2;
  auto strip = [&] {
    std::vector<guint32> all = drawable_pixels(area->window, width + beyond, top + rows);
    std::vector<guint32> out;
    for (int y = top; y < top + rows; y++)
      out.insert(out.end(), all.begin() + y * (width + beyond) + width,
                 all.begin() + (y + 1) * (width + beyond));
    return out;
  };
  const std::vector<guint32> before = strip();
  auto changed = [&] {
    std::vector<guint32> now = strip();
    int n = 0;
    for (size_t i = 0; i < now.size(); i++) n += now[i] != before[i];
    return n;
  };

  click(width - 10, top);
  type("Wide");
  EXPECT_EQ(changed(), 0) << "while typing";
  key(GDK_Escape);
  EXPECT_EQ(changed(), 0) << "after Escape";

  click(width - 10, top);
  type("Wide");
  click(200, 200);
  EXPECT_EQ(changed(), 0) << "after the commit";
}

TEST_F(TextTest, ReturnStartsASecondLine) {
  click(10, 20);
  type("x");
  key(GDK_Return);
  type("x");
  click(200, 200);
  std::vector<guint32> pixels = picture();
  int h = line_height();
  std::vector<guint32> first = block(pixels, 10, 20, 30, h);
  std::vector<guint32> second = block(pixels, 10, 20 + h, 30, h);
  EXPECT_FALSE(ink(pixels).empty());
  EXPECT_EQ(first, second) << "the same letter, one line further down";
  EXPECT_LT(count(second, kWhite), static_cast<int>(second.size()));
}

TEST_F(TextTest, CaretAfterReturnSitsAtTheStartOfTheNewLine) {
  give_focus();
  click(100, 20);
  type("xx");
  key(GDK_Return);
  std::vector<guint32> text_only = shown();
  int h = line_height();
  text_blink(text);  // draws the caret
  std::vector<guint32> with_caret = shown();
  Box caret;
  for (int y = 0; y < kRegion; y++) {
    for (int x = 0; x < kRegion; x++) {
      if (with_caret[y * kRegion + x] == text_only[y * kRegion + x]) continue;
      caret.left = std::min(caret.left, x), caret.right = std::max(caret.right, x);
      caret.top = std::min(caret.top, y), caret.bottom = std::max(caret.bottom, y);
    }
  }
  ASSERT_FALSE(caret.empty());
  EXPECT_EQ(caret.left, 101);
  EXPECT_EQ(caret.right, 101);
  EXPECT_GE(caret.top, 20 + h - 1);
  EXPECT_LE(caret.bottom, 20 + 2 * h);
  text_blink(text);  // wipes it
  EXPECT_EQ(shown(), text_only);
}

TEST_F(TextTest, CaretBlinksOnlyWithFocus) {
  click(10, 20);
  type("H");
  std::vector<guint32> text_only = shown();
  for (int i = 0; i < 4; i++) {
    text_blink(text);
    EXPECT_EQ(shown(), text_only) << "tick " << i;
  }
  run_for(1100);
  EXPECT_EQ(shown(), text_only);

  give_focus();
  text_blink(text);
  EXPECT_NE(shown(), text_only);
  text_blink(text);
  EXPECT_EQ(shown(), text_only);

  // The timeout itself alternates the two phases.
  bool seen_caret = false, seen_wiped_after = false;
  gint64 end = g_get_monotonic_time() + 1600 * 1000;
  while (g_get_monotonic_time() < end && !seen_wiped_after) {
    run_for(50);
    bool caret = shown() != text_only;
    if (caret) seen_caret = true;
    if (seen_caret && !caret) seen_wiped_after = true;
  }
  EXPECT_TRUE(seen_caret);
  EXPECT_TRUE(seen_wiped_after);

  // Losing focus wipes the caret whatever the phase.
  text_blink(text);
  canvas_focus_lost(canvas);
  EXPECT_EQ(shown(), text_only);
}

// The font picker stays usable whichever tool is current.
TEST_F(TextTest, ChoosingAnotherToolCommitsAndKeepsTheFontPickerSensitive) {
  GtkWidget *fontpicker = widget("fontpicker");
  EXPECT_TRUE(GTK_WIDGET_SENSITIVE(fontpicker));
  give_focus();
  click(10, 20);
  type("Hi");
  text_blink(text);  // caret shown
  guint timer = record()->timer;
  click_button("rectangle_button");
  EXPECT_TRUE(GTK_WIDGET_SENSITIVE(fontpicker));
  std::vector<guint32> pixels = picture();
  EXPECT_FALSE(ink(pixels).empty());
  EXPECT_EQ(drawing()->modified, 1);
  EXPECT_EQ(shown(), pixels) << "the caret is wiped";
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, timer), nullptr) << "the caret stops";

  click_button("text_button");
  EXPECT_TRUE(GTK_WIDGET_SENSITIVE(fontpicker));
}

TEST_F(TextTest, CommitChangePutsTheTextIntoThePictureAndWipesTheCaret) {
  give_focus();
  click(10, 20);
  type("Hi");
  text_blink(text);
  canvas_commit_change(canvas);
  std::vector<guint32> pixels = picture();
  EXPECT_FALSE(ink(pixels).empty());
  EXPECT_EQ(shown(), pixels);
  // Nothing is left to commit: the next click adds nothing.
  click(150, 150);
  EXPECT_EQ(picture(), pixels);
}

TEST_F(TextTest, CommitChangeWithoutTextStillMarksTheDrawingModified) {
  click(10, 20);
  canvas_commit_change(canvas);
  EXPECT_TRUE(ink(picture()).empty());
  EXPECT_EQ(drawing()->modified, 1);
}

TEST_F(TextTest, FontChosenWhileEditingChangesTheNextPainting) {
  click(10, 20);
  type("H");
  Box small = ink(shown());
  ASSERT_FALSE(small.empty());
  choose_font("DejaVu Sans 40");
  EXPECT_EQ(ink(shown()).bottom, small.bottom) << "not before the next painting";
  expose();
  Box large = ink(shown());
  EXPECT_GT(large.bottom - large.top, 2 * (small.bottom - small.top));
  click(250, 250);
  Box committed = ink(picture());
  EXPECT_EQ(committed.bottom - committed.top, large.bottom - large.top);
}

TEST_F(TextTest, NewForegroundColourRecoloursTheTextBeingEdited) {
  click(10, 20);
  type("HH");
  EXPECT_GT(count(shown(), kBlack), 5);
  // Swatch 2 of the colour palette is red.
  press_swatch(2);
  EXPECT_EQ(count(shown(), kRed), 0) << "not before the next painting";
  expose();
  std::vector<guint32> on_window = shown();
  EXPECT_GT(count(on_window, kRed), 5);
  EXPECT_EQ(count(on_window, kBlack), 0);
  click(200, 200);
  std::vector<guint32> pixels = picture();
  EXPECT_GT(count(pixels, kRed), 5);
  EXPECT_EQ(count(pixels, kBlack), 0);
}

TEST_F(TextTest, ExposeRepaintsTheUncommittedText) {
  click(10, 20);
  type("Hi");
  std::vector<guint32> before = shown();
  ASSERT_FALSE(ink(before).empty());
  expose();
  EXPECT_EQ(shown(), before);
  EXPECT_TRUE(ink(picture()).empty());
}

TEST_F(TextTest, ControlAndFunctionKeysTypeNothing) {
  click(10, 20);
  key(GDK_Left);
  key(GDK_F1);
  key(GDK_Tab);
  key(GDK_Home);
  key(GDK_Shift_L);
  key(GDK_Return, "\r");
  key(GDK_Escape, "\x1b");
  click(10, 100);
  key(GDK_Return);
  canvas_commit_change(canvas);
  EXPECT_TRUE(ink(picture()).empty());
}

TEST_F(TextTest, TextTypedWithoutInsertionPointJoinsTheTextTypedAtTheNext) {
  click(10, 20);
  type("ac");
  canvas_commit_change(canvas);
  type("a");  // shown at the last insertion point, not committed by a press
  click(10, 100);
  type("c");
  click(250, 250);
  std::vector<guint32> pixels = picture();
  int h = line_height();
  EXPECT_EQ(block(pixels, 0, 20, 100, h), block(pixels, 0, 100, 100, h));
}

// Keys as a quick typist presses them: the character is the press's, with
// the modifiers of that moment, and the characters keep the order of the
// presses whichever key is let go first.
TEST_F(TextTest, KeysTypeWhatTheirPressesGaveInTheOrderOfThePresses) {
  auto press = [&](guint keyval, const char *text, guint state = 0) {
    vorpix_test::send_key(area, GDK_KEY_PRESS, keyval, text, state);
  };
  auto release = [&](guint keyval, const char *text, guint state = 0) {
    vorpix_test::send_key(area, GDK_KEY_RELEASE, keyval, text, state);
  };
  click(10, 20);
  // Shift let go before H.
  press(GDK_Shift_L, "");
  press(GDK_H, "H", GDK_SHIFT_MASK);
  release(GDK_Shift_L, "", GDK_SHIFT_MASK);
  release(GDK_h, "h");
  // e held over l's press; then o released before l.
  press(GDK_e, "e");
  press(GDK_l, "l");
  release(GDK_e, "e");
  release(GDK_l, "l");
  press(GDK_l, "l");
  press(GDK_o, "o");
  release(GDK_o, "o");
  release(GDK_l, "l");
  click(10, 100);
  type("Hello");
  click(10, 180);
  type("hello");
  click(250, 250);
  std::vector<guint32> pixels = picture();
  const int h = line_height();
  EXPECT_EQ(block(pixels, 0, 20, 120, h), block(pixels, 0, 100, 120, h));
  ASSERT_NE(block(pixels, 0, 100, 120, h), block(pixels, 0, 180, 120, h));
}

// Tab and the arrows would move the keyboard focus to another widget, and
// the letters after them with it.
TEST_F(TextTest, TabAndArrowsKeepTheKeysInTheDrawingArea) {
  ASSERT_NO_FATAL_FAILURE(give_focus());
  click(10, 20);
  key('a');
  for (guint keyval : {GDK_Tab, GDK_ISO_Left_Tab, GDK_Left, GDK_Right, GDK_Up, GDK_Down}) {
    key(keyval);
    EXPECT_TRUE(gtk_widget_has_focus(area)) << gdk_keyval_name(keyval);
  }
  key('b');
  click(10, 100);
  type("ab");
  click(250, 250);
  std::vector<guint32> pixels = picture();
  const int h = line_height();
  EXPECT_EQ(block(pixels, 0, 20, 120, h), block(pixels, 0, 100, 120, h));
}

// From start-up the font picker shows the font the text is drawn in.
TEST_F(TextTest, FontPickerShowsTheFontOfTheTextFromTheStart) {
  GtkWidget *other = open_window();
  gtk_button_clicked(GTK_BUTTON(lookup_widget(other, "text_button")));
  pump();
  GtkWidget *picker = lookup_widget(other, "fontpicker");
  PangoFontDescription *shown =
      pango_font_description_from_string(gtk_font_button_get_font_name(GTK_FONT_BUTTON(picker)));
  GtkWidget *other_area = canvas_of(other)->drawing_area;
  PangoLayout *layout = gtk_widget_create_pango_layout(other_area, "x");
  const PangoFontDescription *used = pango_context_get_font_description(
      pango_layout_get_context(layout));
  EXPECT_TRUE(pango_font_description_equal(shown, used))
      << pango_font_description_to_string(shown) << " shown, "
      << pango_font_description_to_string(used) << " used";
  g_object_unref(layout);
  pango_font_description_free(shown);
}

TEST_F(TextTest, OnlyTheFontIsTaken) {
  // A tool never current keeps the font for its first select.
  ToolPtr fresh(text_create("text"));
  EXPECT_EQ(fresh->attribute(fresh.get(), TOOL_ATTRIBUTE_FONT, kFont), 1);
  int filled = 1;
  EXPECT_EQ(text->attribute(text, TOOL_ATTRIBUTE_FILLED, &filled), 0);
  GdkColor red = {0, 0xFFFF, 0, 0};
  EXPECT_EQ(text->attribute(text, TOOL_ATTRIBUTE_FOREGROUND, &red), 0);
  EXPECT_EQ(text->attribute(text, TOOL_ATTRIBUTE_FONT, nullptr), 0);
}

TEST_F(TextTest, CaretTimerEndsWithTheWindow) {
  // The palette destroys the current text tool with the window.
  GtkWidget *second = open_window();
  gtk_button_clicked(GTK_BUTTON(lookup_widget(second, "text_button")));
  guint timer = static_cast<VorpixText *>(canvas_of(second)->tool)->timer;
  ASSERT_NE(timer, 0u);
  gtk_widget_destroy(second);
  pump();
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, timer), nullptr);
  run_for(600);
}

TEST_F(TextTest, CaretTimerEndsWithTheCanvasWhenTheToolOutlivesIt) {
  GtkWidget *second = open_window();
  ToolPtr tool(text_create("text"));
  canvas_set_tool(canvas_of(second), tool.get());
  guint timer = static_cast<VorpixText *>(tool.get())->timer;
  ASSERT_NE(timer, 0u);
  gtk_widget_destroy(second);
  pump();
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, timer), nullptr);
  run_for(600);  // a tick now would find no canvas
}

}  // namespace
