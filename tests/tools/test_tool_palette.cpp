#include "tools/tool_palette.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "shell/util.h"
#include "tests/harness/window_fixture.h"
#include "tools/icons.h"

namespace {

constexpr const char *kToolButtons[] = {
    "erase_button",      "lasso_button", "fill_button",     "line_button",
    "multiline_button",  "rectangle_button", "closed_freehand_button", "pen_button",
    "polselect_button",  "rectselect_button", "text_button",  "arc_button",
    "oval_button",       "brush_button"};
constexpr const char *kToolNames[] = {"eraser", "lasso",      "fill",       "line", "mline",
                                      "rectangle", "freehand", "pen",        "polyselect",
                                      "rectselect", "text",     "arc",        "oval", "brush"};

// Recording hooks around the operations of the palette's tools: each records
// the call and then runs the tool's own operation.
struct Ops {
  void (*destroy)(VorpixTool *);
  void (*select)(VorpixTool *);
  void (*deselect)(VorpixTool *);
  int (*attribute)(VorpixTool *, int, const void *);
};
std::map<VorpixTool *, Ops> originals;
std::vector<std::string> calls;                 // "select pen", "deselect brush", ...
std::map<VorpixTool *, int> destroyed;          // tool -> number of destroys
std::vector<std::pair<std::string, int>> filled_offers;  // tool name, flag

void hook_destroy(VorpixTool *tool) {
  destroyed[tool]++;
  originals[tool].destroy(tool);
}
void hook_select(VorpixTool *tool) {
  calls.push_back(std::string("select ") + tool->name);
  if (originals[tool].select) originals[tool].select(tool);
}
void hook_deselect(VorpixTool *tool) {
  calls.push_back(std::string("deselect ") + tool->name);
  if (originals[tool].deselect) originals[tool].deselect(tool);
}
int hook_attribute(VorpixTool *tool, int code, const void *value) {
  if (code == TOOL_ATTRIBUTE_FILLED)
    filled_offers.push_back({tool->name, *static_cast<const int *>(value)});
  return originals[tool].attribute(tool, code, value);
}

// The 0xRRGGBB pixels of an XPM that are not transparent, by position.
std::map<int, guint32> xpm_pixels(const char *const *xpm) {
  std::map<int, guint32> out;
  GdkPixbuf *pixbuf = gdk_pixbuf_new_from_xpm_data(const_cast<const char **>(xpm));
  int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
  int stride = gdk_pixbuf_get_rowstride(pixbuf), n = gdk_pixbuf_get_n_channels(pixbuf);
  const guchar *pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      const guchar *p = pixels + y * stride + x * n;
      if (n == 4 && p[3] == 0) continue;
      out[y * w + x] = (guint32(p[0]) << 16) | (guint32(p[1]) << 8) | p[2];
    }
  g_object_unref(pixbuf);
  return out;
}

class ToolPaletteTest : public vorpix_test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    originals.clear();
    calls.clear();
    destroyed.clear();
    filled_offers.clear();
    hook_tools(window);
  }

  void hook_tools(GtkWidget *w) {
    for (const char *name : kToolNames) {
      VorpixTool *tool = tool_palette_get_tool(w, name);
      ASSERT_NE(tool, nullptr) << name;
      originals[tool] = {tool->destroy, tool->select, tool->deselect, tool->attribute};
      tool->destroy = hook_destroy;
      tool->select = hook_select;
      tool->deselect = hook_deselect;
      if (tool->attribute) tool->attribute = hook_attribute;
    }
  }

  GtkToggleButton *button(const char *name) const { return GTK_TOGGLE_BUTTON(widget(name)); }
  bool pressed(const char *name) const { return gtk_toggle_button_get_active(button(name)); }
  VorpixTool *tool(const char *name) const { return tool_palette_get_tool(window, name); }

  // The button's face, as 0xRRGGBB by position, where the XPM is opaque.
  std::map<int, guint32> face(const char *name, const char *const *xpm) const {
    GtkWidget *child = gtk_bin_get_child(GTK_BIN(widget(name)));
    EXPECT_TRUE(child && GTK_IS_PIXMAP(child));
    std::map<int, guint32> out;
    if (!child || !GTK_IS_PIXMAP(child)) return out;
    GdkPixmap *pixmap = nullptr;
    GdkBitmap *mask = nullptr;
    gtk_pixmap_get(GTK_PIXMAP(child), &pixmap, &mask);
    int w, h;
    gdk_drawable_get_size(pixmap, &w, &h);
    std::vector<guint32> all = vorpix_test::drawable_pixels(pixmap, w, h);
    for (const auto &entry : xpm_pixels(xpm)) out[entry.first] = all[entry.first];
    return out;
  }
};

TEST(ToolNameHash, KnownValues) {
  EXPECT_EQ(tool_name_hash(""), 0u);
  EXPECT_EQ(tool_name_hash(nullptr), 0u);
  EXPECT_EQ(tool_name_hash("a"), 97u);
  EXPECT_EQ(tool_name_hash("abc"), 26528u);
  EXPECT_EQ(tool_name_hash("\xE9"), 0xFFFFFFE9u);
  EXPECT_TRUE(tool_name_equal("pen", "pen"));
  EXPECT_FALSE(tool_name_equal("pen", "pencil"));
}

TEST(ToolCreateTable, FindsRowsByButtonName) {
  const VorpixToolCreateEntry *row = lookup_tool_create("pen_button");
  ASSERT_NE(row, nullptr);
  EXPECT_STREQ(row->tool_name, "pen");
  EXPECT_EQ(row->icon, pencilOp_xpm);
  EXPECT_NE(row->create, nullptr);
  row = lookup_tool_create("curve_button");
  ASSERT_NE(row, nullptr);
  EXPECT_STREQ(row->tool_name, "");
  EXPECT_EQ(row->create, nullptr);
  EXPECT_EQ(row->icon, curveOp_xpm);
  EXPECT_EQ(lookup_tool_create("pen"), nullptr);
  EXPECT_EQ(lookup_tool_create(""), nullptr);
  for (size_t i = 0; i < G_N_ELEMENTS(kToolButtons); i++) {
    row = lookup_tool_create(kToolButtons[i]);
    ASSERT_NE(row, nullptr) << kToolButtons[i];
    EXPECT_STREQ(row->tool_name, kToolNames[i]);
  }
}

TEST(ToolIcons, HaveTheirSizes) {
  for (const char *const *xpm : {eraseOp_xpm, lassoOp_xpm, fillOp_xpm, lineOp_xpm, clineOp_xpm,
                                 boxOp_xpm, freehandOp_xpm, pencilOp_xpm, selpolyOp_xpm,
                                 selrectOp_xpm, textOp_xpm, arcOp_xpm, curveOp_xpm, ovalOp_xpm,
                                 brushOp_xpm}) {
    GdkPixbuf *pixbuf = gdk_pixbuf_new_from_xpm_data(const_cast<const char **>(xpm));
    ASSERT_NE(pixbuf, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 30);
    EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 30);
    g_object_unref(pixbuf);
  }
  for (const char *const *xpm : {filled_xpm, unfilled_xpm}) {
    GdkPixbuf *pixbuf = gdk_pixbuf_new_from_xpm_data(const_cast<const char **>(xpm));
    ASSERT_NE(pixbuf, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 20);
    EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 16);
    g_object_unref(pixbuf);
  }
}

TEST_F(ToolPaletteTest, EveryButtonMadeItsToolAndFace) {
  for (size_t i = 0; i < G_N_ELEMENTS(kToolButtons); i++) {
    VorpixTool *t = tool(kToolNames[i]);
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->name, kToolNames[i]);
    const VorpixToolCreateEntry *row = lookup_tool_create(kToolButtons[i]);
    std::map<int, guint32> expected = xpm_pixels(row->icon);
    EXPECT_EQ(face(kToolButtons[i], row->icon), expected) << kToolButtons[i];
  }
  EXPECT_EQ(face("curve_button", curveOp_xpm), xpm_pixels(curveOp_xpm));
  EXPECT_EQ(tool("curve"), nullptr);
  EXPECT_EQ(tool(""), nullptr);
}

TEST_F(ToolPaletteTest, PenIsCurrentAfterStartUp) {
  EXPECT_EQ(canvas->tool, tool("pen"));
  EXPECT_EQ(canvas->cursor, tool("pen")->cursor);
}

TEST_F(ToolPaletteTest, ClickingTheActiveButtonChangesNothing) {
  click_button("brush_button");
  calls.clear();
  click_button("brush_button");
  EXPECT_TRUE(pressed("brush_button"));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(canvas->tool, tool("brush"));
}

TEST_F(ToolPaletteTest, ClickingAnotherButtonSwitchesTools) {
  click_button("brush_button");
  EXPECT_EQ(calls, (std::vector<std::string>{"deselect pen", "select brush"}));
  EXPECT_TRUE(pressed("brush_button"));
  calls.clear();
  click_button("oval_button");
  EXPECT_EQ(calls, (std::vector<std::string>{"deselect brush", "select oval"}));
  EXPECT_FALSE(pressed("brush_button"));
  EXPECT_TRUE(pressed("oval_button"));
  EXPECT_EQ(canvas->tool, tool("oval"));
  EXPECT_EQ(canvas->cursor, tool("oval")->cursor);
  // The released button selects its tool again on its next click.
  calls.clear();
  click_button("brush_button");
  EXPECT_EQ(calls, (std::vector<std::string>{"deselect oval", "select brush"}));
  EXPECT_TRUE(pressed("brush_button"));
  EXPECT_FALSE(pressed("oval_button"));
}

TEST_F(ToolPaletteTest, PenButtonShowsPressedAtStartUpAndSelectsAgainLater) {
  EXPECT_TRUE(pressed("pen_button"));
  click_button("fill_button");
  EXPECT_FALSE(pressed("pen_button"));
  calls.clear();
  click_button("pen_button");
  EXPECT_EQ(canvas->tool, tool("pen"));
  EXPECT_EQ(calls, (std::vector<std::string>{"deselect fill", "select pen"}));
  EXPECT_TRUE(pressed("pen_button"));
  EXPECT_FALSE(pressed("fill_button"));
}

TEST_F(ToolPaletteTest, CurveButtonLeavesCanvasWithoutTool) {
  click_button("curve_button");
  EXPECT_EQ(canvas->tool, nullptr);
  EXPECT_EQ(canvas->cursor, canvas->arrow_cursor);
  EXPECT_EQ(calls, (std::vector<std::string>{"deselect pen"}));
  EXPECT_TRUE(pressed("curve_button"));
  // Events now go nowhere.
  guint32 before = pixel(40, 40);
  click(40, 40);
  EXPECT_EQ(pixel(40, 40), before);
  calls.clear();
  click_button("brush_button");
  EXPECT_EQ(calls, (std::vector<std::string>{"select brush"}));
  EXPECT_FALSE(pressed("curve_button"));
}

TEST_F(ToolPaletteTest, SetActiveButtonSelectsWithoutPressing) {
  calls.clear();
  tool_palette_set_active_button(window, "text_button");
  EXPECT_EQ(calls, (std::vector<std::string>{"deselect pen", "select text"}));
  EXPECT_FALSE(pressed("text_button"));
  // Again on the active one: its tool is deselected and selected anew.
  calls.clear();
  tool_palette_set_active_button(window, "text_button");
  EXPECT_EQ(calls, (std::vector<std::string>{"deselect text", "select text"}));
  // A click on it now leaves it current.
  calls.clear();
  click_button("text_button");
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(pressed("text_button"));
  EXPECT_EQ(canvas->tool, tool("text"));
}

// The font picker is usable whichever tool is current; a font chosen before
// the text tool was ever current is the font it starts with.
TEST_F(ToolPaletteTest, FontPickerIsAlwaysSensitiveAndItsFontWaitsForTheTextTool) {
  GtkWidget *fontpicker = widget("fontpicker");
  EXPECT_TRUE(GTK_WIDGET_SENSITIVE(fontpicker));
  gtk_font_button_set_font_name(GTK_FONT_BUTTON(fontpicker), "Serif Bold 23");
  g_signal_emit_by_name(fontpicker, "font-set");
  click_button("text_button");
  EXPECT_TRUE(GTK_WIDGET_SENSITIVE(fontpicker));
  gchar *font = pango_font_description_to_string(area->style->font_desc);
  EXPECT_STREQ(font, "Serif Bold 23");
  g_free(font);
  click_button("pen_button");
  EXPECT_TRUE(GTK_WIDGET_SENSITIVE(fontpicker));
}

TEST_F(ToolPaletteTest, FontPickerShowsTheFontTheTextToolStartsWith) {
  gchar *font = pango_font_description_to_string(area->style->font_desc);
  EXPECT_STREQ(gtk_font_button_get_font_name(GTK_FONT_BUTTON(widget("fontpicker"))), font);
  g_free(font);
}

TEST_F(ToolPaletteTest, FilledToggleTellsEveryToolAndShowsItsFace) {
  EXPECT_EQ(face("filled_button", unfilled_xpm), xpm_pixels(unfilled_xpm));
  size_t with_attribute = 0;
  for (const auto &[t, ops] : originals) with_attribute += ops.attribute != nullptr;
  ASSERT_GT(with_attribute, 0u);

  gtk_toggle_button_set_active(button("filled_button"), TRUE);
  EXPECT_EQ(filled_offers.size(), with_attribute);
  for (const auto &[name, flag] : filled_offers) EXPECT_EQ(flag, 1) << name;
  EXPECT_EQ(face("filled_button", filled_xpm), xpm_pixels(filled_xpm));

  filled_offers.clear();
  gtk_toggle_button_set_active(button("filled_button"), FALSE);
  EXPECT_EQ(filled_offers.size(), with_attribute);
  for (const auto &[name, flag] : filled_offers) EXPECT_EQ(flag, 0) << name;
  EXPECT_EQ(face("filled_button", unfilled_xpm), xpm_pixels(unfilled_xpm));
}

// Off, the toggle shows a shape's outline; on, the same shape filled: the
// outline is inked in both faces, the inside only when on.
TEST(FilledToggleFaces, OutlinedWhenOffFilledWhenOn) {
  const std::map<int, guint32> off = xpm_pixels(unfilled_xpm);
  const std::map<int, guint32> on = xpm_pixels(filled_xpm);
  for (const auto &[position, rgb] : off) EXPECT_EQ(on.count(position), 1u) << position;
  constexpr int kWidth = 20, kHeight = 16;
  const int centre = kHeight / 2 * kWidth + kWidth / 2;
  EXPECT_EQ(off.count(centre), 0u);
  EXPECT_EQ(on.count(centre), 1u);
  EXPECT_GT(on.size(), 2 * off.size());
}

TEST_F(ToolPaletteTest, WindowsHaveTheirOwnTools) {
  GtkWidget *other = open_window();
  EXPECT_NE(tool_palette_get_tool(other, "pen"), tool("pen"));
  EXPECT_EQ(canvas_of(other)->tool, tool_palette_get_tool(other, "pen"));
  gtk_button_clicked(GTK_BUTTON(lookup_widget(other, "brush_button")));
  EXPECT_EQ(canvas_of(other)->tool, tool_palette_get_tool(other, "brush"));
  EXPECT_EQ(canvas->tool, tool("pen"));
}

TEST_F(ToolPaletteTest, DestroyingTheWindowDestroysEachToolOnce) {
  std::vector<VorpixTool *> tools;
  for (const char *name : kToolNames) tools.push_back(tool(name));
  gtk_widget_destroy(window);
  vorpix_test::pump();
  EXPECT_EQ(destroyed.size(), tools.size());
  for (VorpixTool *t : tools) EXPECT_EQ(destroyed[t], 1);
}

}  // namespace
