// The installed program used from outside, as a user would: started on the
// test's X server with a picture on the command line, driven only by xdotool
// (mouse and keyboard) and xclip (the clipboard), its results read from the
// screen, the saved file and the clipboard.  Widgets are found on the screen
// (the picture by its frame, palette buttons by their icons) and menu keys in
// the interface description, so nothing depends on the theme's sizes.
#include <glade/glade.h>
#include <gtest/gtest.h>
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/outside_user.h"
#include "tests/harness/scratch_dir.h"
#include "tools/icons.h"

namespace {

using namespace vorpix_e2e;
using vorpix_test::file_contents;

// The picture given on the command line: a white field, not square, in a
// frame of a colour no theme uses, with a mark near the top-left corner that
// shows which way a rotation turned.
constexpr int kWidth = 240;
constexpr int kHeight = 160;
constexpr int kFrame = 3;
constexpr guint32 kWhite = 0xffffffffu;
constexpr guint32 kBlack = 0xff000000u;
constexpr guint32 kFrameColour = 0xff28aa5au;
constexpr guint32 kMarkColour = 0xffe6321eu;
constexpr GdkRectangle kMark = {10, 10, 20, 12};
constexpr int kFramePixels = 2 * kFrame * kWidth + 2 * kFrame * (kHeight - 2 * kFrame);

// The pen stroke in picture coordinates: pressed at the first point, moved
// through the others, released at the last; a diagonal included.
constexpr GdkPoint kStroke[] = {{40, 50}, {140, 50}, {140, 120}, {70, 100}};
constexpr int kStrokePoints = sizeof kStroke / sizeof kStroke[0];

constexpr int kInstallMs = 60000;
constexpr int kIconSize = 30;

Picture test_picture() {
  Picture p(kWidth, kHeight, kWhite);
  for (int y = 0; y < kHeight; y++)
    for (int x = 0; x < kWidth; x++) {
      const bool border = x < kFrame || y < kFrame || x >= kWidth - kFrame || y >= kHeight - kFrame;
      const bool mark =
          x >= kMark.x && x < kMark.x + kMark.width && y >= kMark.y && y < kMark.y + kMark.height;
      if (border) p.at(x, y) = kFrameColour;
      if (mark) p.at(x, y) = kMarkColour;
    }
  return p;
}

// The pen's first `segments` segments (the press is the segment from the
// first point to itself) drawn by the X server the way the pen draws them: a
// solid black line of width 1 with round caps and joins.  White elsewhere.
Picture stroke_reference(int segments) {
  GdkWindow *root = gdk_get_default_root_window();
  GdkPixmap *pixmap = gdk_pixmap_new(root, kWidth, kHeight, -1);
  GdkGC *gc = gdk_gc_new(pixmap);
  GdkColor white = {0, 0xffff, 0xffff, 0xffff};
  GdkColor black = {0, 0, 0, 0};
  gdk_gc_set_rgb_fg_color(gc, &white);
  gdk_draw_rectangle(pixmap, gc, TRUE, 0, 0, kWidth, kHeight);
  gdk_gc_set_rgb_fg_color(gc, &black);
  gdk_gc_set_line_attributes(gc, 1, GDK_LINE_SOLID, GDK_CAP_ROUND, GDK_JOIN_ROUND);
  for (int i = 0; i < segments && i < kStrokePoints; i++) {
    const GdkPoint &from = kStroke[i == 0 ? 0 : i - 1];
    gdk_draw_line(pixmap, gc, from.x, from.y, kStroke[i].x, kStroke[i].y);
  }
  GdkPixbuf *pixbuf = gdk_pixbuf_get_from_drawable(
      nullptr, pixmap, gdk_screen_get_system_colormap(gdk_screen_get_default()), 0, 0, 0, 0,
      kWidth, kHeight);
  Picture p = from_pixbuf(pixbuf);
  if (pixbuf) g_object_unref(pixbuf);
  g_object_unref(gc);
  g_object_unref(pixmap);
  return p;
}

Picture with_stroke(Picture p, const Picture &stroke) {
  for (int y = 0; y < p.height; y++)
    for (int x = 0; x < p.width; x++)
      if (stroke.at(x, y) == kBlack) p.at(x, y) = kBlack;
  return p;
}

// The greyscale effect: g = (11 R + 16 G + 5 B) / 32 in every sample.
Picture greyscale(Picture p) {
  for (guint32 &c : p.pixels) {
    const guint32 g = (11 * (c >> 16 & 0xff) + 16 * (c >> 8 & 0xff) + 5 * (c & 0xff)) >> 5;
    c = (c & 0xff000000u) | g << 16 | g << 8 | g;
  }
  return p;
}

Picture rotated_clockwise(const Picture &p) {
  Picture r(p.height, p.width, 0);
  for (int y = 0; y < r.height; y++)
    for (int x = 0; x < r.width; x++) r.at(x, y) = p.at(y, p.height - 1 - x);
  return r;
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// The key that activates a mnemonic, by its keysym name (as xdotool takes it).
std::string mnemonic_key(GtkWidget *label) {
  if (!GTK_IS_LABEL(label)) return "";
  const guint keyval = gtk_label_get_mnemonic_keyval(GTK_LABEL(label));
  const char *name = keyval == GDK_VoidSymbol ? nullptr : gdk_keyval_name(keyval);
  return name ? name : "";
}

GtkWidget *find_label(GtkWidget *widget) {
  if (GTK_IS_LABEL(widget)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList *children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget *found = nullptr;
  for (GList *l = children; l && !found; l = l->next)
    found = find_label(static_cast<GtkWidget *>(l->data));
  g_list_free(children);
  return found;
}

// The mnemonic key of a menu item, failing when another shown item of the
// same menu shares it (the key would then only move between them).
::testing::AssertionResult unique_mnemonic(GtkWidget *item, std::string *key) {
  *key = mnemonic_key(gtk_bin_get_child(GTK_BIN(item)));
  if (key->empty())
    return ::testing::AssertionFailure() << gtk_widget_get_name(item) << " has no mnemonic";
  GList *siblings = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(item)));
  std::string clash;
  for (GList *l = siblings; l; l = l->next) {
    GtkWidget *other = static_cast<GtkWidget *>(l->data);
    if (other != item && gtk_widget_get_visible(other) && GTK_IS_MENU_ITEM(other) &&
        mnemonic_key(gtk_bin_get_child(GTK_BIN(other))) == *key)
      clash = gtk_widget_get_name(other);
  }
  g_list_free(siblings);
  if (!clash.empty())
    return ::testing::AssertionFailure() << "the mnemonic " << *key << " of "
                                         << gtk_widget_get_name(item) << " is also that of "
                                         << clash;
  return ::testing::AssertionSuccess();
}

// Keys that open the menu-bar menu holding the named item (with Alt) and then
// activate the item, read from the interface description.
struct MenuKeys {
  std::string menu;
  std::string item;
};

::testing::AssertionResult menu_keys(const std::string &glade, const char *item_name,
                                     MenuKeys *keys) {
  GladeXML *xml = glade_xml_new(glade.c_str(), "main_window", nullptr);
  if (!xml) return ::testing::AssertionFailure() << "cannot load " << glade;
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  GtkWidget *item = glade_xml_get_widget(xml, item_name);
  GtkWidget *menu = item ? gtk_widget_get_parent(item) : nullptr;
  GtkWidget *top = GTK_IS_MENU(menu) ? gtk_menu_get_attach_widget(GTK_MENU(menu)) : nullptr;
  if (!GTK_IS_MENU_ITEM(item) || !GTK_IS_MENU_ITEM(top) ||
      !GTK_IS_MENU_BAR(gtk_widget_get_parent(top))) {
    result = ::testing::AssertionFailure() << item_name << " is not an item of a menu-bar menu";
  } else {
    result = unique_mnemonic(item, &keys->item);
    if (result) result = unique_mnemonic(top, &keys->menu);
  }
  gtk_widget_destroy(glade_xml_get_widget(xml, "main_window"));
  g_object_unref(xml);
  return result;
}

// The mnemonic key of the stock Save button, as the save prompt shows it.
std::string save_button_key() {
  GtkWidget *button = gtk_button_new_from_stock(GTK_STOCK_SAVE);
  g_object_ref_sink(button);
  std::string key = mnemonic_key(find_label(button));
  gtk_widget_destroy(button);
  g_object_unref(button);
  return key;
}

// Every place in `shot` where the opaque pixels of the XPM icon appear.
std::vector<GdkPoint> find_icon(const Picture &shot, const char **xpm) {
  std::vector<GdkPoint> hits;
  GdkPixbuf *pixbuf = gdk_pixbuf_new_from_xpm_data(xpm);
  if (!pixbuf) return hits;
  GdkPixbuf *rgba = gdk_pixbuf_add_alpha(pixbuf, FALSE, 0, 0, 0);
  Picture icon = from_pixbuf(rgba);
  g_object_unref(rgba);
  g_object_unref(pixbuf);
  struct Dot {
    int x, y;
    guint32 colour;
  };
  std::vector<Dot> dots;
  for (int y = 0; y < icon.height; y++)
    for (int x = 0; x < icon.width; x++)
      if ((icon.at(x, y) >> 24) == 0xff) dots.push_back({x, y, icon.at(x, y)});
  if (dots.empty()) return hits;
  for (int y = 0; y + icon.height <= shot.height; y++)
    for (int x = 0; x + icon.width <= shot.width; x++) {
      bool match = true;
      for (const Dot &d : dots)
        if (shot.at(x + d.x, y + d.y) != d.colour) {
          match = false;
          break;
        }
      if (match) hits.push_back({x, y});
    }
  return hits;
}

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    prefix_ = dir_.file("prefix");
    picture_path_ = dir_.file("frame.png");
    log_path_ = dir_.file("vorpix.log");
    CommandResult install = run_command(
        {VORPIX_CMAKE_COMMAND, "--install", VORPIX_BINARY_DIR, "--prefix", prefix_}, kInstallMs);
    ASSERT_TRUE(install.ok()) << "cmake --install failed:\n" << install.out << install.err;
    program_ = prefix_ + "/" VORPIX_INSTALL_BINDIR "/vorpix";
    glade_ = prefix_ + "/" VORPIX_INSTALL_DATADIR "/vorpix/glade/vorpix.glade";
    ASSERT_TRUE(g_file_test(program_.c_str(), G_FILE_TEST_IS_EXECUTABLE)) << program_;
    ASSERT_TRUE(g_file_test(glade_.c_str(), G_FILE_TEST_IS_REGULAR)) << glade_;
    ASSERT_TRUE(write_png(test_picture(), picture_path_));
  }

  void TearDown() override {
    if (HasFailure()) {
      if (app_.exited())
        printf("vorpix ended with status %d, signal %d\n", app_.exit_status(), app_.signal());
      std::string log = file_contents(log_path_);
      if (!log.empty()) printf("vorpix's output:\n%s\n", log.c_str());
    }
  }

  using Environment = std::vector<std::pair<std::string, std::string>>;

  void start_program(const Environment &extra = {}) {
    gchar **env = g_get_environ();
    env = g_environ_setenv(env, "VORPIX_GLADE_FILE", glade_.c_str(), TRUE);
    for (const auto &[name, value] : extra)
      env = g_environ_setenv(env, name.c_str(), value.c_str(), TRUE);
    // Autosaves of one test must not be offered for recovery in the next.
    env = g_environ_setenv(env, "XDG_CACHE_HOME", (dir_.path() + "/cache").c_str(), TRUE);
    std::vector<std::string> environment;
    for (gchar **e = env; *e; e++) environment.push_back(*e);
    g_strfreev(env);
    ASSERT_TRUE(app_.start({program_, picture_path_}, environment, dir_.path(), log_path_));
  }

  // Starts the program on the picture and finds its window and widgets; the
  // window has the keyboard afterwards.
  void open_picture(const Environment &extra = {}) {
    ASSERT_NO_FATAL_FAILURE(start_program(extra));
    ASSERT_NO_FATAL_FAILURE(find_main_window());
    // Without a window manager nothing gives the window the keyboard.
    ASSERT_TRUE(xdo({"windowfocus", "--sync", window_}));
    ASSERT_NO_FATAL_FAILURE(locate_widgets());
    ASSERT_TRUE(same_picture(shown_picture(kWidth, kHeight), test_picture()))
        << "the window does not show the picture given on the command line";
    ASSERT_TRUE(rest_pointer());
  }

  // Off the picture, beside it on the drawing area, no tooltip comes up that
  // could pass for a menu or a dialog.
  ::testing::AssertionResult rest_pointer() { return move_to(kWidth + 20, 10); }

  ::testing::AssertionResult xdo(const std::vector<std::string> &args) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    CommandResult r = run_command(argv);
    if (r.ok()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << join(argv) << (r.finished ? " failed: " : " did not finish: ") << r.err;
  }

  ::testing::AssertionResult key(const std::string &keys) { return xdo({"key", keys}); }

  std::string title() {
    CommandResult r = run_command({"xdotool", "getwindowname", window_});
    return r.ok() ? trimmed(r.out) : "";
  }

  ::testing::AssertionResult wait_title(const std::string &want) {
    if (wait_until([&] { return title() == want; })) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the title is \"" << title() << "\", not \"" << want
                                         << "\"";
  }

  void find_main_window() {
    std::string id;
    ASSERT_TRUE(wait_until([&] {
      CommandResult r = run_command({"xdotool", "search", "--onlyvisible", "--name",
                                     "^frame\\.png - vorpix$"});
      id = trimmed(r.out);
      return r.ok() && !id.empty() && id.find('\n') == std::string::npos;
    })) << "no main window titled \"frame.png - vorpix\" appeared";
    window_ = id;
    CommandResult geometry = run_command({"xdotool", "getwindowgeometry", "--shell", window_});
    ASSERT_TRUE(geometry.ok()) << geometry.err;
    std::istringstream lines(geometry.out);
    for (std::string line; std::getline(lines, line);) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string name = line.substr(0, eq);
      const int value = atoi(line.c_str() + eq + 1);
      if (name == "X") window_rect_.x = value;
      if (name == "Y") window_rect_.y = value;
      if (name == "WIDTH") window_rect_.width = value;
      if (name == "HEIGHT") window_rect_.height = value;
    }
    ASSERT_GT(window_rect_.width, kWidth);
    ASSERT_GT(window_rect_.height, kHeight);
  }

  Picture window_shot() {
    return capture_screen(window_rect_.x, window_rect_.y, window_rect_.width,
                          window_rect_.height);
  }

  Picture screen_area(const Rect &r) { return capture_screen(r.x, r.y, r.width, r.height); }

  // The picture is where its whole frame shows; the palette buttons are where
  // their icons do.
  void locate_widgets() {
    int frame_count = 0;
    Rect frame;
    std::vector<GdkPoint> pens, brushes;
    const bool found = wait_until([&] {
      Picture shot = window_shot();
      if (shot.empty()) return false;
      int x0 = shot.width, y0 = shot.height, x1 = -1, y1 = -1;
      frame_count = 0;
      for (int y = 0; y < shot.height; y++)
        for (int x = 0; x < shot.width; x++)
          if (shot.at(x, y) == kFrameColour) {
            frame_count++;
            x0 = std::min(x0, x);
            y0 = std::min(y0, y);
            x1 = std::max(x1, x);
            y1 = std::max(y1, y);
          }
      frame = {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
      pens = find_icon(shot, pencilOp_xpm);
      brushes = find_icon(shot, brushOp_xpm);
      return frame_count == kFramePixels && frame.width == kWidth && frame.height == kHeight &&
             pens.size() == 1 && brushes.size() == 1;
    });
    ASSERT_TRUE(found) << "the picture's frame: " << frame_count << " pixels in a "
                       << frame.width << "x" << frame.height << " box (expected "
                       << kFramePixels << " in " << kWidth << "x" << kHeight
                       << "); pen icons found: " << pens.size()
                       << ", brush icons: " << brushes.size();
    origin_x_ = window_rect_.x + frame.x;
    origin_y_ = window_rect_.y + frame.y;
    pen_button_ = button_area(pens[0]);
    brush_button_ = button_area(brushes[0]);
  }

  // The icon's square on the screen: the button's face shows through the
  // icon's transparent pixels, so it shows whether the button is pressed.
  Rect button_area(const GdkPoint &icon) const {
    return {window_rect_.x + icon.x, window_rect_.y + icon.y, kIconSize, kIconSize};
  }

  // Moves the pointer to (x, y) of the screen and waits until it is there.
  // (xdotool's own wait never ends when the pointer is there already.)
  ::testing::AssertionResult pointer_to(int x, int y) {
    CommandResult r = run_command({"xdotool", "getmouselocation", "--shell"});
    if (r.ok() && r.out.find("X=" + std::to_string(x) + "\nY=" + std::to_string(y) + "\n") == 0)
      return ::testing::AssertionSuccess();
    return xdo({"mousemove", "--sync", std::to_string(x), std::to_string(y)});
  }

  ::testing::AssertionResult click(const Rect &button) {
    ::testing::AssertionResult moved =
        pointer_to(button.x + button.width / 2, button.y + button.height / 2);
    return moved ? xdo({"click", "1"}) : moved;
  }

  ::testing::AssertionResult move_to(int x, int y) {
    return pointer_to(origin_x_ + x, origin_y_ + y);
  }

  // The picture as the screen shows it, width x height from its origin.
  Picture shown_picture(int width, int height) {
    return capture_screen(origin_x_, origin_y_, width, height);
  }

  // Selects all, copies, and waits until the clipboard holds `want` as PNG.
  ::testing::AssertionResult copy_shows(const Picture &want) {
    ::testing::AssertionResult keys = xdo({"key", "ctrl+a", "ctrl+c"});
    if (!keys) return keys;
    std::string last = "nothing read";
    const bool same = wait_until([&] {
      CommandResult r =
          run_command({"xclip", "-selection", "clipboard", "-t", "image/png", "-o"});
      if (!r.ok()) {
        last = "xclip: " + r.err;
        return false;
      }
      Picture got = decode(r.out);
      ::testing::AssertionResult cmp = same_picture(got, want);
      last = got.empty() ? "undecodable clipboard data" : cmp.message();
      return static_cast<bool>(cmp);
    });
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the clipboard's picture: " << last;
  }

  // Opens a menu with Alt and its mnemonic, waits for it to show, then
  // chooses the item by its mnemonic.
  ::testing::AssertionResult choose_from_menu(const char *item_name) {
    MenuKeys keys;
    ::testing::AssertionResult found = menu_keys(glade_, item_name, &keys);
    if (!found) return found;
    const std::set<Window> before = viewable_toplevels();
    ::testing::AssertionResult pressed = key("alt+" + keys.menu);
    if (!pressed) return pressed;
    if (!wait_until([&] { return viewable_toplevels().size() > before.size(); }))
      return ::testing::AssertionFailure() << "alt+" << keys.menu << " showed no menu";
    pressed = key(keys.item);
    if (!pressed) return pressed;
    if (!wait_until([&] { return viewable_toplevels() == before; }))
      return ::testing::AssertionFailure() << "the menu stayed open after " << keys.item;
    return ::testing::AssertionSuccess();
  }

  // A shown window of the program other than its main window (a prompt),
  // or "".
  std::string other_window() {
    CommandResult r = run_command(
        {"xdotool", "search", "--onlyvisible", "--pid", std::to_string(app_.pid())});
    std::istringstream ids(r.out);
    std::string other;
    for (std::string id; std::getline(ids, id);)
      if (!id.empty() && id != window_) other = id;
    return other;
  }

  vorpix_test::TempDir dir_;
  std::string prefix_, program_, glade_, picture_path_, log_path_;
  vorpix_test::ChildProcess app_;
  std::string window_;
  Rect window_rect_;
  int origin_x_ = 0, origin_y_ = 0;  // the picture's top-left pixel on the screen
  Rect pen_button_, brush_button_;
};

TEST_F(EndToEnd, OpenPenStrokeSaveCopyEffectRotateUndoRedoAndQuitThroughThePrompt) {
  ASSERT_NO_FATAL_FAILURE(open_picture());

  // Pick another tool, then the pen, so that the pen's click is what counts.
  const Picture pen_active = screen_area(pen_button_);
  const Picture brush_idle = screen_area(brush_button_);
  ASSERT_TRUE(click(brush_button_));
  ASSERT_TRUE(wait_until([&] { return !same_picture(screen_area(pen_button_), pen_active); }))
      << "clicking the brush did not release the pen button";
  const Picture pen_released = screen_area(pen_button_);
  ASSERT_TRUE(click(pen_button_));
  ASSERT_TRUE(wait_until([&] {
    return same_picture(screen_area(brush_button_), brush_idle) &&
           !same_picture(screen_area(pen_button_), pen_released);
  })) << "clicking the pen did not release the brush button";

  // The stroke: each step waits until the segments so far show on the screen,
  // so that no pointer position is passed over.
  for (int i = 0; i < kStrokePoints; i++) {
    ASSERT_TRUE(move_to(kStroke[i].x, kStroke[i].y));
    if (i == 0) {
      ASSERT_TRUE(xdo({"mousedown", "1"}));
    }
    const Picture drawn = stroke_reference(i + 1);
    ASSERT_TRUE(wait_until([&] {
      Picture shown = shown_picture(kWidth, kHeight);
      if (shown.empty()) return false;
      for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++)
          if (drawn.at(x, y) == kBlack && shown.at(x, y) != kBlack) return false;
      return true;
    })) << "the stroke up to point " << i << " does not show";
  }
  ASSERT_TRUE(xdo({"mouseup", "1"}));
  ASSERT_TRUE(rest_pointer());
  ASSERT_TRUE(wait_title("frame.png (modified) - vorpix"));

  const Picture stroked = with_stroke(test_picture(), stroke_reference(kStrokePoints));
  EXPECT_TRUE(same_picture(shown_picture(kWidth, kHeight), stroked));

  ASSERT_TRUE(key("ctrl+s"));
  ASSERT_TRUE(wait_title("frame.png - vorpix")) << "saving did not finish";
  EXPECT_TRUE(same_picture(read_file(picture_path_), stroked)) << "the saved file";

  EXPECT_TRUE(copy_shows(stroked));

  ASSERT_TRUE(choose_from_menu("convert_to_greyscale"));
  ASSERT_TRUE(wait_title("frame.png (modified) - vorpix"));
  const Picture grey = greyscale(stroked);
  EXPECT_TRUE(copy_shows(grey)) << "after Convert to Greyscale";

  ASSERT_TRUE(choose_from_menu("rotate_p90_menu"));
  const Picture turned = rotated_clockwise(grey);
  ASSERT_TRUE(wait_until([&] {
    return same_picture(shown_picture(turned.width, turned.height), turned);
  })) << "the window does not show the picture turned clockwise: "
      << same_picture(shown_picture(turned.width, turned.height), turned).message();
  EXPECT_TRUE(copy_shows(turned)) << "after the rotation";

  // Undo takes the turn back, size included; redo turns it again.
  ASSERT_TRUE(key("ctrl+z"));
  EXPECT_TRUE(copy_shows(grey)) << "after undoing the rotation";
  ASSERT_TRUE(key("shift+ctrl+z"));
  EXPECT_TRUE(copy_shows(turned)) << "after redoing the rotation";

  // Quit: the prompt offers to save the changes; answer Save from the keyboard.
  const std::string save_key = save_button_key();
  ASSERT_FALSE(save_key.empty());
  ASSERT_TRUE(key("ctrl+q"));
  std::string prompt;
  ASSERT_TRUE(wait_until([&] { return !(prompt = other_window()).empty(); }))
      << "Ctrl+Q showed no save prompt";
  ASSERT_TRUE(xdo({"windowfocus", "--sync", prompt}));
  ASSERT_TRUE(key("alt+" + save_key));
  ASSERT_TRUE(wait_until([&] { return app_.exited(); })) << "vorpix did not exit";
  EXPECT_EQ(app_.signal(), 0);
  EXPECT_EQ(app_.exit_status(), 0);
  EXPECT_TRUE(same_picture(read_file(picture_path_), turned)) << "the file saved on quitting";
}

// The mnemonic key of a widget's label in the interface description.
std::string label_key(const std::string &glade, const char *label_name) {
  GladeXML *xml = glade_xml_new(glade.c_str(), "main_window", nullptr);
  if (!xml) return "";
  std::string key = mnemonic_key(glade_xml_get_widget(xml, label_name));
  gtk_widget_destroy(glade_xml_get_widget(xml, "main_window"));
  g_object_unref(xml);
  return key;
}

// The black pixels of column x, top to bottom.
int black_in_column(const Picture &p, int x) {
  int count = 0;
  for (int y = 0; y < p.height; y++) count += p.at(x, y) == kBlack;
  return count;
}

Picture mirrored(const Picture &p) {
  Picture m(p.width, p.height, 0);
  for (int y = 0; y < p.height; y++)
    for (int x = 0; x < p.width; x++) m.at(x, y) = p.at(p.width - 1 - x, y);
  return m;
}

// A flip is a change the prompt guards: Escape keeps the window and writes
// nothing, Return saves.  A width of two digits typed into the line width
// entry draws lines that wide.
TEST_F(EndToEnd, FlipLineWidthTwelveEscapeKeepsTheWindowReturnSaves) {
  constexpr int kLineY = 80, kLineWidth = 12;
  ASSERT_NO_FATAL_FAILURE(open_picture());
  const std::string original = file_contents(picture_path_);

  ASSERT_TRUE(choose_from_menu("flip_x_axis_menu"));
  ASSERT_TRUE(wait_title("frame.png (modified) - vorpix"));
  const Picture flipped = mirrored(test_picture());
  ASSERT_TRUE(wait_until([&] { return same_picture(shown_picture(kWidth, kHeight), flipped); }));

  ASSERT_TRUE(key("ctrl+w"));
  std::string prompt;
  ASSERT_TRUE(wait_until([&] { return !(prompt = other_window()).empty(); }))
      << "Ctrl+W after a flip closed without asking";
  ASSERT_TRUE(xdo({"windowfocus", "--sync", prompt}));
  ASSERT_TRUE(key("Escape"));
  ASSERT_TRUE(wait_until([&] { return other_window().empty(); })) << "Escape left the prompt up";
  ASSERT_FALSE(app_.exited()) << "Escape closed the window";
  EXPECT_EQ(title(), "frame.png (modified) - vorpix");
  EXPECT_EQ(file_contents(picture_path_), original) << "Escape wrote the file";

  // The line width: Alt and the label's mnemonic reach the entry, Ctrl+A
  // selects its text, "12" replaces it, Return gives the picture the keys.
  const std::string width_key = label_key(glade_, "line_width_label");
  ASSERT_FALSE(width_key.empty());
  ASSERT_TRUE(xdo({"windowfocus", "--sync", window_}));
  ASSERT_TRUE(key("alt+" + width_key));
  ASSERT_TRUE(key("ctrl+a"));
  ASSERT_TRUE(xdo({"type", "12"}));
  ASSERT_TRUE(key("Return"));
  ASSERT_TRUE(move_to(60, kLineY));
  ASSERT_TRUE(xdo({"mousedown", "1"}));
  ASSERT_TRUE(move_to(180, kLineY));
  ASSERT_TRUE(wait_until([&] { return black_in_column(shown_picture(kWidth, kHeight), 120) > 0; }))
      << "the line does not show";
  ASSERT_TRUE(xdo({"mouseup", "1"}));
  ASSERT_TRUE(rest_pointer());
  const Picture drawn = shown_picture(kWidth, kHeight);
  EXPECT_EQ(black_in_column(drawn, 120), kLineWidth) << "the line is not 12 pixels wide";

  ASSERT_TRUE(key("ctrl+w"));
  ASSERT_TRUE(wait_until([&] { return !(prompt = other_window()).empty(); }));
  ASSERT_TRUE(xdo({"windowfocus", "--sync", prompt}));
  ASSERT_TRUE(key("Return"));
  ASSERT_TRUE(wait_until([&] { return app_.exited(); })) << "Return did not save and close";
  EXPECT_EQ(app_.exit_status(), 0);
  const Picture saved = read_file(picture_path_);
  EXPECT_TRUE(same_picture(saved, drawn)) << "the saved file";
  EXPECT_TRUE(same_picture(saved.crop(0, 0, kWidth, kLineY - kLineWidth),
                           flipped.crop(0, 0, kWidth, kLineY - kLineWidth)))
      << "the saved picture is not the flipped one";
}

// The installed program finds its installed catalogue: under LANGUAGE=de a
// change makes the title German.  (The menus and the prompt in German are
// checked with the window in the test's own process.)
TEST_F(EndToEnd, InstalledProgramSpeaksGermanUnderLanguageDe) {
  // gettext ignores LANGUAGE in the C locale.
  ASSERT_NO_FATAL_FAILURE(open_picture({{"LANGUAGE", "de"}, {"LC_ALL", "C.UTF-8"}}));
  ASSERT_TRUE(move_to(60, 80));
  ASSERT_TRUE(xdo({"mousedown", "1"}));
  ASSERT_TRUE(move_to(180, 80));
  ASSERT_TRUE(xdo({"mouseup", "1"}));
  EXPECT_TRUE(wait_title("frame.png (geändert) - vorpix"));
}

// Another program offers a picture on the clipboard; pasting shows it at the
// top-left corner, a drag with the mouse moves it, Escape leaves it there.
TEST_F(EndToEnd, PictureFromAnotherProgramIsPastedAndDraggedIntoPlace) {
  constexpr int kPieceWidth = 50, kPieceHeight = 30;
  constexpr GdkPoint kGrab = {5, 5}, kDrop = {105, 55};  // the piece lands at (100, 50)
  Picture piece(kPieceWidth, kPieceHeight, 0);
  for (int y = 0; y < kPieceHeight; y++)
    for (int x = 0; x < kPieceWidth; x++)
      piece.at(x, y) = kOpaque | guint32(x * 5) << 16 | guint32(y * 8) << 8 | 0xc8;
  const std::string piece_path = dir_.file("piece.png");
  ASSERT_TRUE(write_png(piece, piece_path));

  ASSERT_NO_FATAL_FAILURE(open_picture());

  gchar *xclip = g_find_program_in_path("xclip");
  ASSERT_NE(xclip, nullptr);
  const std::vector<std::string> offer = {xclip, "-quiet", "-selection", "clipboard",
                                          "-t", "image/png", "-i", piece_path};
  g_free(xclip);
  vorpix_test::ChildProcess other;
  ASSERT_TRUE(other.start(offer, {"DISPLAY=" + std::string(g_getenv("DISPLAY"))}, dir_.path(),
                          dir_.file("xclip.log")));
  ASSERT_TRUE(wait_until([&] {
    CommandResult r = run_command({"xclip", "-selection", "clipboard", "-t", "image/png", "-o"});
    return r.ok() && same_picture(decode(r.out), piece);
  })) << "xclip does not offer the piece";

  ASSERT_TRUE(key("ctrl+v"));
  // The piece's outline runs along its edges while it floats: compare inside.
  const Picture inside = piece.crop(1, 1, kPieceWidth - 2, kPieceHeight - 2);
  auto shown_inside = [&] {
    Picture shown = shown_picture(kPieceWidth, kPieceHeight);
    return shown.empty() ? shown : shown.crop(1, 1, kPieceWidth - 2, kPieceHeight - 2);
  };
  ASSERT_TRUE(wait_until([&] { return same_picture(shown_inside(), inside); }))
      << "the pasted piece does not show at the top-left corner: "
      << same_picture(shown_inside(), inside).message();

  Picture placed = test_picture();
  for (int y = 0; y < kPieceHeight; y++)
    for (int x = 0; x < kPieceWidth; x++)
      placed.at(kDrop.x - kGrab.x + x, kDrop.y - kGrab.y + y) = piece.at(x, y);
  ASSERT_TRUE(move_to(kGrab.x, kGrab.y));
  ASSERT_TRUE(xdo({"mousedown", "1"}));
  ASSERT_TRUE(move_to(kDrop.x, kDrop.y));
  ASSERT_TRUE(xdo({"mouseup", "1"}));
  ASSERT_TRUE(rest_pointer());
  ASSERT_TRUE(key("Escape"));
  ASSERT_TRUE(wait_title("frame.png (modified) - vorpix"));

  // The outline that travelled with the piece goes when paste mode ends, so
  // the screen shows the picture alone.
  ASSERT_TRUE(wait_until([&] { return same_picture(shown_picture(kWidth, kHeight), placed); }))
      << "the piece was not left where it was dropped: "
      << same_picture(shown_picture(kWidth, kHeight), placed).message();

  ASSERT_TRUE(key("ctrl+s"));
  ASSERT_TRUE(wait_title("frame.png - vorpix")) << "saving did not finish";
  EXPECT_TRUE(same_picture(read_file(picture_path_), placed)) << "the saved file";

  ASSERT_TRUE(key("ctrl+q"));
  ASSERT_TRUE(wait_until([&] { return app_.exited(); }))
      << "vorpix did not exit on Ctrl+Q with nothing to save";
  EXPECT_EQ(app_.exit_status(), 0);
}

}  // namespace
