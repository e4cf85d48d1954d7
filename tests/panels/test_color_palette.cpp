#include "panels/color_palette.h"

#include <gtest/gtest.h>

#include <cstring>

#include "document/canvas.h"
#include "tests/harness/window_fixture.h"

namespace {

using vorpix_test::drawable_pixel;
using vorpix_test::pump;
using vorpix_test::send_button;

guint32 rgb_of(const GdkColor &color) {
  guint8 r, g, b;
  convert_color(&color, &r, &g, &b);
  return (guint32(r) << 16) | (guint32(g) << 8) | b;
}

// The colour button's 16-bit colour folded to 0xRRGGBB.
guint32 picker_rgb(GtkWidget *picker) {
  GdkColor color;
  gtk_color_button_get_color(GTK_COLOR_BUTTON(picker), &color);
  return (guint32(color.red >> 8) << 16) | (guint32(color.green >> 8) << 8) | (color.blue >> 8);
}

GtkWidget *find_dialog(const char *title) {
  GtkWidget *found = nullptr;
  GList *toplevels = gtk_window_list_toplevels();
  for (GList *node = toplevels; node; node = node->next) {
    GtkWidget *w = GTK_WIDGET(node->data);
    const char *t = gtk_window_get_title(GTK_WINDOW(w));
    if (GTK_WIDGET_VISIBLE(w) && t && strcmp(t, title) == 0) found = w;
  }
  g_list_free(toplevels);
  return found;
}

class ColorPaletteTest : public vorpix_test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    // Colour tests look at the shared GC itself: no tool takes colours here.
    canvas_set_tool(canvas, nullptr);
  }

  GtkWidget *swatch(int i) const {
    gchar *name = g_strdup_printf("color_palette_entry%d", i);
    GtkWidget *w = widget(name);
    g_free(name);
    return w;
  }

  void press_swatch(int i, guint button, GdkEventType type = GDK_BUTTON_PRESS) {
    send_button(swatch(i), type, 5, 5, button);
    pump();
  }

  guint32 foreground() const {
    GdkGCValues values;
    gdk_gc_get_values(canvas->gc, &values);
    return rgb_of(values.foreground);
  }

  guint32 background() const {
    GdkGCValues values;
    gdk_gc_get_values(canvas->gc, &values);
    return rgb_of(values.background);
  }

  // Opens the colour dialog on swatch i as the toolkit does: two presses, then
  // the double-press event.
  GtkWidget *double_click_swatch(int i, guint button) {
    press_swatch(i, button);
    send_button(swatch(i), GDK_BUTTON_RELEASE, 5, 5, button);
    press_swatch(i, button);
    press_swatch(i, button, GDK_2BUTTON_PRESS);
    return find_dialog("Select Color");
  }
};

TEST(ColorConversion, Color16ShiftsRatherThanScales) {
  EXPECT_EQ(color16(255), 65280);
  EXPECT_EQ(color16(0), 0);
  EXPECT_EQ(color16(0x12), 0x1200);
}

TEST(ColorConversion, TrueColourPixelSplitsIntoItsBytes) {
  GdkVisual *visual = gdk_rgb_get_visual();
  ASSERT_EQ(visual->type, GDK_VISUAL_TRUE_COLOR);
  ASSERT_EQ(visual->red_mask, 0xFF0000u);
  ASSERT_EQ(visual->blue_prec, 8);
  GdkColor color = {0x123456, 0, 0, 0};
  guint8 r = 0, g = 0, b = 0;
  convert_color(&color, &r, &g, &b);
  EXPECT_EQ(r, 0x12);
  EXPECT_EQ(g, 0x34);
  EXPECT_EQ(b, 0x56);
}

TEST(ColorConversion, ComponentsFinerThanEightBitsGiveTheirTopBits) {
  // A 30-bit visual (10 bits a component), described on the RGB visual for
  // the duration of the call and then restored.
  GdkVisual *visual = gdk_rgb_get_visual();
  GdkVisual saved = *visual;
  visual->red_mask = 0x3FF00000;
  visual->red_shift = 20;
  visual->red_prec = 10;
  visual->green_mask = 0x000FFC00;
  visual->green_shift = 10;
  visual->green_prec = 10;
  visual->blue_mask = 0x000003FF;
  visual->blue_shift = 0;
  visual->blue_prec = 10;
  // R 0x3FF, G 0x201, B 0x0FF in 10 bits.
  GdkColor color = {(0x3FFu << 20) | (0x201u << 10) | 0x0FFu, 0, 0, 0};
  guint8 r = 0, g = 0, b = 0;
  convert_color(&color, &r, &g, &b);
  *visual = saved;
  EXPECT_EQ(r, 0xFF);
  EXPECT_EQ(g, 0x80);
  EXPECT_EQ(b, 0x3F);
}

TEST_F(ColorPaletteTest, PickersStartBlackOnWhite) {
  EXPECT_EQ(picker_rgb(widget("foreground_color_picker")), 0x000000u);
  EXPECT_EQ(picker_rgb(widget("background_color_picker")), 0xFFFFFFu);
}

TEST_F(ColorPaletteTest, SwatchesShowTheirInitialColours) {
  for (int i : {0, 2, 13, 27}) {
    GtkWidget *w = swatch(i);
    gtk_widget_queue_draw(w);
    pump();
    guint32 expected = (guint32(init_palette_values[i][0]) << 16) |
                       (guint32(init_palette_values[i][1]) << 8) | init_palette_values[i][2];
    EXPECT_EQ(drawable_pixel(w->window, 3, 3), expected) << "swatch " << i;
  }
}

TEST_F(ColorPaletteTest, LeftClickMakesForegroundAndShowsIt) {
  press_swatch(2, 1);
  EXPECT_EQ(foreground(), 0xFF0000u);
  EXPECT_EQ(background(), 0xFFFFFFu);
  EXPECT_EQ(picker_rgb(widget("foreground_color_picker")), 0xFF0000u);
  EXPECT_EQ(picker_rgb(widget("background_color_picker")), 0xFFFFFFu);
}

TEST_F(ColorPaletteTest, MiddleClickActsAsLeftClick) {
  press_swatch(6, 2);
  EXPECT_EQ(foreground(), 0x0000FFu);
  EXPECT_EQ(background(), 0xFFFFFFu);
  EXPECT_EQ(picker_rgb(widget("foreground_color_picker")), 0x0000FFu);
}

TEST_F(ColorPaletteTest, RightClickMakesBackgroundAndShowsIt) {
  press_swatch(14, RIGHT_BUTTON);
  EXPECT_EQ(background(), 0x000000u);
  EXPECT_EQ(foreground(), 0x000000u);  // unchanged from the start
  press_swatch(3, RIGHT_BUTTON);
  EXPECT_EQ(background(), 0xFFFF00u);
  EXPECT_EQ(foreground(), 0x000000u);
  EXPECT_EQ(picker_rgb(widget("background_color_picker")), 0xFFFF00u);
  EXPECT_EQ(picker_rgb(widget("foreground_color_picker")), 0x000000u);
}

namespace {
int offered_code = -1;
guint32 offered_rgb = 0;
int take_attribute = 0;
int record_attribute(VorpixTool *, int code, const void *value) {
  offered_code = code;
  offered_rgb = rgb_of(*static_cast<const GdkColor *>(value));
  return take_attribute;
}
}  // namespace

TEST_F(ColorPaletteTest, ToolThatTakesTheColourKeepsTheGcUnchanged) {
  VorpixTool tool = {};
  tool.name = "probe";
  tool.attribute = record_attribute;
  canvas_set_tool(canvas, &tool);
  take_attribute = 1;
  press_swatch(4, 1);
  EXPECT_EQ(offered_code, 0);
  EXPECT_EQ(offered_rgb, 0x00FF00u);
  EXPECT_EQ(foreground(), 0x000000u);
  // The picker shows the colour all the same.
  EXPECT_EQ(picker_rgb(widget("foreground_color_picker")), 0x00FF00u);

  take_attribute = 0;
  press_swatch(5, RIGHT_BUTTON);
  EXPECT_EQ(offered_code, 1);
  EXPECT_EQ(offered_rgb, 0x00FFFFu);
  EXPECT_EQ(background(), 0x00FFFFu);
  canvas_set_tool(canvas, nullptr);
}

TEST_F(ColorPaletteTest, PickerChoiceAppliesColour) {
  GdkColor chosen = {0, color16(0x40), color16(0x80), color16(0xC0)};
  GtkWidget *fg = widget("foreground_color_picker");
  gtk_color_button_set_color(GTK_COLOR_BUTTON(fg), &chosen);
  g_signal_emit_by_name(fg, "color-set");
  EXPECT_EQ(foreground(), 0x4080C0u);

  GtkWidget *bg = widget("background_color_picker");
  gtk_color_button_set_color(GTK_COLOR_BUTTON(bg), &chosen);
  g_signal_emit_by_name(bg, "color-set");
  EXPECT_EQ(background(), 0x4080C0u);
}

TEST_F(ColorPaletteTest, DoubleClickOkRecoloursSwatchAndAppliesIt) {
  GtkWidget *dialog = double_click_swatch(2, 1);
  ASSERT_NE(dialog, nullptr);
  // The two single presses have applied the old colour already.
  EXPECT_EQ(foreground(), 0xFF0000u);
  GtkColorSelectionDialog *csd = GTK_COLOR_SELECTION_DIALOG(dialog);
  GdkColor current;
  gtk_color_selection_get_current_color(GTK_COLOR_SELECTION(csd->colorsel), &current);
  EXPECT_EQ(current.red, 65280);
  EXPECT_EQ(current.green, 0);
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));

  GdkColor chosen = {0, color16(0x20), color16(0x90), color16(0x30)};
  gtk_color_selection_set_current_color(GTK_COLOR_SELECTION(csd->colorsel), &chosen);
  gtk_button_clicked(GTK_BUTTON(csd->ok_button));
  pump();
  EXPECT_EQ(find_dialog("Select Color"), nullptr);
  EXPECT_EQ(foreground(), 0x209030u);
  EXPECT_EQ(picker_rgb(widget("foreground_color_picker")), 0x209030u);
  EXPECT_EQ(drawable_pixel(swatch(2)->window, 3, 3), 0x209030u);

  // The swatch keeps its new colour for later clicks.
  press_swatch(0, 1);
  press_swatch(2, 1);
  EXPECT_EQ(foreground(), 0x209030u);
}

TEST_F(ColorPaletteTest, RightDoubleClickOkAppliesBackground) {
  GtkWidget *dialog = double_click_swatch(7, RIGHT_BUTTON);
  ASSERT_NE(dialog, nullptr);
  GtkColorSelectionDialog *csd = GTK_COLOR_SELECTION_DIALOG(dialog);
  GdkColor chosen = {0, color16(0x11), color16(0x22), color16(0x33)};
  gtk_color_selection_set_current_color(GTK_COLOR_SELECTION(csd->colorsel), &chosen);
  gtk_button_clicked(GTK_BUTTON(csd->ok_button));
  pump();
  EXPECT_EQ(background(), 0x112233u);
  EXPECT_EQ(foreground(), 0x000000u);
}

TEST_F(ColorPaletteTest, DoubleClickCancelChangesNothingFurther) {
  press_swatch(3, 1);
  GtkWidget *dialog = double_click_swatch(12, 1);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(foreground(), 0xFF0079u);
  GtkColorSelectionDialog *csd = GTK_COLOR_SELECTION_DIALOG(dialog);
  GdkColor chosen = {0, color16(0x20), color16(0x90), color16(0x30)};
  gtk_color_selection_set_current_color(GTK_COLOR_SELECTION(csd->colorsel), &chosen);
  gtk_button_clicked(GTK_BUTTON(csd->cancel_button));
  pump();
  EXPECT_EQ(find_dialog("Select Color"), nullptr);
  EXPECT_EQ(foreground(), 0xFF0079u);
  EXPECT_EQ(picker_rgb(widget("foreground_color_picker")), 0xFF0079u);
  EXPECT_EQ(drawable_pixel(swatch(12)->window, 3, 3), 0xFF0079u);
}

TEST_F(ColorPaletteTest, OpenDialogGoesAwayWithItsWindow) {
  GtkWidget *dialog = double_click_swatch(1, 1);
  ASSERT_NE(dialog, nullptr);
  bool destroyed = false;
  g_signal_connect_swapped(dialog, "destroy", G_CALLBACK(+[](gpointer flag) {
                             *static_cast<bool *>(flag) = true;
                           }),
                           &destroyed);
  gtk_widget_destroy(window);
  pump();
  EXPECT_TRUE(destroyed);
}

}  // namespace
