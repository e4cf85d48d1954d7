// The picture size commands through the menus and their dialogs: crop to the
// selection, canvas size, scale, rotate, revert, and the canvas enlarged for
// a paste; their limits and their undo steps.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/clipboard.h"
#include "document/drawing.h"
#include "document/drawing_size.h"
#include "imaging/image.h"
#include "imaging/image_size.h"
#include "document/history.h"
#include "shell/util.h"
#include "tests/harness/canvas_helpers.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"
#include "tools/paste.h"
#include "tools/selection.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::find_named;
using vorpix_test::paint_pattern;
using vorpix_test::pattern;
using vorpix_test::pump;

namespace {

constexpr guint32 kBackground = 0x20c040;
constexpr char kInvalid[] = "Invalid width or height values";

using Pixels = std::vector<guint32>;
using Action = DialogAnswerer::Action;

class SizeCommandTest : public vorpix_test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    canvas_clipboard_free(canvas_clipboard(canvas));
    paint_pattern(drawing());
    GdkColor colour = {0, 0x2020, 0xc0c0, 0x4040};
    gdk_colormap_alloc_color(gdk_colormap_get_system(), &colour, FALSE, TRUE);
    gdk_gc_set_background(canvas->gc, &colour);
  }

  void activate(const char *name) {
    gtk_menu_item_activate(GTK_MENU_ITEM(widget(name)));
    pump();
  }
  bool sensitive(const char *name) const { return GTK_WIDGET_SENSITIVE(widget(name)); }

  // Runs a dialog command, filling its dialog in with fill before OK.
  void run(const char *item, Action fill, int response = GTK_RESPONSE_OK) {
    DialogAnswerer dialogs;
    dialogs.answer(response, std::move(fill));
    activate(item);
    ASSERT_EQ(dialogs.answered(), 1) << item;
  }

  Pixels pixels() const {
    pump();
    return vorpix_test::drawable_pixels(drawing()->backing_pixmap, drawing()->width,
                                        drawing()->height);
  }
  std::pair<int, int> size() const { return {drawing()->width, drawing()->height}; }

  void select(std::vector<GdkPoint> points) {
    VorpixPointArray *pa = point_array_new();
    for (GdkPoint p : points) point_array_append(pa, p.x, p.y);
    selection_set_points(canvas->selection, pa);
    point_array_delete(pa);
  }
};

GtkSpinButton *spin(GtkWidget *dialog, const char *name) {
  GtkWidget *w = find_named(dialog, name);
  EXPECT_NE(w, nullptr) << name;
  return GTK_SPIN_BUTTON(w);
}

void type(GtkWidget *dialog, const char *name, const char *text) {
  gtk_entry_set_text(GTK_ENTRY(spin(dialog, name)), text);
}

int value(GtkWidget *dialog, const char *name) {
  return gtk_spin_button_get_value_as_int(spin(dialog, name));
}

void choose(GtkWidget *dialog, const char *name, bool active = true) {
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(find_named(dialog, name)), active);
}

Action canvas_size(const char *width, const char *height, int anchor) {
  return [=](GtkWidget *d) {
    type(d, "canvas_size_width", width);
    type(d, "canvas_size_height", height);
    gchar *name = g_strdup_printf("canvas_size_anchor%d", anchor);
    choose(d, name);
    g_free(name);
  };
}

Action scale(const char *percent, bool exact) {
  return [=](GtkWidget *d) {
    type(d, "scale_percent", percent);
    choose(d, exact ? "scale_pixel_exact" : "scale_smooth");
  };
}

Action rotate(const char *degrees) {
  return [=](GtkWidget *d) { type(d, "rotate_angle", degrees); };
}

TEST_F(SizeCommandTest, CropKeepsTheRectangleOrTheLassoInTheBackgroundColour) {
  // A rectangle from (100, 50) to (140, 80) encloses 40 x 30 pixels.
  select({{100, 50}, {140, 50}, {140, 80}, {100, 80}, {100, 50}});
  activate("crop_menu");
  ASSERT_EQ(size(), std::make_pair(40, 30));
  for (int y = 0; y < 30; y++)
    for (int x = 0; x < 40; x++) ASSERT_EQ(pixel(x, y), pattern(100 + x, 50 + y)) << x << "," << y;
  EXPECT_EQ(selection_num_points(canvas->selection), 0);
  EXPECT_FALSE(sensitive("crop_menu"));
  EXPECT_NE(std::string(title()).find("(modified)"), std::string::npos);

  // A triangle reaching beyond the picture's right edge: clipped there, the
  // corner outside the lasso in the background colour.
  select({{10, 0}, {60, 0}, {10, 20}, {10, 0}});
  activate("crop_menu");
  ASSERT_EQ(size(), std::make_pair(30, 20));
  EXPECT_EQ(pixel(0, 0), pattern(110, 50));
  EXPECT_EQ(pixel(29, 0), pattern(139, 50));
  EXPECT_EQ(pixel(0, 19), pattern(110, 69));
  EXPECT_EQ(pixel(29, 19), kBackground);
  EXPECT_EQ(pixel(20, 15), kBackground);
}

// Crop and canvas size work on the server alone: pixel for pixel they give
// what the image functions give for the same picture, at every anchor,
// growing, shrinking and both at once, for rectangles and ragged lassos.
TEST_F(SizeCommandTest, CropAndCanvasSizeGiveWhatTheImageFunctionsGive) {
  const guchar rgb[3] = {0x20, 0xc0, 0x40};
  VorpixImage *picture = drawing_create_image(drawing());
  auto check = [&](const std::function<DrawingSizeResult()> &command, VorpixImage *expected) {
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 640, 480));
    paint_pattern(drawing());
    ASSERT_EQ(command(), DRAWING_SIZE_DONE);
    VorpixImage *got = drawing_create_image(drawing());
    ASSERT_EQ(image_width(got), image_width(expected));
    ASSERT_EQ(image_height(got), image_height(expected));
    for (int y = 0; y < image_height(got); y++)
      ASSERT_EQ(memcmp(image_pixels(got) + y * image_rowstride(got),
                       image_pixels(expected) + y * image_rowstride(expected),
                       image_width(got) * image_pixelsize(got)), 0) << "row " << y;
    image_free(got);
    image_free(expected);
  };
  for (int anchor = 0; anchor < IMAGE_ANCHOR_COUNT; anchor++)
    for (std::pair<int, int> to : {std::make_pair(741, 539), {539, 341}, {700, 401}, {3, 900}}) {
      SCOPED_TRACE(testing::Message() << "anchor " << anchor << ", " << to.first << "x" << to.second);
      check([&] { return drawing_resize_canvas(drawing(), to.first, to.second, anchor); },
            image_canvas_resize(picture, to.first, to.second, anchor, rgb));
    }
  const std::vector<GdkPoint> outlines[] = {
      {{100, 50}, {140, 50}, {140, 80}, {100, 80}, {100, 50}},
      {{-30, 200}, {300, -40}, {700, 300}, {320, 120}, {200, 470}, {-30, 200}},
      {{10, 10}, {600, 10}, {10, 400}, {600, 400}, {10, 10}},  // crossing itself
  };
  for (const auto &points : outlines) {
    SCOPED_TRACE(testing::Message() << "outline of " << points.size() << " points");
    VorpixPointArray *outline = point_array_new();
    for (GdkPoint p : points) point_array_append(outline, p.x, p.y);
    GdkRectangle box;
    ASSERT_TRUE(image_outline_box(outline, 640, 480, &box));
    VorpixImage *cut = image_new(box.width, box.height);
    gdk_pixbuf_copy_area(image_pixbuf(picture), box.x, box.y, box.width, box.height,
                         image_pixbuf(cut), 0, 0);
    image_fill_outside(cut, outline, box.x, box.y, rgb);
    check([&] { return drawing_crop(drawing(), outline); }, cut);
    point_array_delete(outline);
  }
  image_free(picture);
}

TEST_F(SizeCommandTest, CropIsThereExactlyWhileThereIsASelection) {
  EXPECT_FALSE(sensitive("crop_menu"));
  activate("select_all");
  EXPECT_TRUE(sensitive("crop_menu"));
  select({{0, 0}, {5, 5}});
  EXPECT_FALSE(sensitive("crop_menu"));
  activate("select_all");
  canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 50, 50));
  EXPECT_FALSE(sensitive("crop_menu"));
  // Paste mode's piece is a selection too.
  activate("select_all");
  activate("copy_menu");
  activate("paste_menu");
  EXPECT_TRUE(sensitive("crop_menu"));
  canvas_end_paste_mode(canvas);
  EXPECT_FALSE(sensitive("crop_menu"));
}

// Growing by 100 x 60 at the bottom-right keeps the picture there; shrinking
// at the centre cuts equally on both sides.
TEST_F(SizeCommandTest, CanvasSizeStartsAtThePictureAndKeepsItAtTheAnchor) {
  run("canvas_size_menu", [](GtkWidget *d) {
    EXPECT_EQ(value(d, "canvas_size_width"), 640);
    EXPECT_EQ(value(d, "canvas_size_height"), 480);
    EXPECT_TRUE(gtk_toggle_button_get_active(
        GTK_TOGGLE_BUTTON(find_named(d, "canvas_size_anchor0"))));
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(d)));
    canvas_size("740", "540", 8)(d);
  });
  ASSERT_EQ(size(), std::make_pair(740, 540));
  EXPECT_EQ(pixel(0, 0), kBackground);
  EXPECT_EQ(pixel(99, 539), kBackground);
  EXPECT_EQ(pixel(100, 60), pattern(0, 0));
  EXPECT_EQ(pixel(739, 539), pattern(639, 479));

  run("canvas_size_menu", canvas_size("540", "340", 4));
  ASSERT_EQ(size(), std::make_pair(540, 340));
  // 100 cut on every side: (0, 0) was (100, 100), which held pattern (0, 40).
  EXPECT_EQ(pixel(0, 0), pattern(0, 40));
  EXPECT_EQ(pixel(539, 339), pattern(539, 379));
}

TEST_F(SizeCommandTest, SizesBeyondTheLimitsAreHeldBackOrRefused) {
  // As typed: 32768 and 0 go back within 1 to 32767.
  run("canvas_size_menu", [](GtkWidget *d) {
    type(d, "canvas_size_width", "32768");
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(spin(d, "canvas_size_width"))), "32767");
    type(d, "canvas_size_height", "0");
    EXPECT_EQ(value(d, "canvas_size_height"), 1);
  });
  ASSERT_EQ(size(), std::make_pair(32767, 1));
  activate("undo_menu");
  ASSERT_EQ(size(), std::make_pair(640, 480));

  // 20000 x 20000 is more than 2^28 pixels: the message, and nothing changes.
  const Pixels before = pixels();
  for (const char *item : {"canvas_size_menu", "scale_image_menu"}) {
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_OK, [item](GtkWidget *d) {
      const std::string prefix = item[0] == 'c' ? "canvas_size" : "scale";
      if (prefix == "scale") choose(d, "scale_keep_aspect", false);
      type(d, (prefix + "_width").c_str(), "20000");
      type(d, (prefix + "_height").c_str(), "20000");
    });
    dialogs.answer(GTK_RESPONSE_OK);
    activate(item);
    ASSERT_EQ(dialogs.answered(), 2) << item;
    EXPECT_EQ(dialogs.texts().back(), kInvalid);
    EXPECT_EQ(size(), std::make_pair(640, 480));
    EXPECT_EQ(pixels(), before);
  }
  EXPECT_EQ(history_undo_steps(canvas), 0);
}

TEST_F(SizeCommandTest, ScaleDialogLinksWidthHeightAndPercentage) {
  run("scale_image_menu", [](GtkWidget *d) {
    EXPECT_EQ(value(d, "scale_width"), 640);
    EXPECT_EQ(value(d, "scale_height"), 480);
    type(d, "scale_width", "320");
    EXPECT_EQ(value(d, "scale_height"), 240);
    EXPECT_EQ(value(d, "scale_percent"), 50);
    type(d, "scale_percent", "200");
    EXPECT_EQ(value(d, "scale_width"), 1280);
    EXPECT_EQ(value(d, "scale_height"), 960);
    choose(d, "scale_keep_aspect", false);
    type(d, "scale_height", "100");
    EXPECT_EQ(value(d, "scale_width"), 1280);
  });
  EXPECT_EQ(size(), std::make_pair(1280, 100));
}

// Nearest neighbour at 50% takes each pixel under the new pixel's centre, at
// 200% repeats each pixel twice each way.
TEST_F(SizeCommandTest, PixelExactScalingByHalfAndDoubleCopiesPixels) {
  run("scale_image_menu", scale("50", true));
  ASSERT_EQ(size(), std::make_pair(320, 240));
  for (int y = 0; y < 240; y += 7)
    for (int x = 0; x < 320; x += 5)
      ASSERT_EQ(pixel(x, y), pattern(2 * x + 1, 2 * y + 1)) << x << "," << y;
  run("scale_image_menu", scale("200", true));
  ASSERT_EQ(size(), std::make_pair(640, 480));
  for (int y = 0; y < 480; y += 7)
    for (int x = 0; x < 640; x += 5)
      ASSERT_EQ(pixel(x, y), pattern(x / 2 * 2 + 1, y / 2 * 2 + 1)) << x << "," << y;
}

TEST_F(SizeCommandTest, RotateByThirtyAndByMinusNinety) {
  run("rotate_by_menu", rotate("-90"));
  ASSERT_EQ(size(), std::make_pair(480, 640));
  // Counter-clockwise: the top-right corner comes to the top-left.
  for (int y = 0; y < 640; y += 9)
    for (int x = 0; x < 480; x += 7) ASSERT_EQ(pixel(x, y), pattern(639 - y, x)) << x << "," << y;

  canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 640, 480));
  run("rotate_by_menu", rotate("30"));
  // 640 cos 30 + 480 sin 30 by 640 sin 30 + 480 cos 30.
  ASSERT_EQ(size(), std::make_pair(794, 736));
  EXPECT_EQ(pixel(0, 0), kBackground);
  EXPECT_EQ(pixel(793, 735), kBackground);
  EXPECT_EQ(pixel(397, 368), 0xffffffu);
  // Clockwise: the old top-left corner is now up and to the right of the
  // left edge's middle; the left edge's middle itself is uncovered.
  EXPECT_EQ(pixel(0, 368), kBackground);
  EXPECT_EQ(pixel(240 + 10, 10), 0xffffffu);
}

TEST_F(SizeCommandTest, EachCommandIsOneStepUndoneAndRedone) {
  struct Case {
    const char *item;
    Action fill;
    std::pair<int, int> size;
  };
  const Case cases[] = {
      {"crop_menu", nullptr, {40, 30}},
      {"canvas_size_menu", canvas_size("700", "500", 4), {700, 500}},
      {"scale_image_menu", scale("50", false), {320, 240}},
      {"scale_image_menu", scale("50", true), {320, 240}},
      {"rotate_by_menu", rotate("30"), {794, 736}},
      {"rotate_by_menu", rotate("-90"), {480, 640}},
  };
  const Pixels original = pixels();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.item);
    const int steps = history_undo_steps(canvas);
    if (c.fill) {
      run(c.item, c.fill);
    } else {
      select({{100, 50}, {140, 50}, {140, 80}, {100, 80}, {100, 50}});
      activate(c.item);
    }
    ASSERT_EQ(size(), c.size);
    EXPECT_EQ(history_undo_steps(canvas), steps + 1);
    const Pixels result = pixels();
    activate("undo_menu");
    EXPECT_EQ(size(), std::make_pair(640, 480));
    EXPECT_EQ(pixels(), original);
    activate("redo_menu");
    EXPECT_EQ(size(), c.size);
    EXPECT_EQ(pixels(), result);
    activate("undo_menu");
  }
}

class RevertTest : public SizeCommandTest {
 protected:
  void SetUp() override {
    SizeCommandTest::SetUp();
    ASSERT_TRUE(drawing_save_as(drawing(), file.c_str()));
    saved = pixels();
  }
  // A change since saving: a 200 x 100 canvas.
  void change() { run("canvas_size_menu", canvas_size("200", "100", 0)); }

  vorpix_test::ScratchDir scratch;
  std::string file = scratch.file("picture.png");
  Pixels saved;
};

TEST_F(RevertTest, RevertIsThereOnlyForANamedDrawingWithChanges) {
  EXPECT_FALSE(sensitive("revert_menu"));
  change();
  EXPECT_TRUE(sensitive("revert_menu"));
  ASSERT_TRUE(drawing_save_as(drawing(), file.c_str()));
  EXPECT_FALSE(sensitive("revert_menu"));
  canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 50, 50));
  drawing_modified(drawing());
  EXPECT_FALSE(sensitive("revert_menu"));
}

TEST_F(RevertTest, RevertAsksThenReloadsAsOneStepThatCanBeUndone) {
  change();
  const Pixels changed = pixels();
  {
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_CANCEL);
    activate("revert_menu");
    ASSERT_EQ(dialogs.answered(), 1);
    EXPECT_EQ(dialogs.texts()[0],
              "Revert to the saved version of \"picture.png\"? Changes made since it was saved "
              "will be lost.");
    EXPECT_EQ(pixels(), changed);
  }
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_ACCEPT);
  activate("revert_menu");
  ASSERT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(size(), std::make_pair(640, 480));
  EXPECT_EQ(pixels(), saved);
  EXPECT_STREQ(title(), "picture.png - vorpix");
  EXPECT_FALSE(sensitive("revert_menu"));

  activate("undo_menu");
  EXPECT_EQ(size(), std::make_pair(200, 100));
  EXPECT_EQ(pixels(), changed);
  EXPECT_STREQ(title(), "picture.png (modified) - vorpix");
  activate("redo_menu");
  EXPECT_EQ(pixels(), saved);
}

TEST_F(RevertTest, AFileNoLongerReadableChangesNothing) {
  change();
  const Pixels changed = pixels();
  ASSERT_EQ(g_file_set_contents(file.c_str(), "not a picture", -1, nullptr), TRUE);
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_ACCEPT);
  dialogs.answer(GTK_RESPONSE_OK);
  activate("revert_menu");
  ASSERT_EQ(dialogs.answered(), 2);
  EXPECT_EQ(dialogs.texts()[1], "Cannot open file " + file + ".");
  EXPECT_EQ(pixels(), changed);
  EXPECT_STREQ(title(), "picture.png (modified) - vorpix");
}

class EnlargeOnPasteTest : public SizeCommandTest {
 protected:
  // The whole 640 x 480 pattern copied, then a 100 x 80 white drawing.
  void SetUp() override {
    SizeCommandTest::SetUp();
    activate("select_all");
    activate("copy_menu");
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 100, 80));
    pump();
  }
  void paste(int response) {
    DialogAnswerer dialogs;
    dialogs.answer(response);
    activate("paste_menu");
    ASSERT_EQ(dialogs.answered(), 1);
    EXPECT_EQ(dialogs.texts()[0],
              "The pasted picture is larger than the canvas. Enlarge the canvas to fit it?");
    canvas_end_paste_mode(canvas);
    pump();
  }
};

TEST_F(EnlargeOnPasteTest, EnlargeGrowsTheCanvasInTheSameStepAsThePaste) {
  const Pixels blank = pixels();
  paste(GTK_RESPONSE_YES);
  ASSERT_EQ(size(), std::make_pair(640, 480));
  EXPECT_EQ(pixel(0, 0), pattern(0, 0));
  EXPECT_EQ(pixel(639, 479), pattern(639, 479));
  EXPECT_EQ(history_undo_steps(canvas), 1);
  activate("undo_menu");
  EXPECT_EQ(size(), std::make_pair(100, 80));
  EXPECT_EQ(pixels(), blank);
}

TEST_F(EnlargeOnPasteTest, KeepSizePastesClippedToTheCanvas) {
  paste(GTK_RESPONSE_NO);
  ASSERT_EQ(size(), std::make_pair(100, 80));
  EXPECT_EQ(pixel(99, 79), pattern(99, 79));
}

}  // namespace
