// The keys of the drawing area: one letter per tool, X and D for the colours,
// none of them while the text tool takes the keys; and the tool buttons'
// tooltips that name them.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <string>

#include "document/canvas.h"
#include "panels/color_palette.h"
#include "tests/harness/window_fixture.h"
#include "tools/text.h"
#include "tools/tool_palette.h"

namespace {

using vorpix_test::send_key;

struct ToolKey {
  guint key;
  const char *button;
  const char *tool;
};

// The keys as the manual page and the tooltips promise them.
constexpr ToolKey kToolKeys[] = {
    {GDK_s, "rectselect_button", "rectselect"}, {GDK_g, "polselect_button", "polyselect"},
    {GDK_q, "lasso_button", "lasso"},           {GDK_t, "text_button", "text"},
    {GDK_p, "pen_button", "pen"},               {GDK_b, "brush_button", "brush"},
    {GDK_e, "erase_button", "eraser"},          {GDK_f, "fill_button", "fill"},
    {GDK_l, "line_button", "line"},             {GDK_m, "multiline_button", "mline"},
    {GDK_r, "rectangle_button", "rectangle"},   {GDK_o, "oval_button", "oval"},
    {GDK_a, "arc_button", "arc"},               {GDK_c, "closed_freehand_button", "freehand"},
};

class ToolKeysTest : public vorpix_test::MainWindowTest {
 protected:
  bool pressed(const char *button) const {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget(button)));
  }
  VorpixTool *tool(const char *name) const { return tool_palette_get_tool(window, name); }
  void press_key(guint keyval, guint state = 0) {
    send_key(area, GDK_KEY_PRESS, keyval, nullptr, state);
    send_key(area, GDK_KEY_RELEASE, keyval, nullptr, state);
  }
  GdkColor picker_color(const char *name) const {
    GdkColor color;
    gtk_color_button_get_color(GTK_COLOR_BUTTON(widget(name)), &color);
    return color;
  }
  // 0xRRGGBB of the shared GC's foreground or background.
  guint32 gc_color(bool background) const {
    GdkGCValues values;
    gdk_gc_get_values(canvas->gc, &values);
    guint8 r, g, b;
    convert_color(background ? &values.background : &values.foreground, &r, &g, &b);
    return (guint32(r) << 16) | (guint32(g) << 8) | b;
  }
  static guint32 rgb(const GdkColor &c) {
    return (guint32(c.red >> 8) << 16) | (guint32(c.green >> 8) << 8) | (c.blue >> 8);
  }
  void expect_colors(guint32 foreground, guint32 background) const {
    EXPECT_EQ(gc_color(false), foreground);
    EXPECT_EQ(gc_color(true), background);
    EXPECT_EQ(rgb(picker_color("foreground_color_picker")), foreground);
    EXPECT_EQ(rgb(picker_color("background_color_picker")), background);
  }
};

TEST_F(ToolKeysTest, EveryToolKeyChoosesItsToolAsAClickWould) {
  for (const ToolKey &k : kToolKeys) {
    SCOPED_TRACE(k.tool);
    click_button("curve_button");  // no tool, and no button of the table pressed
    ASSERT_EQ(canvas->tool, nullptr);
    press_key(k.key);
    EXPECT_EQ(canvas->tool, tool(k.tool));
    EXPECT_TRUE(pressed(k.button));
    EXPECT_FALSE(pressed("curve_button"));
    // Held with Shift it is the same key; the same key again keeps the tool.
    click_button("curve_button");
    press_key(gdk_keyval_to_upper(k.key), GDK_SHIFT_MASK);
    EXPECT_EQ(canvas->tool, tool(k.tool));
    press_key(k.key);
    EXPECT_EQ(canvas->tool, tool(k.tool));
    EXPECT_TRUE(pressed(k.button));
  }
}

TEST_F(ToolKeysTest, KeysWithControlOrAltAndOtherLettersChooseNothing) {
  VorpixTool *pen = tool("pen");
  ASSERT_EQ(canvas->tool, pen);
  for (guint state : {GDK_CONTROL_MASK, GDK_MOD1_MASK, GDK_SUPER_MASK}) {
    press_key(GDK_b, state);
    EXPECT_EQ(canvas->tool, pen) << state;
  }
  for (guint key : {GDK_k, GDK_z, GDK_1, GDK_space, GDK_F5}) {
    press_key(key);
    EXPECT_EQ(canvas->tool, pen) << key;
  }
}

TEST_F(ToolKeysTest, TheKeyThatChoseTheTextToolTypesNothing) {
  press_key(GDK_t);
  ASSERT_EQ(canvas->tool, tool("text"));
  EXPECT_STREQ(static_cast<VorpixText *>(canvas->tool)->buffer->str, "");
}

TEST_F(ToolKeysTest, KeysAreTextWhileTheTextToolIsCurrent) {
  click_button("text_button");
  click(10, 20);
  press_swatch(2);  // red on white
  for (const ToolKey &k : kToolKeys) press_key(k.key);
  press_key(GDK_x);
  press_key(GDK_d);
  EXPECT_EQ(canvas->tool, tool("text"));
  EXPECT_TRUE(pressed("text_button"));
  EXPECT_STREQ(static_cast<VorpixText *>(canvas->tool)->buffer->str, "sgqtpbeflmroacxd");
  expect_colors(0xff0000, 0xffffff);
  // Chosen from the palette, the keys are tools' keys again.
  click_button("brush_button");
  press_key(GDK_p);
  EXPECT_EQ(canvas->tool, tool("pen"));
}

TEST_F(ToolKeysTest, XSwapsTheColoursAndDRestoresBlackOnWhite) {
  press_swatch(2);                // foreground red
  press_swatch(6, RIGHT_BUTTON);  // background blue
  expect_colors(0xff0000, 0x0000ff);
  press_key(GDK_x);
  expect_colors(0x0000ff, 0xff0000);
  drag(20, 20, 60, 20);
  EXPECT_EQ(pixel(40, 20), 0x0000ffu) << "the pen paints in the new foreground colour";
  press_key(GDK_X, GDK_SHIFT_MASK);
  expect_colors(0xff0000, 0x0000ff);
  press_key(GDK_d);
  expect_colors(0x000000, 0xffffff);
}

// The eraser keeps the foreground colour for later and rubs out in the
// background colour: swapped colours reach it as colours from the swatches do.
TEST_F(ToolKeysTest, TheEraserTakesSwappedColoursAsFromTheSwatches) {
  press_swatch(2);
  press_swatch(6, RIGHT_BUTTON);
  press_key(GDK_e);
  press_key(GDK_x);
  drag(100, 100, 140, 100);
  EXPECT_EQ(pixel(120, 100), 0xff0000u);
  press_key(GDK_p);
  drag(100, 200, 140, 200);
  EXPECT_EQ(pixel(120, 200), 0x0000ffu);
}

TEST_F(ToolKeysTest, EachToolButtonsTooltipSaysWhatItDoesAndShowsItsKey) {
  for (const ToolKey &k : kToolKeys) {
    gchar *tip = gtk_widget_get_tooltip_text(widget(k.button));
    ASSERT_NE(tip, nullptr) << k.button;
    const std::string text = tip;
    g_free(tip);
    const std::string key = std::string(" (") + static_cast<char>(gdk_keyval_to_upper(k.key)) + ")";
    EXPECT_EQ(text.rfind(key), text.size() - key.size()) << text;
    EXPECT_NE(text.find(": "), std::string::npos) << text;
  }
  gchar *pen = gtk_widget_get_tooltip_text(widget("pen_button"));
  EXPECT_STREQ(pen, "Pen: draw thin freehand lines (P)");
  g_free(pen);
  gchar *pointer = gtk_widget_get_tooltip_text(widget("curve_button"));
  EXPECT_STREQ(pointer, "Pointer: no tool");
  g_free(pointer);
}

}  // namespace
