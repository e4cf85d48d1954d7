// Menu and toolbar commands, reached through the widgets the interface
// description connects them to.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/view.h"
#include "panels/print.h"
#include "shell/menu.h"
#include "shell/util.h"
#include "shell/window.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"
#include "tools/selection.h"
#include "tools/tool_palette.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::MainWindowTest;
using vorpix_test::pump;
using vorpix_test::ScratchDir;

namespace {

constexpr guint32 kWhite = 0xffffff;
constexpr guint32 kRed = 0xff0000;
constexpr guint32 kBlue = 0x0000ff;

// Visible new-canvas dialogs.
int new_canvas_dialogs() {
  int count = 0;
  GList *toplevels = gtk_window_list_toplevels();
  for (GList *node = toplevels; node; node = node->next) {
    GtkWidget *w = GTK_WIDGET(node->data);
    if (GTK_WIDGET_VISIBLE(w) && g_strcmp0(gtk_widget_get_name(w), "new_canvas_window") == 0)
      count++;
  }
  g_list_free(toplevels);
  return count;
}

void close_new_canvas_dialogs() {
  GList *toplevels = gtk_window_list_toplevels();
  for (GList *node = toplevels; node; node = node->next) {
    GtkWidget *w = GTK_WIDGET(node->data);
    if (GTK_WIDGET_VISIBLE(w) && g_strcmp0(gtk_widget_get_name(w), "new_canvas_window") == 0)
      gtk_widget_destroy(w);
  }
  g_list_free(toplevels);
  pump();
}

class MenuTest : public MainWindowTest {
 protected:
  void activate(const char *name) {
    GtkWidget *w = widget(name);
    ASSERT_NE(w, nullptr) << name;
    if (GTK_IS_MENU_ITEM(w))
      gtk_menu_item_activate(GTK_MENU_ITEM(w));
    else
      g_signal_emit_by_name(w, "clicked");
    pump();
  }

  void fill(int x, int y, int w, int h, guint32 rgb) {
    GdkGC *gc = gdk_gc_new(drawing()->backing_pixmap);
    GdkColor color = {0, static_cast<guint16>((rgb >> 16 & 0xff) * 0x101),
                      static_cast<guint16>((rgb >> 8 & 0xff) * 0x101),
                      static_cast<guint16>((rgb & 0xff) * 0x101)};
    gdk_gc_set_rgb_fg_color(gc, &color);
    gdk_draw_rectangle(drawing()->backing_pixmap, gc, TRUE, x, y, w, h);
    g_object_unref(gc);
  }

  std::vector<guint32> picture() const {
    return vorpix_test::drawable_pixels(drawing()->backing_pixmap, drawing()->width,
                                        drawing()->height);
  }

  int line_width(GdkGC *gc) const {
    GdkGCValues values;
    gdk_gc_get_values(gc, &values);
    return values.line_width;
  }

  GtkWidget *line_width_entry() const { return widget("line_width_combo_entry"); }
};

// --- File commands

TEST_F(MenuTest, SaveOfAnUntitledDrawingGoesThroughTheSaveAsDialog) {
  ScratchDir scratch;
  drawing_modified(drawing());
  for (const char *command : {"save_menu", "save_button"}) {
    DialogAnswerer dialogs;
    GdkCursor *cursor = nullptr;
    dialogs.answer(GTK_RESPONSE_CANCEL,
                   [&](GtkWidget *) { cursor = gdk_window_get_cursor(window->window); });
    activate(command);
    ASSERT_EQ(dialogs.answered(), 1) << command;
    EXPECT_EQ(dialogs.titles()[0], "Save as");
    EXPECT_EQ(cursor, canvas->busy_cursor);
    EXPECT_EQ(gdk_window_get_cursor(window->window), canvas->arrow_cursor);
    EXPECT_FALSE(g_file_test(scratch.file("untitled.png").c_str(), G_FILE_TEST_EXISTS));
  }
  for (const char *command : {"save_as_menu", "save_as_button"}) {
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_CANCEL);
    activate(command);
    ASSERT_EQ(dialogs.answered(), 1) << command;
    EXPECT_EQ(dialogs.titles()[0], "Save as");
  }
}

TEST_F(MenuTest, SaveOfATitledDrawingWritesAtOnceWithoutADialog) {
  ScratchDir scratch;
  for (const char *command : {"save_menu", "save_button"}) {
    std::string path = scratch.file(command) + ".png";
    drawing_set_filename(drawing(), path.c_str());
    fill(0, 0, 10, 10, kRed);
    drawing_modified(drawing());
    DialogAnswerer trap;  // answers a dialog that should not have come
    trap.answer(GTK_RESPONSE_CANCEL);
    activate(command);
    EXPECT_EQ(trap.answered(), 0) << command;
    GdkPixbuf *saved = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
    ASSERT_NE(saved, nullptr) << command;
    EXPECT_EQ(gdk_pixbuf_get_pixels(saved)[0], 0xff);
    g_object_unref(saved);
    EXPECT_EQ(drawing()->modified, 0);
  }
}

TEST_F(MenuTest, NewAsksToSaveFirstAndCancelStopsIt) {
  for (const char *command : {"new_file_menu", "new_button"}) {
    drawing_modified(drawing());
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_CANCEL);
    activate(command);
    ASSERT_EQ(dialogs.answered(), 1) << command;
    EXPECT_NE(dialogs.texts()[0].find("untitled.png"), std::string::npos);
    EXPECT_EQ(new_canvas_dialogs(), 0);

    dialogs.answer(GTK_RESPONSE_NO);  // discard
    activate(command);
    ASSERT_EQ(dialogs.answered(), 2);
    EXPECT_EQ(new_canvas_dialogs(), 1);
    close_new_canvas_dialogs();
  }
  // Nothing to save: no prompt.
  drawing()->modified = 0;
  DialogAnswerer trap;
  trap.answer(GTK_RESPONSE_CANCEL);
  activate("new_file_menu");
  EXPECT_EQ(trap.answered(), 0);
  EXPECT_EQ(new_canvas_dialogs(), 1);
  close_new_canvas_dialogs();
}

TEST_F(MenuTest, OpenShowsTheBusyCursorWhileThePromptAndTheChooserAreUp) {
  for (const char *command : {"open_menu", "open_button"}) {
    drawing_modified(drawing());
    DialogAnswerer dialogs;
    std::vector<GdkCursor *> seen;
    auto note = [&](GtkWidget *) {
      seen.push_back(gdk_window_get_cursor(window->window));
      seen.push_back(gdk_window_get_cursor(area->window));
    };
    dialogs.answer(GTK_RESPONSE_NO, note);
    dialogs.answer(GTK_RESPONSE_CANCEL, note);
    activate(command);
    ASSERT_EQ(dialogs.answered(), 2) << command;
    EXPECT_EQ(dialogs.titles()[1], "Open image");
    for (GdkCursor *cursor : seen) EXPECT_EQ(cursor, canvas->busy_cursor);
    EXPECT_EQ(gdk_window_get_cursor(window->window), canvas->arrow_cursor);
    EXPECT_EQ(gdk_window_get_cursor(area->window), canvas->cursor);

    // Cancel in the prompt: no chooser (the second answer is a trap for
    // one), and the busy cursor goes again.
    drawing_modified(drawing());
    DialogAnswerer cancelled;
    cancelled.answer(GTK_RESPONSE_CANCEL);
    cancelled.answer(GTK_RESPONSE_CANCEL);
    activate(command);
    EXPECT_EQ(cancelled.answered(), 1);
    EXPECT_EQ(gdk_window_get_cursor(window->window), canvas->arrow_cursor);
  }
}

TEST_F(MenuTest, PrintRunsThePrintDialogAndPreviewDoesNothing) {
  GtkPrintSettings *before = print_saved_settings();
  DialogAnswerer dialogs;
  GdkCursor *cursor = nullptr;
  std::string kind;
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *d) {
    cursor = gdk_window_get_cursor(window->window);
    kind = G_OBJECT_TYPE_NAME(d);
  });
  activate("print_menu");
  ASSERT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(kind, "GtkPrintUnixDialog");
  EXPECT_EQ(cursor, canvas->busy_cursor);
  EXPECT_EQ(print_saved_settings(), before);

  dialogs.answer(GTK_RESPONSE_CANCEL);
  activate("print_button");
  EXPECT_EQ(dialogs.answered(), 2);

  fill(0, 0, 5, 5, kRed);
  std::vector<guint32> pixels = picture();
  DialogAnswerer trap;
  trap.answer(GTK_RESPONSE_CANCEL);
  on_print_preview_activate(widget("print_preview"), nullptr);
  pump();
  EXPECT_EQ(trap.answered(), 0);
  EXPECT_EQ(picture(), pixels);
  EXPECT_EQ(gdk_window_get_cursor(window->window), canvas->arrow_cursor);
}

// Saves print settings that send the next print to a PDF file at path.
void print_next_to_file(const std::string &path) {
  gchar *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  GtkPrintSettings *chosen = gtk_print_settings_new();
  gtk_print_settings_set_printer(chosen, "Print to File");
  gtk_print_settings_set(chosen, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
  gtk_print_settings_set(chosen, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
  GtkPrintOperation *earlier = gtk_print_operation_new();
  gtk_print_operation_set_print_settings(earlier, chosen);
  print_keep_settings(earlier, GTK_PRINT_OPERATION_RESULT_APPLY);
  g_object_unref(earlier);
  g_object_unref(chosen);
  g_free(uri);
}

// Emission hook of "draw-page": the close command of the window *data
// points at, once.
gboolean close_while_printing(GSignalInvocationHint *, guint, const GValue *, gpointer data) {
  auto *window = static_cast<GtkWidget **>(data);
  if (*window) on_close_window_activate(*window, nullptr);
  *window = nullptr;
  return TRUE;
}

TEST_F(MenuTest, ClosingTheWindowWhileItPrintsLeavesNoDanglingCanvas) {
  vorpix_test::TempDir scratch;
  const std::string pdf = scratch.file("closed.pdf");
  print_next_to_file(pdf);
  GtkWidget *other = open_window();
  GtkWidget *closing = other;
  // The pages are drawn in a main loop of the print run, where the window's
  // own close command is handled like any other event.
  guint draw_page = g_signal_lookup("draw-page", GTK_TYPE_PRINT_OPERATION);
  gulong hook = g_signal_add_emission_hook(draw_page, 0, close_while_printing, &closing, nullptr);
  DialogAnswerer dialogs;
  bool printable = false;
  dialogs.answer(GTK_RESPONSE_OK,
                 [&](GtkWidget *d) { printable = vorpix_test::wait_until_printable(d); });
  vorpix_test::LogCapture gdk_log("Gdk");
  on_print_menu_activate(lookup_widget(other, "print_menu"), nullptr);
  g_signal_remove_emission_hook(draw_page, hook);
  ASSERT_TRUE(printable);
  EXPECT_EQ(closing, nullptr);
  EXPECT_EQ(g_list_find(window_list(), other), nullptr);
  for (const std::string &message : gdk_log.messages()) ADD_FAILURE() << message;
  // The job is sent after the run; let it finish before the folder goes.
  gint64 end = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (!g_file_test(pdf.c_str(), G_FILE_TEST_EXISTS) && g_get_monotonic_time() < end)
    vorpix_test::run_for(50);
  vorpix_test::run_for(100);
}

// --- Edit commands

TEST_F(MenuTest, ClearAndSelectAllReachTheCanvas) {
  fill(0, 0, 640, 480, kRed);
  activate("select_all");
  EXPECT_EQ(selection_num_points(canvas->selection), 5);
  activate("clear_menu");
  pump();
  EXPECT_EQ(pixel(320, 240), kWhite);
}

// --- Image commands

TEST_F(MenuTest, RotatingByTheP90ItemTurnsAQuarterClockwise) {
  fill(0, 0, 10, 10, kRed);     // top-left corner
  fill(630, 0, 10, 10, kBlue);  // top-right corner
  activate("rotate_p90_menu");
  ASSERT_EQ(drawing()->width, 480);
  ASSERT_EQ(drawing()->height, 640);
  EXPECT_EQ(pixel(475, 4), kRed);     // top-left went to the top-right
  EXPECT_EQ(pixel(475, 635), kBlue);  // top-right went to the bottom-right
  EXPECT_EQ(pixel(4, 4), kWhite);
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
  int width = 0, height = 0;
  view_zoomed_size(canvas->view, &width, &height);
  EXPECT_EQ(width, 480);
  EXPECT_EQ(height, 640);
}

TEST_F(MenuTest, OtherRightAngleItemsTurnTheWayTheirNamesSay) {
  fill(0, 0, 10, 10, kRed);
  activate("rotate_n90_menu");  // counter-clockwise: top-left to bottom-left
  ASSERT_EQ(drawing()->width, 480);
  EXPECT_EQ(pixel(4, 635), kRed);
  activate("rotate_n180_menu");  // now top-right
  ASSERT_EQ(drawing()->width, 480);
  ASSERT_EQ(drawing()->height, 640);
  EXPECT_EQ(pixel(475, 4), kRed);
  EXPECT_EQ(pixel(4, 635), kWhite);
}

TEST_F(MenuTest, FortyFiveDegreeItemsTurnTheWayTheirLabelsSay) {
  // A mark right of the centre moves down for a clockwise turn, up otherwise.
  for (auto [item, clockwise] : {std::pair{"rotate_n45_menu", true}, {"rotate_p45_menu", false}}) {
    VorpixDrawing *blank = drawing_new_blank(area, canvas->gc, 640, 480);
    canvas_set_drawing(canvas, blank);
    fill(490, 230, 20, 20, kRed);  // centre (500, 240): 180 right of (320, 240)
    activate(item);
    const int width = drawing()->width, height = drawing()->height;
    EXPECT_NEAR(width, 792, 2) << item;
    EXPECT_NEAR(height, 792, 2) << item;
    // 180 pixels at 45 degrees: about 127 across and 127 down (or up).
    const int x = width / 2 + 127, y = height / 2 + (clockwise ? 127 : -127);
    EXPECT_EQ(pixel(x, y), kRed) << item;
    EXPECT_EQ(pixel(x, height - y), kWhite) << item;
    EXPECT_NE(strstr(title(), "(modified)"), nullptr);
  }
}

TEST_F(MenuTest, NamesThatDoNotFitThePatternRotateNothing) {
  GtkWidget *item = widget("rotate_p90_menu");
  fill(0, 0, 10, 10, kRed);
  std::vector<guint32> pixels = picture();
  for (const char *name :
       {"rotate_p90", "rotate_p90_menu_x", "rotate_pq_menu", "turn_p90_menu", "rotate__menu"}) {
    gtk_widget_set_name(item, name);
    gtk_menu_item_activate(GTK_MENU_ITEM(item));
    pump();
    EXPECT_EQ(drawing()->width, 640) << name;
    EXPECT_EQ(drawing()->modified, 0) << name;
  }
  EXPECT_EQ(picture(), pixels);
  // Any letter but p takes the number as it is.
  gtk_widget_set_name(item, "rotate_q270_menu");
  gtk_menu_item_activate(GTK_MENU_ITEM(item));
  pump();
  ASSERT_EQ(drawing()->width, 480);
  EXPECT_EQ(pixel(475, 4), kRed);
}

TEST_F(MenuTest, FlipsMirrorAndTwiceRestoreExactly) {
  fill(0, 0, 30, 10, kRed);
  fill(600, 400, 5, 80, kBlue);
  fill(100, 200, 3, 3, 0x123456);
  std::vector<guint32> original = picture();

  activate("flip_x_axis_menu");
  EXPECT_EQ(pixel(639, 0), kRed);
  EXPECT_EQ(pixel(0, 0), kWhite);
  EXPECT_EQ(pixel(639 - 600, 479), kBlue);
  activate("flip_x_axis_menu");
  EXPECT_EQ(picture(), original);

  activate("flip_y_axis_menu");
  EXPECT_EQ(pixel(0, 479), kRed);
  EXPECT_EQ(pixel(600, 0), kBlue);
  activate("flip_y_axis_menu");
  EXPECT_EQ(picture(), original);
  // The window shows the flipped picture too.
  EXPECT_EQ(window_pixel(0, 0), kRed);
}

// Every command that changes the picture marks the drawing modified, so
// closing the window asks before the change is lost.
TEST_F(MenuTest, EveryChangeMarksTheDrawingModifiedAndClosingAsks) {
  ScratchDir scratch;
  const std::string path = scratch.file("kept.png");
  const std::pair<const char *, bool> commands[] = {
      {"flip_x_axis_menu", false}, {"flip_y_axis_menu", false}, {"clear_menu", false},
      {"clear_menu", true},        {"cut_menu", true},
  };
  for (const auto &[item, selected] : commands) {
    SCOPED_TRACE(std::string(item) + (selected ? " inside an outline" : ""));
    fill(0, 0, 30, 10, kRed);
    ASSERT_TRUE(drawing_save_as(drawing(), path.c_str()));
    ASSERT_STREQ(title(), "kept.png - vorpix");
    if (selected) selection_set_rectangle(canvas->selection, GdkRectangle{0, 0, 20, 20});
    activate(item);
    EXPECT_EQ(drawing()->modified, 1);
    EXPECT_STREQ(title(), "kept.png (modified) - vorpix");
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_CANCEL);
    activate("close_window_menu");
    EXPECT_EQ(dialogs.answered(), 1) << "closed without a question";
    ASSERT_EQ(window_list() ? window_list()->data : nullptr, window);
  }
}

// Typed text belongs to the picture it was typed on: New and Get Desktop put
// it there before they ask, and it never moves into the picture that comes.
TEST_F(MenuTest, NewAndGetDesktopCommitTypedTextBeforeThePrompt) {
  for (const char *item : {"new_file_menu", "get_desktop"}) {
    SCOPED_TRACE(item);
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 640, 480));
    click_button("text_button");
    click(10, 20);
    key(GDK_H, "H");
    key(GDK_i, "i");
    const std::vector<guint32> blank = picture();
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_CANCEL);
    activate(item);
    ASSERT_EQ(dialogs.answered(), 1) << "no prompt for the typed text";
    EXPECT_NE(picture(), blank) << "the text is not in the picture";

    dialogs.answer(GTK_RESPONSE_NO);
    activate(item);
    ASSERT_EQ(dialogs.answered(), 2);
    if (g_strcmp0(item, "new_file_menu") == 0) {
      ASSERT_EQ(new_canvas_dialogs(), 1);
      GList *toplevels = gtk_window_list_toplevels();
      for (GList *node = toplevels; node; node = node->next)
        if (g_strcmp0(gtk_widget_get_name(GTK_WIDGET(node->data)), "new_canvas_window") == 0 &&
            GTK_WIDGET_VISIBLE(node->data))
          gtk_button_clicked(GTK_BUTTON(lookup_widget(GTK_WIDGET(node->data), "new_canvas_ok_button")));
      g_list_free(toplevels);
      pump();
    }
    const std::vector<guint32> replaced = picture();
    click_button("pen_button");  // would commit text still pending
    EXPECT_EQ(picture(), replaced) << "the text moved into the new picture";
  }
}

TEST_F(MenuTest, InvertAndTheOtherInertItemsChangeNothing) {
  fill(0, 0, 10, 10, kRed);
  std::vector<guint32> pixels = picture();
  DialogAnswerer trap;
  trap.answer(GTK_RESPONSE_CANCEL);
  for (const char *item : {"invert_menu", "reset_menu", "revert_menu", "print_setup"})
    activate(item);
  EXPECT_EQ(trap.answered(), 0);
  EXPECT_EQ(picture(), pixels);
  EXPECT_EQ(drawing()->modified, 0);
  EXPECT_FALSE(on_fontpicker_map_event(widget("fontpicker"), nullptr, nullptr));
}

TEST_F(MenuTest, GetDesktopAsksFirstThenGivesAnUntitledModifiedCapture) {
  drawing_modified(drawing());
  VorpixDrawing *old = drawing();
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_CANCEL);
  activate("get_desktop");
  ASSERT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(drawing(), old);

  dialogs.answer(GTK_RESPONSE_NO);
  activate("get_desktop");
  ASSERT_EQ(dialogs.answered(), 2);
  ASSERT_NE(drawing(), old);
  GdkScreen *screen = gdk_screen_get_default();
  EXPECT_EQ(drawing()->width, gdk_screen_get_width(screen));
  EXPECT_EQ(drawing()->height, gdk_screen_get_height(screen));
  EXPECT_EQ(drawing()->untitled, 1);
  EXPECT_EQ(drawing()->modified, 1);
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
}

// A desktop that shows plain blue everywhere, above every other window: it
// has no background of its own and paints itself only when exposed, so the
// screen keeps whatever covered it until it has repainted, as other
// programs' windows do.
class PaintedDesktop {
 public:
  PaintedDesktop() {
    GdkScreen *screen = gdk_screen_get_default();
    width_ = gdk_screen_get_width(screen);
    height_ = gdk_screen_get_height(screen);
    window_ = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_move(GTK_WINDOW(window_), 0, 0);
    gtk_widget_set_size_request(window_, width_, height_);
    gtk_widget_set_app_paintable(window_, TRUE);
    gtk_widget_set_double_buffered(window_, FALSE);
    g_signal_connect(window_, "expose-event", G_CALLBACK(on_expose), nullptr);
    gtk_widget_realize(window_);
    gdk_window_set_back_pixmap(window_->window, nullptr, FALSE);
    gtk_widget_show(window_);
  }
  ~PaintedDesktop() { gtk_widget_destroy(window_); }
  PaintedDesktop(const PaintedDesktop &) = delete;
  PaintedDesktop &operator=(const PaintedDesktop &) = delete;

  // Pixels of drawable (the screen's size) that are not the desktop's blue.
  int others(GdkDrawable *drawable) const {
    int count = 0;
    for (guint32 p : vorpix_test::drawable_pixels(drawable, width_, height_)) count += p != kBlue;
    return count;
  }
  bool shown() {
    for (int i = 0; i < 100; i++) {
      if (others(gdk_get_default_root_window()) == 0) return true;
      vorpix_test::run_for(20);
    }
    return false;
  }

 private:
  static gboolean on_expose(GtkWidget *widget, GdkEventExpose *event, gpointer) {
    GdkGC *gc = gdk_gc_new(widget->window);
    GdkColor blue = {0, 0, 0, 0xffff};
    gdk_gc_set_rgb_fg_color(gc, &blue);
    gdk_draw_rectangle(widget->window, gc, TRUE, event->area.x, event->area.y, event->area.width,
                       event->area.height);
    g_object_unref(gc);
    return TRUE;
  }
  GtkWidget *window_;
  int width_, height_;
};

// A button event on a menu item's own input window, as the pointer gives it.
void send_item_button(GtkWidget *item, GdkEventType type) {
  GdkEvent *event = gdk_event_new(type);
  GdkWindow *window = GTK_MENU_ITEM(item)->event_window;
  event->button.window = GDK_WINDOW(g_object_ref(window));
  event->button.send_event = TRUE;
  event->button.time = GDK_CURRENT_TIME;
  event->button.x = item->allocation.width / 2;
  event->button.y = item->allocation.height / 2;
  int ox = 0, oy = 0;
  gdk_window_get_origin(window, &ox, &oy);
  event->button.x_root = ox + event->button.x;
  event->button.y_root = oy + event->button.y;
  event->button.button = 1;
  event->button.device = gdk_device_get_core_pointer();
  gtk_main_do_event(event);
  gdk_event_free(event);
}

// Get Desktop reads the screen only once the menu, and the prompt when there
// is one, have gone and what they covered has been painted again.
TEST_F(MenuTest, GetDesktopCapturesNeitherItsMenuNorItsPrompt) {
  GtkWidget *item = widget("get_desktop");
  ASSERT_NE(item, nullptr);
  GtkWidget *menu = gtk_widget_get_parent(item);
  ASSERT_TRUE(GTK_IS_MENU(menu));
  GtkWidget *top = gtk_menu_get_attach_widget(GTK_MENU(menu));
  for (bool prompt : {false, true}) {
    SCOPED_TRACE(prompt ? "with the save prompt" : "from the menu alone");
    PaintedDesktop desktop;
    ASSERT_TRUE(desktop.shown());
    if (prompt) drawing_modified(drawing());
    DialogAnswerer answers;
    if (prompt) answers.answer(GTK_RESPONSE_NO);
    send_item_button(top, GDK_BUTTON_PRESS);
    pump();
    ASSERT_TRUE(GTK_WIDGET_MAPPED(menu)) << "the menu did not open";
    ASSERT_GT(desktop.others(gdk_get_default_root_window()), 0) << "the menu does not show";
    gtk_menu_shell_select_item(GTK_MENU_SHELL(menu), item);
    vorpix_test::send_key(menu, GDK_KEY_PRESS, GDK_Return, "\r");
    pump();
    EXPECT_EQ(answers.answered(), prompt ? 1 : 0);
    EXPECT_EQ(desktop.others(drawing()->backing_pixmap), 0);
  }
}

TEST_F(MenuTest, EverySetAsBackgroundItemTilesThePictureOnTheRootWindow) {
  GdkWindow *root = gdk_get_default_root_window();
  const guint32 colours[] = {0x00ff00, 0xff00ff, 0x00ffff};
  const char *items[] = {"change_background_menu", "set_as_background_titled",
                         "set_as_background_centered"};
  for (int i = 0; i < 3; i++) {
    // Each 640 by 480 tile: one colour, with a red top-left quarter.
    fill(0, 0, 640, 480, colours[i]);
    fill(0, 0, 320, 240, kRed);
    gtk_widget_show(widget(items[i]));  // the hidden ones too
    activate(items[i]);
    pump();
    // Points of the 1280 by 1024 screen that the 740 by 680 main window at
    // the top-left does not cover, and where they lie in their tile.
    const struct {
      int x, y;
      guint32 expected;
    } points[] = {{800, 700, kRed},          // (160, 220) of the tile across and down
                  {970, 730, colours[i]},    // (330, 250)
                  {1000, 900, colours[i]},   // (360, 420)
                  {700, 970, kRed},          // (60, 10) of the third row of tiles
                  {1279, 1023, colours[i]},  // (639, 63)
                  {100, 1000, kRed}};        // (100, 40)
    for (const auto &p : points)
      EXPECT_EQ(vorpix_test::drawable_pixel(root, p.x, p.y), p.expected)
          << items[i] << " at " << p.x << ", " << p.y;
    EXPECT_EQ(drawing()->modified, 0);
  }
}

// --- Line width

TEST_F(MenuTest, LineWidthEntrySetsTheWindowsSharedWidth) {
  GtkWidget *other = open_window();
  GtkEntry *entry = GTK_ENTRY(line_width_entry());
  gtk_entry_set_text(entry, "5");
  EXPECT_EQ(line_width(canvas->gc), 5);
  EXPECT_EQ(line_width(drawing()->gc), 5);
  EXPECT_EQ(line_width(canvas_of(other)->gc), 1);

  gtk_entry_set_text(entry, "12abc");
  EXPECT_EQ(line_width(canvas->gc), 12);
  EXPECT_STREQ(gtk_entry_get_text(entry), "12abc");

  // Style, caps and joins stay as they were.
  GdkGCValues values;
  gdk_gc_get_values(canvas->gc, &values);
  EXPECT_EQ(values.line_style, GDK_LINE_SOLID);
  EXPECT_EQ(values.cap_style, GDK_CAP_ROUND);
  EXPECT_EQ(values.join_style, GDK_JOIN_ROUND);

  // The width survives replacing the drawing.
  canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 100, 100));
  EXPECT_EQ(line_width(drawing()->gc), 12);
}

// Keys typed into the main window as a user types them: they go to the
// widget with the focus, through the window's accelerators.
void type_keys(GtkWidget *window, std::initializer_list<std::pair<guint, guint>> keys) {
  for (const auto &[keyval, state] : keys) {
    vorpix_test::send_key(window, GDK_KEY_PRESS, keyval, nullptr, state);
    vorpix_test::send_key(window, GDK_KEY_RELEASE, keyval, nullptr, state);
  }
  pump();
}

TEST_F(MenuTest, TwoDigitsTypedIntoTheLineWidthEntryGiveATwoDigitWidth) {
  GtkWidget *entry = line_width_entry();
  gtk_widget_grab_focus(entry);
  gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
  type_keys(window, {{GDK_1, 0}});
  EXPECT_EQ(line_width(canvas->gc), 1);
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), entry) << "the focus left while typing";
  type_keys(window, {{GDK_2, 0}});
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "12");
  EXPECT_EQ(line_width(canvas->gc), 12);
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), entry);
  // Enter hands the keyboard back to the picture.
  type_keys(window, {{GDK_Return, 0}});
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), area);
  EXPECT_EQ(line_width(canvas->gc), 12);

  // So does a width picked from the list (20 is its last).
  gtk_widget_grab_focus(entry);
  GtkComboBox *combo = GTK_COMBO_BOX(widget("line_width_combo"));
  gtk_combo_box_set_active(combo, gtk_tree_model_iter_n_children(gtk_combo_box_get_model(combo), nullptr) - 1);
  pump();
  EXPECT_EQ(line_width(canvas->gc), 20);
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), area);
}

// In the entry, Ctrl+A, Ctrl+C, Ctrl+X and Ctrl+V edit its text; the
// picture is neither selected, copied, cut nor pasted into.
TEST_F(MenuTest, EditingKeysInTheLineWidthEntryEditItsText) {
  GtkWidget *entry = line_width_entry();
  gtk_entry_set_text(GTK_ENTRY(entry), "12");
  gtk_widget_grab_focus(entry);
  type_keys(window, {{GDK_a, GDK_CONTROL_MASK}});
  gint start = 0, end = 0;
  EXPECT_TRUE(gtk_editable_get_selection_bounds(GTK_EDITABLE(entry), &start, &end));
  EXPECT_EQ(end - start, 2);
  EXPECT_EQ(selection_num_points(canvas->selection), 0) << "Ctrl+A selected the picture";

  type_keys(window, {{GDK_c, GDK_CONTROL_MASK}});
  gchar *copied = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
  EXPECT_STREQ(copied, "12");
  g_free(copied);
  type_keys(window, {{GDK_x, GDK_CONTROL_MASK}});
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "");
  type_keys(window, {{GDK_v, GDK_CONTROL_MASK}});
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "12");
  EXPECT_NE(canvas->tool, canvas->paste_tool) << "Ctrl+V pasted into the picture";
  EXPECT_EQ(line_width(canvas->gc), 12);
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), entry);
  // Keys the entry does not edit with still reach the window's commands.
  type_keys(window, {{GDK_n, GDK_CONTROL_MASK}});
  EXPECT_EQ(new_canvas_dialogs(), 1);
  close_new_canvas_dialogs();
}

TEST_F(MenuTest, LineWidthBelowOneOrNoNumberPutsTheCurrentWidthBack) {
  GtkEntry *entry = GTK_ENTRY(line_width_entry());
  gtk_entry_set_text(entry, "7");
  for (const char *text : {"0", "-2", "abc", " -", "+0"}) {
    gtk_entry_set_text(entry, text);
    EXPECT_STREQ(gtk_entry_get_text(entry), "7") << text;
    EXPECT_EQ(gtk_editable_get_position(GTK_EDITABLE(entry)), 1) << text;
    EXPECT_EQ(line_width(canvas->gc), 7) << text;
  }
  // Typing into an entry holding 12: a leading minus is refused.
  gtk_entry_set_text(entry, "12");
  gint position = 0;
  gtk_editable_insert_text(GTK_EDITABLE(entry), "-", 1, &position);
  EXPECT_STREQ(gtk_entry_get_text(entry), "12");
  EXPECT_EQ(line_width(canvas->gc), 12);
}

TEST_F(MenuTest, ClearingTheLineWidthEntryDoesNothing) {
  GtkEntry *entry = GTK_ENTRY(line_width_entry());
  gtk_entry_set_text(entry, "9");
  gtk_widget_grab_focus(GTK_WIDGET(entry));
  gtk_entry_set_text(entry, "");
  EXPECT_STREQ(gtk_entry_get_text(entry), "");
  EXPECT_EQ(line_width(canvas->gc), 9);
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), GTK_WIDGET(entry));
}

// --- Font

std::string font_of(GtkWidget *area) {
  gchar *name = pango_font_description_to_string(area->style->font_desc);
  std::string result = name;
  g_free(name);
  return result;
}

TEST_F(MenuTest, ChosenFontGoesToTheTextToolOfThatWindowOnly) {
  GtkWidget *other = open_window();
  std::string others_font = font_of(canvas_of(other)->drawing_area);
  tool_palette_set_active_button(window, "text_button");
  GtkWidget *picker = widget("fontpicker");
  gtk_font_button_set_font_name(GTK_FONT_BUTTON(picker), "Serif Bold 23");
  g_signal_emit_by_name(picker, "font-set");
  pump();
  // The text tool writes in the drawing area's font.
  EXPECT_EQ(font_of(area), "Serif Bold 23");
  EXPECT_EQ(font_of(canvas_of(other)->drawing_area), others_font);
}

}  // namespace

// --- Keyboard access

// Within one menu, a mnemonic shared by two shown items only moves the
// highlight between them, so the second can never be chosen by its key.
TEST_F(MenuTest, ShownItemsOfEachMenuHaveDistinctMnemonics) {
  GtkWidget *menubar = widget("menubar");
  ASSERT_NE(menubar, nullptr);
  int menus_checked = 0;
  GList *titles = gtk_container_get_children(GTK_CONTAINER(menubar));
  for (GList *t = titles; t; t = t->next) {
    GtkWidget *menu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(t->data));
    if (!menu)
      continue;
    menus_checked++;
    std::vector<std::pair<guint, std::string>> seen;
    GList *items = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList *i = items; i; i = i->next) {
      GtkWidget *item = GTK_WIDGET(i->data);
      GtkWidget *label = gtk_bin_get_child(GTK_BIN(item));
      if (!GTK_WIDGET_VISIBLE(item) || !GTK_IS_LABEL(label))
        continue;
      guint key = gdk_keyval_to_lower(gtk_label_get_mnemonic_keyval(GTK_LABEL(label)));
      if (key == GDK_VoidSymbol)
        continue;
      for (const auto &[other_key, other_name] : seen)
        EXPECT_NE(key, other_key) << gtk_widget_get_name(item) << " and " << other_name;
      seen.emplace_back(key, gtk_widget_get_name(item));
    }
    g_list_free(items);
  }
  g_list_free(titles);
  EXPECT_GE(menus_checked, 5);
}
