// The Effects menu: each item applies its effect to the whole drawing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "imaging/image.h"
#include "imaging/image_processing.h"
#include "shell/menu.h"
#include "tests/harness/window_fixture.h"
#include "tools/selection.h"

using vorpix_test::MainWindowTest;
using vorpix_test::pump;

namespace {

class MenuEffectsTest : public MainWindowTest {
 protected:
  void activate(const char *name) {
    GtkWidget *item = widget(name);
    ASSERT_NE(item, nullptr) << name;
    ASSERT_TRUE(GTK_IS_MENU_ITEM(item)) << name;
    gtk_menu_item_activate(GTK_MENU_ITEM(item));
    pump();
  }

  // Puts a random opaque picture into the drawing.
  void paint_random_picture(unsigned seed) {
    std::mt19937 engine(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    VorpixImage *image = image_new(drawing()->width, drawing()->height);
    for (int y = 0; y < image_height(image); y++) {
      guchar *p = image_pixels(image) + y * image_rowstride(image);
      for (int x = 0; x < image_width(image); x++, p += 4) {
        p[0] = static_cast<guchar>(byte(engine));
        p[1] = static_cast<guchar>(byte(engine));
        p[2] = static_cast<guchar>(byte(engine));
        p[3] = 255;
      }
    }
    image_draw_on_pixmap(image, &drawing()->backing_pixmap, drawing()->gc);
    image_free(image);
  }

  std::vector<guint32> picture() const {
    return vorpix_test::drawable_pixels(drawing()->backing_pixmap, drawing()->width,
                                        drawing()->height);
  }

  // The effect applied directly to the drawing's picture, as 0xRRGGBB.
  std::vector<guint32> expected_result(VorpixEffectFunc effect) const {
    VorpixImage *input = drawing_create_image(drawing());
    VorpixImage *output = image_new(drawing()->width, drawing()->height);
    effect(input, output);
    std::vector<guint32> result;
    for (int y = 0; y < image_height(output); y++) {
      const guchar *p = image_pixels(output) + y * image_rowstride(output);
      for (int x = 0; x < image_width(output); x++, p += 4)
        result.push_back(static_cast<guint32>(p[0]) << 16 | p[1] << 8 | p[2]);
    }
    image_free(input);
    image_free(output);
    return result;
  }
};

TEST_F(MenuEffectsTest, EveryEffectItemAppliesItsEffectToTheWholePicture) {
  unsigned seed = 1;
  for (const VorpixEffectEntry *entry = effect_table; entry->name; entry++) {
    paint_random_picture(seed++);
    // Noise and spread draw from random(): the same sequence for both runs.
    srandom(seed);
    std::vector<guint32> expected = expected_result(entry->func);
    srandom(seed);
    activate(entry->name);
    EXPECT_TRUE(picture() == expected) << entry->name;
  }
  // The window shows the result too.
  EXPECT_EQ(window_pixel(10, 10), pixel(10, 10));
}

TEST_F(MenuEffectsTest, EffectMarksTheDrawingModified) {
  ASSERT_EQ(drawing()->modified, 0);
  activate("convert_to_greyscale");
  EXPECT_EQ(drawing()->modified, 1);
  EXPECT_NE(std::string(title()).find(" (modified)"), std::string::npos) << title();
}

TEST_F(MenuEffectsTest, EffectChangesPixelsOutsideTheSelectionAndKeepsTheOutline) {
  GdkRectangle area = {100, 100, 50, 40};
  selection_set_rectangle(canvas->selection, area);
  const int points = selection_num_points(canvas->selection);
  ASSERT_GE(points, 3);
  std::vector<GdkPoint> outline(selection_data(canvas->selection),
                                selection_data(canvas->selection) + points);

  // White becomes black under solarize, inside and outside the outline.
  ASSERT_EQ(pixel(0, 0), 0xffffffu);
  activate("solarize");
  const std::vector<guint32> result = picture();
  for (guint32 rgb : result) ASSERT_EQ(rgb, 0u);

  ASSERT_EQ(selection_num_points(canvas->selection), points);
  for (int i = 0; i < points; i++) {
    EXPECT_EQ(selection_data(canvas->selection)[i].x, outline[i].x);
    EXPECT_EQ(selection_data(canvas->selection)[i].y, outline[i].y);
  }
}

using MenuEffectsDeathTest = MenuEffectsTest;

TEST_F(MenuEffectsDeathTest, ItemNotNamingAnEffectIsABrokenInvariant) {
  GtkWidget *item = widget("solarize");
  ASSERT_NE(item, nullptr);
  gtk_widget_set_name(item, "invert");
  // The lookup fails before any X request is made.
  EXPECT_DEATH(on_image_effect_activate(item, nullptr), "assertion failed: \\(effect\\)");
  gtk_widget_set_name(item, "solarize");
}

}  // namespace
