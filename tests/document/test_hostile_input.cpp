// Hostile input: broken, odd and absurd pictures opened from the command line
// (the real program) and from the open dialog, saves that cannot succeed, and
// extreme line widths and canvas sizes.  The pictures are the corpus that
// tests/data/make_hostile_corpus.py writes; the valid ones hold known pixels.
#include <fcntl.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/file.h"
#include "shell/util.h"
#include "tests/harness/hostile_loader.h"
#include "tests/harness/process.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

// Xlib last: its macros clash with names in the test framework.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

using vorpix_test::choose_file;
using vorpix_test::DialogAnswerer;
using vorpix_test::MainWindowTest;
using vorpix_test::pump;
using vorpix_test::TempDir;

namespace {

// --- The corpus

struct Pixel {
  int x, y;
  guint32 rgb;
};

// A corpus file and what opening it must give: a picture of that size with
// those pixels, or (width 0) a refusal.
struct Case {
  const char *name;
  int width = 0, height = 0;
  std::vector<Pixel> pixels;
};

const std::vector<Case> &corpus_cases() {
  static const std::vector<Case> cases = {
      {"empty.png", 0, 0, {}},
      {"truncated.png", 0, 0, {}},
      {"random.png", 0, 0, {}},
      {"huge.png", 0, 0, {}},         // claims 100000 x 100000
      {"tall.png", 0, 0, {}},         // 1 x 40000: a side beyond any pixmap
      {"many_pixels.png", 0, 0, {}},  // 20000 x 20000
      {"zero_size.png", 0, 0, {}},
      {"truncated.gif", 0, 0, {}},  // the library's partial picture comes with an error
      // libjpeg shows what it could decode: the first row of 8 x 8 blocks.
      {"truncated.jpg",
       32,
       32,
       {{4, 4, 0x141414}, {12, 4, 0x212121}, {20, 4, 0x2e2e2e}, {27, 3, 0x3b3b3b}}},
      {"blocks.jpg",
       32,
       32,
       {{4, 4, 0x141414},
        {27, 3, 0x3b3b3b},
        {4, 12, 0x484848},
        {20, 20, 0x969696},
        {31, 31, 0xd7d7d7}}},
      {"one_pixel.png", 1, 1, {{0, 0, 0x1f2e3d}}},
      {"rgb16.png",
       3,
       2,
       {{0, 0, 0x102030},
        {1, 0, 0x405060},
        {2, 0, 0x708090},
        {0, 1, 0xa0b0c0},
        {1, 1, 0xd0e0f0},
        {2, 1, 0x010203}}},
      {"grey.png",
       3,
       2,
       {{0, 0, 0x000000},
        {1, 0, 0x404040},
        {2, 0, 0x808080},
        {0, 1, 0xc0c0c0},
        {1, 1, 0xffffff},
        {2, 1, 0x171717}}},
      {"palette.png",
       4,
       2,
       {{0, 0, 0xe6194b},
        {1, 0, 0x3cb44b},
        {2, 0, 0xffe119},
        {3, 0, 0x4363d8},
        {0, 1, 0xf58231},
        {1, 1, 0x4363d8},
        {2, 1, 0xffe119},
        {3, 1, 0x3cb44b}}},
      {"picture.gif",
       4,
       3,
       {{0, 0, 0x0a141e},
        {1, 0, 0xc83264},
        {2, 0, 0x32c896},
        {3, 0, 0xfafaf0},
        {0, 1, 0xfafaf0},
        {3, 1, 0x0a141e},
        {0, 2, 0xc83264},
        {3, 2, 0x32c896}}},
      // Alpha is kept (the window shows the other two over a checkerboard):
      // the opaque pixel shows its colour.
      {"alpha.png", 3, 1, {{0, 0, 0x112233}}},
      // Made at test time: a directory given as a file, and a named pipe
      // (reading one would wait for a writer for ever).
      {"directory.png", 0, 0, {}},
      {"pipe.png", 0, 0, {}},
      // Files of the test loader's format, made at test time: a loader that
      // crashes, one that opens a file or a socket (the decoder's filter
      // ends it), and one that works.
      {"loader_abort.vxh", 0, 0, {}},
      {"loader_escape.vxh", 0, 0, {}},
      {"loader_socket.vxh", 0, 0, {}},
      {"loader_picture.vxh", 2, 1, {{0, 0, 0xff0000}}},
  };
  return cases;
}

std::string corpus_path(const char *name) {
  return std::string(VORPIX_SOURCE_DIR) + "/tests/data/hostile/" + name;
}

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

const bool loader_installed = vorpix_test::install_hostile_loader();

// What the escaping loader tries to create.
std::string escaped_path(const TempDir &dir) { return dir.file("escaped"); }

// The corpus file of a case; the directory and the pipe are made in dir.
std::string case_path(const Case &c, const TempDir &dir) {
  const std::string path = dir.file(c.name);
  if (strcmp(c.name, "directory.png") == 0) {
    EXPECT_EQ(g_mkdir(path.c_str(), 0755), 0);
    return path;
  }
  if (strcmp(c.name, "pipe.png") == 0) {
    EXPECT_EQ(mkfifo(path.c_str(), 0644), 0);
    return path;
  }
  if (g_str_has_prefix(c.name, "loader_")) {
    EXPECT_TRUE(loader_installed);
    std::string action = std::string(c.name + strlen("loader_"));
    action.resize(action.size() - strlen(".vxh"));
    if (action == "escape") action = "open " + escaped_path(dir);
    return vorpix_test::write_hostile_file(path, action);
  }
  return corpus_path(c.name);
}

// The committed corpus is what its script writes.
TEST(HostileCorpusTest, FilesMatchTheScriptThatWritesThem) {
  std::string script = std::string(VORPIX_SOURCE_DIR) + "/tests/data/make_hostile_corpus.py";
  vorpix_test::CommandResult check = vorpix_test::run_command({"python3", script, "--check"}, 30000);
  EXPECT_TRUE(check.ok()) << check.out << check.err;
}

std::string case_name(const testing::TestParamInfo<Case> &info) {
  std::string name;
  for (const char *p = info.param.name; *p; p++) name += g_ascii_isalnum(*p) ? *p : '_';
  return name;
}

std::string read_file(const std::string &path) {
  bool ok = false;
  std::string contents = vorpix_test::file_contents(path, &ok);
  EXPECT_TRUE(ok) << path;
  return contents;
}

std::vector<std::string> directory_entries(const std::string &path) {
  std::vector<std::string> names;
  if (GDir *dir = g_dir_open(path.c_str(), 0, nullptr)) {
    while (const char *name = g_dir_read_name(dir)) names.push_back(name);
    g_dir_close(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool contains(const std::string &haystack, const std::string &needle) {
  return haystack.find(needle) != std::string::npos;
}

// --- The real program, started on the test's X server

Display *xdisplay() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

// A property of an X window as text ("" when missing or the window is gone).
std::string window_property(Window window, const char *name, Atom type) {
  Display *dpy = xdisplay();
  Atom actual = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char *data = nullptr;
  gdk_error_trap_push();
  int status = XGetWindowProperty(dpy, window, XInternAtom(dpy, name, False), 0, 1024, False, type,
                                  &actual, &format, &count, &after, &data);
  gdk_error_trap_pop();
  std::string result;
  if (status == Success && data && actual == type) {
    if (format == 8)
      result.assign(reinterpret_cast<char *>(data), count);
    else if (format == 32 && count > 0)
      result = std::to_string(*reinterpret_cast<unsigned long *>(data));
  }
  if (data) XFree(data);
  return result;
}

bool viewable(Window window) {
  XWindowAttributes attributes;
  gdk_error_trap_push();
  int ok = XGetWindowAttributes(xdisplay(), window, &attributes);
  gdk_error_trap_pop();
  return ok && attributes.map_state == IsViewable;
}

constexpr int kStartSeconds = 5;  // for the window to appear
constexpr int kEndSeconds = 5;    // for the program to end once asked

// Runs the vorpix binary with one argument and keeps a watchdog on it: the
// process is killed when the object goes, whatever happened.
class ProgramRun {
 public:
  ProgramRun(const std::string &argument, const std::string &cwd)
      : log_path_(cwd + "/vorpix.log") {
    std::string binary = std::string(VORPIX_BINARY_DIR) + "/vorpix";
    EXPECT_TRUE(g_file_test(binary.c_str(), G_FILE_TEST_IS_EXECUTABLE)) << binary;
    started_ = process_.start({binary, argument}, cwd, log_path_);
    EXPECT_TRUE(started_) << "cannot start " << binary;
  }

  bool started() const { return started_; }

  // Still running (not ended, not killed by a signal).
  bool alive() { return started_ && !process_.exited(); }

  // Waits for the program's main window showing title; 0 if it does not
  // come within the limit or the program ends first.
  Window wait_for_window(const std::string &title) {
    gint64 end = g_get_monotonic_time() + kStartSeconds * G_USEC_PER_SEC;
    while (g_get_monotonic_time() < end && alive()) {
      if (Window window = find_window();
          window && viewable(window) &&
          window_property(window, "_NET_WM_NAME", XInternAtom(xdisplay(), "UTF8_STRING", False)) ==
              title)
        return window;
      g_usleep(20000);
    }
    return 0;
  }

  // The title of the program's main window ("" if there is none).
  std::string current_title() {
    Window window = find_window();
    return window ? window_property(window, "_NET_WM_NAME",
                                    XInternAtom(xdisplay(), "UTF8_STRING", False))
                  : "";
  }

  // Closes the window as a window manager does (WM_DELETE_WINDOW) and waits
  // for the program to end; true when it exited with status 0 in time.
  bool close_and_wait(Window window) {
    send_close(window);
    gint64 end = g_get_monotonic_time() + kEndSeconds * G_USEC_PER_SEC;
    while (g_get_monotonic_time() < end && alive()) g_usleep(20000);
    return process_.exited() && process_.exit_status() == 0;
  }

  // Waits for a shown window of the program other than main_window (a
  // message), closes it as a window manager does and waits until it has
  // gone; false when none came or it stayed.
  bool dismiss_message(Window main_window) {
    Window message = 0;
    gint64 end = g_get_monotonic_time() + kStartSeconds * G_USEC_PER_SEC;
    while (!message && g_get_monotonic_time() < end && alive()) {
      message = find_window(main_window);
      if (!message) g_usleep(20000);
    }
    if (!message) return false;
    send_close(message);
    end = g_get_monotonic_time() + kEndSeconds * G_USEC_PER_SEC;
    while (viewable(message) && g_get_monotonic_time() < end) g_usleep(20000);
    return !viewable(message);
  }

  // What it wrote on stdout and stderr so far.
  std::string stderr_text() { return read_file(log_path_); }

  std::string ending() { return process_.ending(); }

 private:
  void send_close(Window window) {
    Display *dpy = xdisplay();
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    gdk_error_trap_push();
    XSendEvent(dpy, window, False, NoEventMask, &event);
    XSync(dpy, False);
    gdk_error_trap_pop();
  }

  // The program's main window: a child of the root window with its pid and a
  // main window's title; with other_than, any viewable one but that.
  Window find_window(Window other_than = 0) {
    Display *dpy = xdisplay();
    Window root = DefaultRootWindow(dpy), parent = 0, *children = nullptr;
    unsigned int count = 0;
    XSync(dpy, False);
    if (!XQueryTree(dpy, root, &root, &parent, &children, &count)) return 0;
    Window found = 0;
    const std::string pid = std::to_string(process_.pid());
    for (unsigned int i = 0; i < count && !found; i++) {
      if (window_property(children[i], "_NET_WM_PID", XA_CARDINAL) != pid) continue;
      if (other_than ? children[i] != other_than && viewable(children[i])
                     : contains(window_property(children[i], "_NET_WM_NAME",
                                                XInternAtom(dpy, "UTF8_STRING", False)),
                                " - vorpix"))
        found = children[i];
    }
    if (children) XFree(children);
    return found;
  }

  std::string log_path_;
  vorpix_test::ChildProcess process_;
  bool started_ = false;
};

// Whether the window shows the case's pixels at one place, in their
// arrangement: the picture drawn on screen.  Waits for the first repaint.
bool window_shows(Window window, const Case &c) {
  GdkWindow *foreign = gdk_window_foreign_new(window);
  if (!foreign) return false;
  gint width = 0, height = 0;
  gdk_drawable_get_size(foreign, &width, &height);
  bool found = false;
  gint64 end = g_get_monotonic_time() + kStartSeconds * G_USEC_PER_SEC;
  while (!found && g_get_monotonic_time() < end) {
    gdk_error_trap_push();
    std::vector<guint32> shown = vorpix_test::drawable_pixels(foreign, width, height);
    gdk_error_trap_pop();
    if (shown.size() != static_cast<size_t>(width) * height) break;
    const Pixel &first = c.pixels.front();
    for (int y = first.y; y + c.height - first.y <= height && !found; y++)
      for (int x = first.x; x + c.width - first.x <= width && !found; x++) {
        if (shown[static_cast<size_t>(y) * width + x] != first.rgb) continue;
        const int ox = x - first.x, oy = y - first.y;
        found = true;
        for (const Pixel &p : c.pixels)
          found = found && shown[static_cast<size_t>(oy + p.y) * width + ox + p.x] == p.rgb;
      }
    if (!found) g_usleep(50000);
  }
  g_object_unref(foreign);
  return found;
}

class CommandLineTest : public testing::TestWithParam<Case> {};

TEST_P(CommandLineTest, ShowsThePictureOrLogsTheFailureAndEndsCleanly) {
  const Case &c = GetParam();
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string path = case_path(c, dir);
  ProgramRun program(path, dir.path());
  ASSERT_TRUE(program.started());

  gchar *base = g_path_get_basename(path.c_str());
  const std::string title = c.width ? std::string(base) + " - vorpix" : "Untitled - vorpix";
  g_free(base);
  Window window = program.wait_for_window(title);
  ASSERT_NE(window, 0u) << "no window titled \"" << title << "\"; program " << program.ending()
                        << "; title \"" << program.current_title() << "\"; stderr:\n"
                        << program.stderr_text();
  if (c.width) {
    EXPECT_TRUE(window_shows(window, c)) << c.name;
  } else {
    // The message may trail the window by a little.
    std::string message = "Failed to open drawing file " + path;
    gint64 end = g_get_monotonic_time() + kStartSeconds * G_USEC_PER_SEC;
    while (!contains(program.stderr_text(), message) && g_get_monotonic_time() < end)
      g_usleep(20000);
    EXPECT_TRUE(contains(program.stderr_text(), message)) << program.stderr_text();
    // The window tells of it too.
    EXPECT_TRUE(program.dismiss_message(window)) << "no message on the window";
    // A blank 640 by 480 picture instead, white all over.
    Case blank = {"blank",
                  640,
                  480,
                  {{0, 0, 0xffffff},
                   {639, 0, 0xffffff},
                   {0, 479, 0xffffff},
                   {639, 479, 0xffffff},
                   {320, 240, 0xffffff}}};
    EXPECT_TRUE(window_shows(window, blank));
  }

  // Still running a moment later, then it ends when its window is closed.
  vorpix_test::run_for(200);
  EXPECT_TRUE(program.alive()) << program.ending() << "\n" << program.stderr_text();
  EXPECT_TRUE(program.close_and_wait(window)) << program.ending() << "\n" << program.stderr_text();
  EXPECT_FALSE(contains(program.stderr_text(), "CRITICAL")) << program.stderr_text();
  EXPECT_FALSE(g_file_test(escaped_path(dir).c_str(), G_FILE_TEST_EXISTS));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CommandLineTest, testing::ValuesIn(corpus_cases()), case_name);

TEST(CommandLineStartTest, EmptyArgumentLogsTheFailureAndShowsABlankPicture) {
  TempDir dir;
  ProgramRun program("", dir.path());
  Window window = program.wait_for_window("Untitled - vorpix");
  ASSERT_NE(window, 0u) << program.ending() << "\n" << program.stderr_text();
  gint64 end = g_get_monotonic_time() + kStartSeconds * G_USEC_PER_SEC;
  while (!contains(program.stderr_text(), "Failed to open drawing file") &&
         g_get_monotonic_time() < end)
    g_usleep(20000);
  EXPECT_TRUE(contains(program.stderr_text(), "Failed to open drawing file"))
      << program.stderr_text();
  EXPECT_TRUE(program.dismiss_message(window)) << "no message on the window";
  EXPECT_TRUE(program.close_and_wait(window)) << program.ending();
}

// --- The open dialog

class HostileWindowTest : public MainWindowTest {
 protected:
  // A red block in the corner, as a change the user does not want to lose.
  void paint_block() {
    GdkGC *gc = gdk_gc_new(drawing()->backing_pixmap);
    GdkColor red = {0, 0xffff, 0, 0};
    gdk_gc_set_rgb_fg_color(gc, &red);
    gdk_draw_rectangle(drawing()->backing_pixmap, gc, TRUE, 0, 0, 20, 20);
    g_object_unref(gc);
    drawing_modified(drawing());
  }

  int line_width() const {
    GdkGCValues values;
    gdk_gc_get_values(drawing()->gc, &values);
    return values.line_width;
  }
};

class OpenDialogTest : public HostileWindowTest, public testing::WithParamInterface<Case> {};

TEST_P(OpenDialogTest, ShowsThePictureOrRefusesAndKeepsTheOldDrawing) {
  const Case &c = GetParam();
  TempDir dir;
  const std::string path = case_path(c, dir);
  paint_block();
  VorpixDrawing *old = drawing();
  const std::string old_title = title();

  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) { choose_file(d, path); });
  dialogs.answer(GTK_RESPONSE_OK);  // the failure message, if one comes
  file_open_dialog(canvas);
  pump();

  if (c.width) {
    EXPECT_EQ(dialogs.answered(), 1) << (dialogs.texts().size() > 1 ? dialogs.texts()[1] : "");
    ASSERT_NE(drawing(), old);
    EXPECT_EQ(drawing()->width, c.width);
    EXPECT_EQ(drawing()->height, c.height);
    for (const Pixel &p : c.pixels) EXPECT_EQ(pixel(p.x, p.y), p.rgb) << "at " << p.x << "," << p.y;
    gchar *base = g_path_get_basename(path.c_str());
    EXPECT_EQ(title(), std::string(base) + " - vorpix");
    g_free(base);
    EXPECT_EQ(drawing()->modified, 0);
    EXPECT_EQ(drawing()->filename->str, path);
  } else {
    ASSERT_EQ(dialogs.answered(), 2);
    EXPECT_EQ(dialogs.texts()[1], "Cannot open file " + path + ".");
    EXPECT_EQ(drawing(), old);
    EXPECT_EQ(drawing()->width, 640);
    EXPECT_EQ(drawing()->height, 480);
    EXPECT_EQ(pixel(5, 5), 0xff0000u);
    EXPECT_EQ(pixel(300, 300), 0xffffffu);
    EXPECT_EQ(title(), old_title);
    EXPECT_EQ(drawing()->untitled, 1);
    EXPECT_STREQ(drawing()->filename->str, "untitled.png");
    EXPECT_EQ(drawing()->modified, 1);
  }
  EXPECT_FALSE(g_file_test(escaped_path(dir).c_str(), G_FILE_TEST_EXISTS));
}

std::vector<Case> corpus_files() {
  std::vector<Case> files;
  for (const Case &c : corpus_cases())
    if (strcmp(c.name, "directory.png") != 0) files.push_back(c);
  return files;
}

INSTANTIATE_TEST_SUITE_P(Corpus, OpenDialogTest, testing::ValuesIn(corpus_files()), case_name);

// The chooser itself will not accept a folder: Open goes into it instead.
TEST_F(HostileWindowTest, OpenDialogGoesIntoADirectoryInsteadOfOpeningIt) {
  TempDir dir;
  const std::string folder = dir.file("folder.png");
  ASSERT_EQ(g_mkdir(folder.c_str(), 0755), 0);
  paint_block();
  VorpixDrawing *old = drawing();
  bool still_up = false;
  std::string shown_folder;
  DialogAnswerer dialogs;
  dialogs.act([&](GtkWidget *d) {
    choose_file(d, folder);
    gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_ACCEPT);
    // The chooser changes folder once it has loaded it, which may take more
    // than one turn of the main loop on a busy machine.
    auto current_folder = [&] {
      gchar *current = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(d));
      std::string shown = current ? current : "";
      g_free(current);
      return shown;
    };
    gint64 end = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
    pump();
    while (current_folder() != folder && g_get_monotonic_time() < end) {
      if (gtk_events_pending())
        gtk_main_iteration();
      else
        g_usleep(1000);
    }
    still_up = GTK_WIDGET_VISIBLE(d);
    shown_folder = current_folder();
    gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CANCEL);
  });
  file_open_dialog(canvas);
  pump();
  EXPECT_EQ(dialogs.answered(), 1);
  EXPECT_TRUE(still_up);
  EXPECT_EQ(shown_folder, folder);
  EXPECT_EQ(drawing(), old);
  EXPECT_EQ(pixel(5, 5), 0xff0000u);
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
}

// A chosen file that became a directory before it was read is refused.
TEST_F(HostileWindowTest, OpenDialogRefusesAFileThatBecameADirectory) {
  TempDir dir;
  const std::string path = dir.file("swapped.png");
  vorpix_test::write_png(path, 8, 8, 0x224466);
  paint_block();
  VorpixDrawing *old = drawing();
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) {
    choose_file(d, path);
    ASSERT_EQ(g_unlink(path.c_str()), 0);
    ASSERT_EQ(g_mkdir(path.c_str(), 0755), 0);
  });
  dialogs.answer(GTK_RESPONSE_OK);
  file_open_dialog(canvas);
  pump();
  ASSERT_EQ(dialogs.answered(), 2);
  EXPECT_EQ(dialogs.texts()[1], "Cannot open file " + path + ".");
  EXPECT_EQ(drawing(), old);
  EXPECT_EQ(drawing()->width, 640);
  EXPECT_EQ(pixel(5, 5), 0xff0000u);
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
}

// --- Saves that cannot succeed

constexpr uid_t kNobody = 65534;

// While alive, the process's file accesses are checked as an ordinary
// user's: as root, permission bits alone stop nothing.
class UnprivilegedAccess {
 public:
  UnprivilegedAccess() {
    if (geteuid() != 0) return;
    dropped_ = setegid(kNobody) == 0 && seteuid(kNobody) == 0;
    EXPECT_TRUE(dropped_) << "cannot act as an ordinary user: " << g_strerror(errno);
  }
  ~UnprivilegedAccess() {
    if (!dropped_) return;
    EXPECT_EQ(seteuid(0), 0);
    EXPECT_EQ(setegid(0), 0);
  }
  UnprivilegedAccess(const UnprivilegedAccess &) = delete;
  UnprivilegedAccess &operator=(const UnprivilegedAccess &) = delete;

 private:
  bool dropped_ = false;
};

class FailedSaveTest : public HostileWindowTest {
 protected:
  void SetUp() override {
    HostileWindowTest::SetUp();
    // Searchable by the ordinary user the saves may run as.
    ASSERT_TRUE(dir.ok());
    ASSERT_EQ(g_chmod(dir.path().c_str(), 0755), 0);
  }

  // Opens path in the test's window as the drawing, then changes it.
  void open_and_change(const std::string &path) {
    VorpixDrawing *opened = drawing_new_from_file(area, canvas->gc, path.c_str());
    ASSERT_NE(opened, nullptr) << path;
    canvas_set_drawing(canvas, opened);
    paint_block();
  }

  // Saves through the save command (a drawing with a name of its own is
  // written at once); the failure dialog's text, or "" when none came.
  std::string save_command() {
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_OK);
    {
      UnprivilegedAccess user;
      gtk_menu_item_activate(GTK_MENU_ITEM(widget("save_menu")));
      pump();
    }
    return dialogs.answered() == 1 ? dialogs.texts()[0] : "";
  }

  // The same, with the test's own rights.
  std::string save_command_as_is() {
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_OK);
    gtk_menu_item_activate(GTK_MENU_ITEM(widget("save_menu")));
    pump();
    return dialogs.answered() == 1 ? dialogs.texts()[0] : "";
  }

  // Saves through the save-as dialog under path, confirming the chooser's
  // overwrite question when there is one.
  std::string save_as(const std::string &path) {
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) {
      gchar *folder = g_path_get_dirname(path.c_str());
      gchar *name = g_path_get_basename(path.c_str());
      gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(d), folder);
      gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(d), name);
      g_free(folder);
      g_free(name);
      pump();
    });
    if (g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) dialogs.answer(GTK_RESPONSE_ACCEPT);
    dialogs.answer(GTK_RESPONSE_OK);
    gtk_menu_item_activate(GTK_MENU_ITEM(widget("save_as_menu")));
    pump();
    EXPECT_EQ(dialogs.pending(), 0) << "dialogs not seen";
    return dialogs.answered() >= 2 ? dialogs.texts().back() : "";
  }

  static std::string failure_prefix(const std::string &path) {
    return "Failed to save file " + path + ".\n\n";
  }

  TempDir dir;
};

TEST_F(FailedSaveTest, SaveIntoReadOnlyDirectoryKeepsTheOldFile) {
  const std::string folder = dir.file("locked");
  ASSERT_EQ(g_mkdir(folder.c_str(), 0755), 0);
  const std::string path = folder + "/keep.png";
  vorpix_test::write_png(path, 30, 20, 0x123456);
  const std::string old_bytes = read_file(path);
  open_and_change(path);
  ASSERT_EQ(g_chmod(folder.c_str(), 0555), 0);

  const std::string text = save_command();
  g_chmod(folder.c_str(), 0755);
  EXPECT_EQ(text.rfind(failure_prefix(path), 0), 0u) << text;
  EXPECT_TRUE(contains(text, g_strerror(EACCES))) << text;
  EXPECT_STREQ(title(), "keep.png (modified) - vorpix");
  EXPECT_EQ(drawing()->modified, 1);
  EXPECT_EQ(read_file(path), old_bytes);
  EXPECT_EQ(directory_entries(folder), std::vector<std::string>{"keep.png"});
}

// Replacing a file through a rename needs only the directory's permission:
// a file the user may not write must still stop the save.
TEST_F(FailedSaveTest, SaveOverAReadOnlyFileKeepsIt) {
  const std::string folder = dir.file("mine");
  ASSERT_EQ(g_mkdir(folder.c_str(), 0755), 0);
  const std::string path = folder + "/keep.png";
  vorpix_test::write_png(path, 30, 20, 0x123456);
  const std::string old_bytes = read_file(path);
  open_and_change(path);
  ASSERT_EQ(g_chmod(path.c_str(), 0444), 0);
  if (geteuid() == 0) {
    // The folder and the file belong to the user the save runs as.
    ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
  }

  const std::string text = save_command();
  EXPECT_EQ(text.rfind(failure_prefix(path), 0), 0u) << text;
  EXPECT_TRUE(contains(text, g_strerror(EACCES))) << text;
  EXPECT_STREQ(title(), "keep.png (modified) - vorpix");
  EXPECT_EQ(read_file(path), old_bytes);
  EXPECT_EQ(directory_entries(folder), std::vector<std::string>{"keep.png"});
}

TEST_F(FailedSaveTest, SaveToDevFullFailsAndLeavesTheDevice) {
  struct stat before;
  ASSERT_EQ(stat("/dev/full", &before), 0);
  ASSERT_TRUE(S_ISCHR(before.st_mode));
  paint_block();
  const std::string text = save_as("/dev/full");
  EXPECT_EQ(text.rfind(failure_prefix("/dev/full"), 0), 0u) << text;
  EXPECT_GT(text.size(), failure_prefix("/dev/full").size()) << "no reason given";
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
  EXPECT_EQ(drawing()->untitled, 1);
  struct stat after;
  ASSERT_EQ(stat("/dev/full", &after), 0);
  EXPECT_TRUE(S_ISCHR(after.st_mode));
  EXPECT_EQ(after.st_rdev, before.st_rdev);
  // No temporary file left beside it.
  for (const std::string &name : directory_entries("/dev")) EXPECT_NE(name.rfind(".full.", 0), 0u);
}

TEST_F(FailedSaveTest, SaveUnderAnUnsupportedExtensionKeepsTheOldFile) {
  const std::string path = dir.file("keep.xyz");
  ASSERT_TRUE(g_file_set_contents(path.c_str(), "old contents\n", -1, nullptr));
  paint_block();
  const std::string text = save_as(path);
  EXPECT_EQ(text,
            failure_prefix(path) + "Saving in the 'xyz' format is not supported by gdk_pixbuf");
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
  EXPECT_EQ(read_file(path), "old contents\n");

  // A new name under that extension: nothing is created.
  const std::string fresh = dir.file("fresh.xyz");
  EXPECT_EQ(save_as(fresh),
            failure_prefix(fresh) + "Saving in the 'xyz' format is not supported by gdk_pixbuf");
  EXPECT_EQ(directory_entries(dir.path()), std::vector<std::string>{"keep.xyz"});
}

// A write that fails halfway (the disk full, say) must not cut the old file
// short.  A file size limit makes any write past it fail with EFBIG.
TEST_F(FailedSaveTest, WriteFailingHalfwayKeepsTheOldFileWhole) {
  const std::string path = dir.file("keep.png");
  vorpix_test::write_png(path, 30, 20, 0x123456);
  const std::string old_bytes = read_file(path);
  open_and_change(path);

  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct sigaction ignore = {}, old_action;
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &old_action), 0);
  struct rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string text = save_command_as_is();
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old_action, nullptr);

  EXPECT_EQ(text.rfind(failure_prefix(path), 0), 0u) << text;
  EXPECT_TRUE(contains(text, g_strerror(EFBIG))) << text;
  EXPECT_STREQ(title(), "keep.png (modified) - vorpix");
  EXPECT_EQ(read_file(path), old_bytes);
  EXPECT_EQ(directory_entries(dir.path()), std::vector<std::string>{"keep.png"});
}

// --- Extreme sizes

// Types text at the end of the line width entry, one character at a time.
void type_into(GtkWidget *entry, const char *text) {
  gtk_editable_delete_text(GTK_EDITABLE(entry), 0, -1);
  for (const char *p = text; *p; p++) {
    gint position = static_cast<gint>(strlen(gtk_entry_get_text(GTK_ENTRY(entry))));
    gtk_editable_insert_text(GTK_EDITABLE(entry), p, 1, &position);
    pump();
  }
}

gboolean count_call(gpointer counter) {
  ++*static_cast<int *>(counter);
  return FALSE;
}

// Whether the main loop still runs callbacks: an idle handler added now runs
// during the next pump.
bool loop_responds() {
  int calls = 0;
  g_idle_add(count_call, &calls);
  pump();
  return calls == 1;
}

class ExtremeSizeTest : public HostileWindowTest {};

// X keeps 16 bits of a line width: 65536 would reach the server as 0, a
// hairline.  Widths beyond what X holds draw as the widest line it can.
TEST_F(ExtremeSizeTest, HugeLineWidthsDrawWideLinesNotHairlines) {
  for (const char *width : {"65536", "100000"}) {
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 640, 480));
    GtkWidget *entry = widget("line_width_combo_entry");
    type_into(entry, width);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), width);
    EXPECT_GE(line_width(), 1000) << width;

    click_button("line_button");
    drag(100, 240, 110, 240);
    pump();
    // Half the width to each side and round caps: the whole picture.
    for (auto [x, y] : {std::pair{105, 0}, {105, 479}, {0, 0}, {639, 479}, {639, 0}})
      EXPECT_EQ(pixel(x, y), 0x000000u) << width << " at " << x << "," << y;
    EXPECT_EQ(drawing()->modified, 1);
    EXPECT_TRUE(loop_responds());
  }
}

TEST_F(ExtremeSizeTest, HugePenWidthPaintsADiscNotADot) {
  type_into(widget("line_width_combo_entry"), "100000");
  click_button("pen_button");
  click(320, 240);
  pump();
  EXPECT_EQ(pixel(0, 0), 0x000000u);
  EXPECT_EQ(pixel(639, 479), 0x000000u);
  EXPECT_TRUE(loop_responds());
  // A small width afterwards works as before.
  canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 640, 480));
  type_into(widget("line_width_combo_entry"), "3");
  EXPECT_EQ(line_width(), 3);
  click(320, 240);
  EXPECT_EQ(pixel(320, 240), 0x000000u);
  EXPECT_EQ(pixel(325, 240), 0xffffffu);
}

TEST_F(ExtremeSizeTest, LargestNewCanvasTakesFiguresAndFills) {
  GtkWidget *dialog = file_new_dialog(canvas);
  gtk_entry_set_text(GTK_ENTRY(lookup_widget(dialog, "new_canvas_width_text_entry")), "4096");
  gtk_entry_set_text(GTK_ENTRY(lookup_widget(dialog, "new_canvas_height_text_entry")), "4096");
  gtk_button_clicked(GTK_BUTTON(lookup_widget(dialog, "new_canvas_ok_button")));
  pump();
  ASSERT_EQ(drawing()->width, 4096);
  ASSERT_EQ(drawing()->height, 4096);
  EXPECT_TRUE(loop_responds());

  // A rectangle outline, then a fill inside it and one outside.
  type_into(widget("line_width_combo_entry"), "5");
  click_button("rectangle_button");
  drag(100, 100, 300, 200);
  click_button("pen_button");
  drag(3000, 3000, 4000, 3500);
  click_button("fill_button");
  press_swatch(4);  // green
  click(200, 150);
  pump();
  EXPECT_EQ(pixel(200, 150), 0x00ff00u);
  EXPECT_EQ(pixel(100, 150), 0x000000u);  // the rectangle's border stops it
  EXPECT_EQ(pixel(50, 50), 0xffffffu);
  EXPECT_EQ(pixel(4095, 4095), 0xffffffu);
  EXPECT_TRUE(loop_responds());

  press_swatch(6);  // blue, everywhere outside the rectangle
  click(4095, 4095);
  pump();
  EXPECT_EQ(pixel(4095, 4095), 0x0000ffu);
  EXPECT_EQ(pixel(50, 50), 0x0000ffu);
  EXPECT_EQ(pixel(0, 4095), 0x0000ffu);
  EXPECT_EQ(pixel(200, 150), 0x00ff00u);
  EXPECT_EQ(pixel(3500, 3250), 0x000000u);  // on the pen's stroke
  EXPECT_EQ(drawing()->modified, 1);
  EXPECT_TRUE(loop_responds());
}

}  // namespace
