// Start-up, the window list, lookup, close and quit.
#include <gtest/gtest.h>
#include <gdk/gdkx.h>
#include <glib/gstdio.h>
#include <signal.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "panels/gtkscrollframe.h"
#include "shell/util.h"
#include "shell/window.h"
#include "shell/x_errors.h"
#include "tests/harness/hostile_loader.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"
#include "tests/harness/xvfb.h"
#include "tools/selection.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::LogCapture;
using vorpix_test::MainWindowTest;
using vorpix_test::pump;
using vorpix_test::TempDir;
using vorpix_test::write_png;

namespace {

// A 64 x 48 picture of one colour at some/dir/photo.png in the directory;
// returns its path.
std::string put_picture(const TempDir &dir, guint32 rgb) {
  EXPECT_EQ(g_mkdir_with_parents(dir.file("some/dir").c_str(), 0755), 0);
  std::string path = dir.file("some/dir/photo.png");
  write_png(path, 64, 48, rgb);
  return path;
}

int listed_windows() { return static_cast<int>(g_list_length(window_list())); }

const bool loader_installed = vorpix_test::install_hostile_loader();

// The command-line file is read after the window is up: runs the main loop
// until the window's title is the one given (at most ten seconds).
bool wait_for_title(GtkWidget *window, const std::string &title) {
  const gint64 end = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (g_get_monotonic_time() < end && title != gtk_window_get_title(GTK_WINDOW(window)))
    vorpix_test::run_for(10);
  return title == gtk_window_get_title(GTK_WINDOW(window));
}

bool wait_for_log(const LogCapture &log, const std::string &text) {
  const gint64 end = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (g_get_monotonic_time() < end && !log.contains(text)) vorpix_test::run_for(10);
  return log.contains(text);
}

TEST_F(MainWindowTest, StartsWithABlankUntitledDrawingInTheScrollFrame) {
  EXPECT_STREQ(title(), "Untitled - vorpix");
  int width = 0, height = 0;
  gtk_window_get_default_size(GTK_WINDOW(window), &width, &height);
  EXPECT_EQ(width, 740);
  EXPECT_EQ(height, 680);
  EXPECT_EQ(drawing()->width, 640);
  EXPECT_EQ(drawing()->height, 480);
  for (guint32 value : vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480))
    ASSERT_EQ(value, 0xffffffu);
  GtkWidget *frame = widget("scroll_frame");
  ASSERT_TRUE(GTK_IS_SCROLL_FRAME(frame));
  EXPECT_TRUE(gtk_widget_is_ancestor(area, frame));
  EXPECT_EQ(listed_windows(), 1);
}

TEST_F(MainWindowTest, OpensOnlyTheFirstFileArgumentInTheFirstNewCanvas) {
  TempDir dir;
  std::string path = put_picture(dir, 0x3366cc);
  std::string ignored = dir.file("some/dir/other.png");
  char *argv[] = {const_cast<char *>("vorpix"), const_cast<char *>(path.c_str()),
                  const_cast<char *>(ignored.c_str()), nullptr};
  canvas_init_arg(3, argv);
  GtkWidget *second = open_window();
  VorpixCanvas *opened = canvas_of(second);
  EXPECT_TRUE(wait_for_title(second, "photo.png - vorpix"));
  EXPECT_EQ(opened->drawing->width, 64);
  EXPECT_EQ(vorpix_test::drawable_pixel(opened->drawing->backing_pixmap, 10, 10), 0x3366ccu);

  GtkWidget *third = open_window();
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(third)), "Untitled - vorpix");
  EXPECT_EQ(canvas_of(third)->drawing->width, 640);
}

TEST_F(MainWindowTest, UnreadableOrEmptyArgumentIsLoggedToldOnceAndGivesABlankDrawing) {
  for (const char *name : {"/nonexistent/picture.png", ""}) {
    char *argv[] = {const_cast<char *>("vorpix"), const_cast<char *>(name), nullptr};
    canvas_init_arg(2, argv);
    LogCapture log;
    DialogAnswerer answers;
    // A second answer in store: a second message would take it.
    answers.answer(GTK_RESPONSE_OK);
    answers.answer(GTK_RESPONSE_OK);
    GtkWidget *other = open_window();
    EXPECT_TRUE(wait_for_log(log, std::string("Failed to open drawing file ") + name)) << name;
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(other)), "Untitled - vorpix");
    EXPECT_EQ(canvas_of(other)->drawing->width, 640);
    EXPECT_EQ(canvas_of(other)->drawing->height, 480);
    // Once the window is up, it tells the user too.
    for (int i = 0; i < 40 && answers.answered() == 0; i++) vorpix_test::run_for(50);
    vorpix_test::run_for(300);
    EXPECT_EQ(answers.answered(), 1) << name;
    EXPECT_EQ(answers.texts(), std::vector<std::string>{std::string("Cannot open file ") + name +
                                                        "."});
  }
}

// A file that takes long to read: the window is up with its blank picture
// at once, and stays so when the reading is stopped at the time limit.
TEST_F(MainWindowTest, WindowIsUpBeforeTheFileIsRead) {
  ASSERT_TRUE(loader_installed);
  TempDir dir;
  std::string path = vorpix_test::write_hostile_file(dir.file("slow.vxh"), "hang");
  char *argv[] = {const_cast<char *>("vorpix"), const_cast<char *>(path.c_str()), nullptr};
  canvas_init_arg(2, argv);
  g_setenv("VORPIX_DECODE_TIME_LIMIT_MS", "1500", TRUE);
  LogCapture log;
  DialogAnswerer answers;
  answers.act([](GtkWidget *) {});  // "Opening ...", left to the time limit
  answers.answer(GTK_RESPONSE_OK);  // then "Cannot open file ..."
  // Half a second in, while the file is being read: the new window is mapped
  // with its blank picture.
  struct Seen {
    bool mapped = false;
    std::string title;
    guint32 pixel = 0;
  } seen;
  g_timeout_add(500, [](gpointer data) -> gboolean {
    auto *seen = static_cast<Seen *>(data);
    GtkWidget *newest = GTK_WIDGET(g_list_last(window_list())->data);
    seen->mapped = GTK_WIDGET_MAPPED(newest);
    seen->title = gtk_window_get_title(GTK_WINDOW(newest));
    seen->pixel = vorpix_test::drawable_pixel(canvas_lookup(newest)->drawing->backing_pixmap, 5, 5);
    return G_SOURCE_REMOVE;
  }, &seen);
  const gint64 start = g_get_monotonic_time();
  GtkWidget *other = open_window();
  EXPECT_TRUE(wait_for_log(log, "Failed to open drawing file " + path));
  EXPECT_TRUE(seen.mapped);
  EXPECT_EQ(seen.title, "Untitled - vorpix");
  EXPECT_EQ(seen.pixel, 0xffffffu);
  g_unsetenv("VORPIX_DECODE_TIME_LIMIT_MS");
  EXPECT_GE((g_get_monotonic_time() - start) / 1000, 1400);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(other)), "Untitled - vorpix");
  EXPECT_EQ(canvas_of(other)->drawing->width, 640);
  for (int i = 0; i < 40 && answers.pending() > 0; i++) vorpix_test::run_for(50);
  ASSERT_FALSE(answers.texts().empty());
  EXPECT_EQ(answers.texts().back(), "Cannot open file " + path + ".");
}

TEST_F(MainWindowTest, LookupFromAMenuItemFindsWidgetsOfItsOwnWindow) {
  GtkWidget *other = open_window();
  GtkWidget *item = widget("save_menu");
  ASSERT_NE(item, nullptr);
  ASSERT_TRUE(GTK_IS_MENU(item->parent)) << "the item should live in a menu";
  EXPECT_EQ(lookup_widget(item, "main_window"), window);
  EXPECT_EQ(lookup_widget(item, "drawing_area"), area);
  EXPECT_EQ(canvas_lookup(item), canvas);
  EXPECT_EQ(canvas_lookup(lookup_widget(other, "quit_menu")), canvas_of(other));
}

TEST_F(MainWindowTest, LookupOutsideAnyWindowWarnsAndFindsNothing) {
  GtkWidget *loose = gtk_label_new("loose");
  g_object_ref_sink(loose);
  LogCapture log;
  EXPECT_EQ(lookup_widget(loose, "main_window"), nullptr);
  EXPECT_TRUE(log.contains("XML object not found: main_window"));
  g_object_unref(loose);
}

TEST_F(MainWindowTest, QuitWithOneCleanWindowClosesWithoutAnyDialog) {
  DialogAnswerer dialogs;
  on_quit_menu_activate(widget("quit_menu"), nullptr);
  pump();
  EXPECT_EQ(dialogs.answered(), 0);
  EXPECT_EQ(listed_windows(), 0);
}

TEST_F(MainWindowTest, QuitWithTwoWindowsAsksFirstAndNoKeepsBoth) {
  open_window();
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_NO);
  on_quit_menu_activate(widget("quit_menu"), nullptr);
  pump();
  ASSERT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(dialogs.texts()[0],
            "You have more than one window open.\nDo you really want to quit?");
  EXPECT_EQ(listed_windows(), 2);

  dialogs.answer(GTK_RESPONSE_DELETE_EVENT);
  on_quit_menu_activate(widget("quit_menu"), nullptr);
  pump();
  EXPECT_EQ(listed_windows(), 2);

  dialogs.answer(GTK_RESPONSE_YES);
  on_quit_menu_activate(widget("quit_menu"), nullptr);
  pump();
  EXPECT_EQ(listed_windows(), 0);
}

TEST_F(MainWindowTest, QuitGoesOnPastAWindowWhosePromptWasCancelled) {
  GtkWidget *second = open_window();
  GtkWidget *third = open_window();
  // Newest first: the third window is visited first, the second next.
  drawing_modified(canvas_of(second)->drawing);
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_YES);
  dialogs.answer(GTK_RESPONSE_CANCEL);
  on_quit_menu_activate(widget("quit_menu"), nullptr);
  pump();
  EXPECT_EQ(dialogs.answered(), 2);
  ASSERT_EQ(listed_windows(), 1);
  EXPECT_EQ(window_list()->data, second);
  EXPECT_EQ(g_list_find(window_list(), third), nullptr);
}

TEST_F(MainWindowTest, CloseAsksToSaveAModifiedDrawingAndCancelKeepsTheWindow) {
  drawing_modified(drawing());
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_CANCEL);
  on_close_window_activate(widget("close_window_menu"), nullptr);
  pump();
  EXPECT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(listed_windows(), 1);

  dialogs.answer(GTK_RESPONSE_NO);
  on_close_window_activate(widget("close_window_menu"), nullptr);
  pump();
  EXPECT_EQ(listed_windows(), 0);
}

TEST_F(MainWindowTest, WindowManagerCloseOfAModifiedDrawingCanBeCancelled) {
  drawing_modified(drawing());
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_CANCEL);
  GdkEvent *event = gdk_event_new(GDK_DELETE);
  event->any.window = GDK_WINDOW(g_object_ref(window->window));
  event->any.send_event = TRUE;
  gtk_main_do_event(event);
  pump();
  EXPECT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(listed_windows(), 1);

  dialogs.answer(GTK_RESPONSE_NO);
  gtk_main_do_event(event);
  pump();
  gdk_event_free(event);
  EXPECT_EQ(listed_windows(), 0);
}

TEST_F(MainWindowTest, FocusOnAnotherWidgetIsFocusLostForTheCanvas) {
  canvas_focus_gained(canvas);
  ASSERT_EQ(canvas->has_focus, 1);
  on_mainwindow_set_focus(GTK_WINDOW(window), area, nullptr);
  EXPECT_EQ(canvas->has_focus, 1);
  on_mainwindow_set_focus(GTK_WINDOW(window), widget("line_width_combo_entry"), nullptr);
  EXPECT_EQ(canvas->has_focus, 0);
  EXPECT_EQ(canvas->selection->flashing, 0);

  // The window manager gives the window focus back.
  vorpix_test::send_focus(window, true);
  pump();
  EXPECT_EQ(canvas->has_focus, 1);
  EXPECT_EQ(canvas->selection->flashing, 1);
  EXPECT_TRUE(gtk_widget_is_focus(area));
}

// The program itself, started as a user would.
class ProgramTest : public ::testing::Test {
 protected:
  static std::string find_title(const std::string &wanted, int timeout_ms) {
    Display *display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    gint64 end = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    while (g_get_monotonic_time() < end) {
      Window root_return, parent_return, *children = nullptr;
      unsigned int n = 0;
      XQueryTree(display, DefaultRootWindow(display), &root_return, &parent_return, &children, &n);
      std::string found;
      for (unsigned int i = 0; i < n && found.empty(); i++) {
        char *name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
          if (wanted == name) found = name;
          XFree(name);
        }
      }
      if (children) XFree(children);
      if (!found.empty()) return found;
      g_usleep(50000);
    }
    return "";
  }

  GPid start(const std::string &argument) {
    std::string binary = std::string(VORPIX_BINARY_DIR) + "/vorpix";
    gchar *argv[] = {const_cast<gchar *>(binary.c_str()), const_cast<gchar *>(argument.c_str()),
                     nullptr};
    if (argument.empty()) argv[1] = nullptr;
    GPid pid = 0;
    GError *error = nullptr;
    EXPECT_TRUE(g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                              nullptr, &pid, &error))
        << (error ? error->message : "");
    if (error) g_error_free(error);
    return pid;
  }

  static void stop(GPid pid) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    g_spawn_close_pid(pid);
  }
};

TEST_F(ProgramTest, ShowsTheFileNamedOnTheCommandLine) {
  TempDir dir;
  GPid pid = start(put_picture(dir, 0xff0000));
  EXPECT_EQ(find_title("photo.png - vorpix", 10000), "photo.png - vorpix");
  stop(pid);

  pid = start("");
  EXPECT_EQ(find_title("Untitled - vorpix", 10000), "Untitled - vorpix");
  stop(pid);
}

}  // namespace

// Pixmaps of that size taken from the X server until it refuses one, so
// that it has no room left for another (memory it freed earlier included).
std::vector<GdkPixmap *> fill_server(GdkWindow *window, int width, int height) {
  std::vector<GdkPixmap *> held;
  for (;;) {
    gdk_error_trap_push();
    GdkPixmap *pixmap = gdk_pixmap_new(window, width, height, -1);
    gdk_flush();
    if (gdk_error_trap_pop() == 0) {
      held.push_back(pixmap);
      continue;
    }
    gdk_error_trap_push();
    g_object_unref(pixmap);
    gdk_flush();
    gdk_error_trap_pop();
    return held;
  }
}

// An X server that cannot hold another picture: New Window says so, and the
// program and its windows live on.
TEST_F(MainWindowTest, NewWindowTheServerCannotHoldIsRefusedWithAMessage) {
  drawing_modified(drawing());
  {
    vorpix_test::ServerMemoryLimit limit(1 << 20);
    ASSERT_TRUE(limit.ok());
    std::vector<GdkPixmap *> held = fill_server(window->window, 640, 480);
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_OK);
    on_create_new_window(widget("new_window_menu"), nullptr);
    pump();
    ASSERT_EQ(dialogs.answered(), 1);
    EXPECT_EQ(dialogs.texts().back(), "Not enough memory to make a new picture.");
    for (GdkPixmap *pixmap : held) g_object_unref(pixmap);
    gdk_flush();
  }
  EXPECT_EQ(listed_windows(), 1);
  EXPECT_EQ(drawing()->modified, 1);
  GtkWidget *second = open_window();
  EXPECT_EQ(listed_windows(), 2);
  EXPECT_EQ(canvas_of(second)->drawing->width, 640);
}

// A repaint the X server cannot make room for (its double buffer refused)
// leaves the program running with its picture; it repaints once the server
// has room again.
TEST_F(MainWindowTest, RepaintTheServerCannotHoldLeavesTheProgramRunning) {
  x_errors_init();
  drawing_modified(drawing());
  const std::vector<guint32> before =
      vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480);
  LogCapture log;
  {
    vorpix_test::ServerMemoryLimit limit(1 << 20);
    ASSERT_TRUE(limit.ok());
    std::vector<GdkPixmap *> held = fill_server(window->window, 640, 480);
    gdk_window_invalidate_rect(window->window, nullptr, TRUE);
    gdk_window_process_updates(window->window, TRUE);
    gdk_flush();
    pump();
    for (GdkPixmap *pixmap : held) g_object_unref(pixmap);
    gdk_flush();
  }
  EXPECT_TRUE(log.contains("The X server is short of memory"));
  gdk_window_invalidate_rect(window->window, nullptr, TRUE);
  pump();
  EXPECT_EQ(vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480), before);
  EXPECT_EQ(drawing()->modified, 1);
}
