// The decoding helper: the pixels it gives are the loaders' own, refusals
// carry their reason, and a loader that aborts, hangs or reaches outside its
// process takes only the helper with it.
#include "document/decoder.h"

#include <dirent.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/file.h"
#include "tests/harness/hostile_loader.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::MainWindowTest;
using vorpix_test::TempDir;
using vorpix_test::write_hostile_file;

namespace {

const bool loader_installed = vorpix_test::install_hostile_loader();

std::string corpus_path(const char *name) {
  return std::string(VORPIX_SOURCE_DIR) + "/tests/data/hostile/" + name;
}

// A picture whose every sample differs from its neighbours'.
GdkPixbuf *pattern_pixbuf(int w, int h, bool alpha) {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, w, h);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  for (int y = 0; y < h; y++) {
    guchar *row = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf);
    for (int x = 0; x < w; x++)
      for (int c = 0; c < channels; c++) row[x * channels + c] = guchar(x * 13 + y * 7 + c * 61);
  }
  return pixbuf;
}

// Empty when equal, else where they differ.
std::string difference(GdkPixbuf *a, GdkPixbuf *b) {
  if (!a || !b) return "missing picture";
  const int w = gdk_pixbuf_get_width(a), h = gdk_pixbuf_get_height(a);
  const int channels = gdk_pixbuf_get_n_channels(a);
  if (w != gdk_pixbuf_get_width(b) || h != gdk_pixbuf_get_height(b) ||
      channels != gdk_pixbuf_get_n_channels(b))
    return "size or layout";
  for (int y = 0; y < h; y++) {
    const guchar *ra = gdk_pixbuf_read_pixels(a) + y * gdk_pixbuf_get_rowstride(a);
    const guchar *rb = gdk_pixbuf_read_pixels(b) + y * gdk_pixbuf_get_rowstride(b);
    if (memcmp(ra, rb, size_t(w) * channels) != 0) return "row " + std::to_string(y);
  }
  return "";
}

// The decoder helpers that are children of this process.
std::vector<pid_t> helper_children() {
  std::vector<pid_t> pids;
  DIR *proc = opendir("/proc");
  while (struct dirent *entry = proc ? readdir(proc) : nullptr) {
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string pid, name, state;
    long parent = 0;
    if (stat >> pid >> name >> state >> parent && parent == getpid() &&
        name == "(vorpix-decode)" && state != "Z")
      pids.push_back(pid_t(std::stol(pid)));
  }
  if (proc) closedir(proc);
  return pids;
}

bool alive(pid_t pid) { return kill(pid, 0) == 0; }

GdkPixbuf *decode(const std::string &path, GError **error) {
  return decoder_decode_file(path.c_str(), nullptr, error);
}

TEST(DecoderTest, GivesTheLoadersOwnPixelsAndLayout) {
  TempDir dir;
  std::vector<std::string> files;
  for (const char *format : {"png", "bmp", "tiff", "jpeg", "ico"})
    for (bool alpha : {false, true}) {
      if (alpha && (!strcmp(format, "jpeg") || !strcmp(format, "bmp"))) continue;
      if (!alpha && !strcmp(format, "ico")) continue;
      GdkPixbuf *picture = pattern_pixbuf(37, 23, alpha);
      files.push_back(dir.file(std::string("p") + (alpha ? "a." : ".") + format));
      ASSERT_TRUE(gdk_pixbuf_save(picture, files.back().c_str(), format, nullptr, nullptr));
      g_object_unref(picture);
    }
  for (const char *name : {"picture.gif", "palette.png", "grey.png", "rgb16.png", "alpha.png"})
    files.push_back(corpus_path(name));
  // Large enough that a second thread faults its shared pages in.
  GdkPixbuf *large = pattern_pixbuf(1500, 1500, true);
  files.push_back(dir.file("large.png"));
  ASSERT_TRUE(gdk_pixbuf_save(large, files.back().c_str(), "png", nullptr, "compression", "1",
                              nullptr));
  g_object_unref(large);
  // Loaders of other kinds, each allocating its picture its own way.
  const std::pair<const char *, std::string> written[] = {
      {"p.ppm", std::string("P6\n3 2\n255\n") + std::string(18, '\x5a')},
      {"p.xpm", "/* XPM */\nstatic char *p[] = {\"3 1 2 1\", \"a c #FF0000\", "
                "\"b c None\", \"aba\"};\n"},
      {"p.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='7' height='5'>"
                "<rect width='4' height='5' fill='#f00'/></svg>"},
  };
  for (const auto &[name, contents] : written) {
    files.push_back(dir.file(name));
    ASSERT_TRUE(g_file_set_contents(files.back().c_str(), contents.data(),
                                    gssize(contents.size()), nullptr));
  }
  // Each read as a file, and its bytes as the clipboard or a drop gives them.
  for (const std::string &file : files) {
    SCOPED_TRACE(file);
    GdkPixbuf *expected = gdk_pixbuf_new_from_file(file.c_str(), nullptr);
    gchar *bytes = nullptr;
    gsize length = 0;
    ASSERT_TRUE(g_file_get_contents(file.c_str(), &bytes, &length, nullptr));
    for (bool as_bytes : {false, true}) {
      SCOPED_TRACE(as_bytes ? "bytes" : "file");
      GError *error = nullptr;
      GdkPixbuf *decoded =
          as_bytes ? decoder_decode_bytes(reinterpret_cast<guchar *>(bytes), length, nullptr,
                                          decoder_file_limits(), nullptr, nullptr, &error)
                   : decode(file, &error);
      EXPECT_EQ(error, nullptr) << error->message;
      EXPECT_EQ(difference(decoded, expected), "");
      if (decoded) g_object_unref(decoded);
      g_clear_error(&error);
    }
    g_free(bytes);
    if (expected) g_object_unref(expected);
  }
  // A helper that waited long enough to make its blocks of shared memory in
  // advance hands small pictures over in them, cut to their size.
  for (const auto &[width, height, alpha] : {std::tuple(37, 23, false), std::tuple(128, 128, true),
                                            std::tuple(640, 480, true)}) {
    SCOPED_TRACE(width);
    GdkPixbuf *picture = pattern_pixbuf(width, height, alpha);
    const std::string file = dir.file("waited.png");
    ASSERT_TRUE(gdk_pixbuf_save(picture, file.c_str(), "png", nullptr, nullptr));
    decoder_prepare();
    g_usleep(400000);
    GdkPixbuf *decoded = decode(file, nullptr);
    EXPECT_EQ(difference(decoded, picture), "");
    if (decoded) g_object_unref(decoded);
    g_object_unref(picture);
  }
}

TEST(DecoderTest, RefusalsCarryTheirReason) {
  TempDir dir;
  const std::string fifo = dir.file("pipe.png");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  g_file_set_contents(dir.file("garbage.png").c_str(), "no picture at all", -1, nullptr);
  struct Case {
    std::string path;
    int code;
  } cases[] = {
      {dir.file("missing.png"), DECODER_ERROR_UNREADABLE},
      {dir.path(), DECODER_ERROR_UNREADABLE},
      {fifo, DECODER_ERROR_UNREADABLE},
      {dir.file("garbage.png"), DECODER_ERROR_NOT_A_PICTURE},
      {corpus_path("empty.png"), DECODER_ERROR_NOT_A_PICTURE},
      {corpus_path("huge.png"), DECODER_ERROR_TOO_LARGE},
      {corpus_path("tall.png"), DECODER_ERROR_TOO_LARGE},
      {corpus_path("many_pixels.png"), DECODER_ERROR_TOO_LARGE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    GError *error = nullptr;
    EXPECT_EQ(decode(c.path, &error), nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(g_error_matches(error, DECODER_ERROR, c.code)) << error->message;
    g_error_free(error);
  }
}

TEST(DecoderTest, BytesAreDecodedWithinTheirLimits) {
  GdkPixbuf *picture = pattern_pixbuf(20, 10, true);
  gchar *png = nullptr;
  gsize length = 0;
  ASSERT_TRUE(gdk_pixbuf_save_to_buffer(picture, &png, &length, "png", nullptr, nullptr));
  const guchar *bytes = reinterpret_cast<guchar *>(png);
  struct Case {
    DecoderLimits limits;
    bool taken;
  } cases[] = {{{20, 200}, true}, {{32767, 199}, false}, {{19, 1 << 20}, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.limits.max_side);
    GError *error = nullptr;
    GdkPixbuf *decoded = decoder_decode_bytes(bytes, length, nullptr, c.limits, nullptr, nullptr, &error);
    if (c.taken) {
      EXPECT_EQ(difference(decoded, picture), "");
    } else {
      EXPECT_EQ(decoded, nullptr);
      EXPECT_TRUE(g_error_matches(error, DECODER_ERROR, DECODER_ERROR_TOO_LARGE));
      EXPECT_NE(strstr(error ? error->message : "", "20 by 10"), nullptr);
    }
    if (decoded) g_object_unref(decoded);
    g_clear_error(&error);
  }
  g_free(png);
  g_object_unref(picture);
}

// --- Faulty loaders

TEST(DecoderFaultTest, TestLoaderGivesItsPictureThroughTheHelper) {
  ASSERT_TRUE(loader_installed);
  TempDir dir;
  GdkPixbuf *decoded = decode(write_hostile_file(dir.file("p.vxh"), "picture"), nullptr);
  ASSERT_NE(decoded, nullptr);
  ASSERT_TRUE(gdk_pixbuf_get_has_alpha(decoded));
  const guchar expected[] = {255, 0, 0, 255, 0, 0, 255, 128};
  EXPECT_EQ(memcmp(gdk_pixbuf_read_pixels(decoded), expected, sizeof expected), 0);
  g_object_unref(decoded);
}

// The filter kills a helper that opens a file or a socket: without it the
// loader would succeed and give its picture.
TEST(DecoderFaultTest, FaultsAndEscapesEndOnlyTheHelper) {
  ASSERT_TRUE(loader_installed);
  TempDir dir;
  const std::string escaped = dir.file("escaped");
  struct Case {
    std::string action;
    int signal;
  } cases[] = {{"abort", SIGABRT}, {"open " + escaped, SIGSYS}, {"socket", SIGSYS}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.action);
    GError *error = nullptr;
    EXPECT_EQ(decode(write_hostile_file(dir.file("f.vxh"), c.action), &error), nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(g_error_matches(error, DECODER_ERROR, DECODER_ERROR_CRASHED)) << error->message;
    EXPECT_NE(strstr(error->message, ("signal " + std::to_string(c.signal)).c_str()), nullptr)
        << error->message;
    g_error_free(error);
    EXPECT_FALSE(g_file_test(escaped.c_str(), G_FILE_TEST_EXISTS));
  }
  // No core files are left behind, and the next decode works.
  EXPECT_FALSE(g_file_test("core", G_FILE_TEST_EXISTS));
  GdkPixbuf *decoded = decode(write_hostile_file(dir.file("p.vxh"), "picture"), nullptr);
  EXPECT_NE(decoded, nullptr);
  if (decoded) g_object_unref(decoded);
}

TEST(DecoderFaultTest, HangingLoaderIsStoppedAtTheTimeLimit) {
  ASSERT_TRUE(loader_installed);
  TempDir dir;
  const std::string path = write_hostile_file(dir.file("h.vxh"), "hang");
  g_setenv("VORPIX_DECODE_TIME_LIMIT_MS", "700", TRUE);
  const gint64 start = g_get_monotonic_time();
  GError *error = nullptr;
  EXPECT_EQ(decode(path, &error), nullptr);
  const gint64 elapsed_ms = (g_get_monotonic_time() - start) / 1000;
  g_unsetenv("VORPIX_DECODE_TIME_LIMIT_MS");
  EXPECT_TRUE(g_error_matches(error, DECODER_ERROR, DECODER_ERROR_TIMED_OUT));
  g_clear_error(&error);
  EXPECT_GE(elapsed_ms, 650);
  EXPECT_LT(elapsed_ms, 5000);
  EXPECT_LE(helper_children().size(), 1u);  // at most one kept ready, none hanging
}

// --- In a window

class DecoderWindowTest : public MainWindowTest {
 protected:
  static gboolean count_press(GtkWidget *, GdkEventButton *, gpointer count) {
    ++*static_cast<int *>(count);
    return FALSE;
  }
};

// Past a second the window shows the dialog; meanwhile the window takes no
// input and other windows do; Cancel stops the helper at once.
TEST_F(DecoderWindowTest, LongDecodeOffersCancelAndOtherWindowsWork) {
  ASSERT_TRUE(loader_installed);
  TempDir dir;
  const std::string path = write_hostile_file(dir.file("slow.vxh"), "hang");
  GtkWidget *other = open_window();
  GtkWidget *other_area = vorpix_test::find_named(other, "drawing_area");
  int presses = 0, other_presses = 0;
  g_signal_connect(area, "button-press-event", G_CALLBACK(count_press), &presses);
  g_signal_connect(other_area, "button-press-event", G_CALLBACK(count_press), &other_presses);
  auto probe = [](gpointer data) -> gboolean {
    auto *areas = static_cast<GtkWidget **>(data);
    for (int i = 0; i < 2; i++) {
      vorpix_test::send_button(areas[i], GDK_BUTTON_PRESS, 10, 10, 3);
      vorpix_test::send_button(areas[i], GDK_BUTTON_RELEASE, 10, 10, 3);
    }
    return G_SOURCE_REMOVE;
  };
  GtkWidget *areas[] = {area, other_area};
  g_timeout_add(300, probe, areas);

  DialogAnswerer dialogs;
  gint64 shown_at = 0;
  std::vector<pid_t> helpers_meanwhile;
  GtkWindow *parent = nullptr;
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *d) {
    shown_at = g_get_monotonic_time();
    parent = gtk_window_get_transient_for(GTK_WINDOW(d));
    helpers_meanwhile = helper_children();
  });
  const gint64 start = g_get_monotonic_time();
  GError *error = nullptr;
  vorpix_test::LogCapture gtk_log("Gtk");
  GdkPixbuf *decoded = decoder_decode_file(path.c_str(), window, &error);
  const gint64 end = g_get_monotonic_time();
  // The input held before the dialog shows is taken without a word.
  EXPECT_EQ(gtk_log.messages(), std::vector<std::string>());
  EXPECT_EQ(decoded, nullptr);
  EXPECT_TRUE(g_error_matches(error, DECODER_ERROR, DECODER_ERROR_CANCELLED));
  g_clear_error(&error);
  ASSERT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(dialogs.titles()[0], "Opening slow.vxh\u2026");
  EXPECT_EQ(parent, GTK_WINDOW(window));
  EXPECT_GE((shown_at - start) / 1000, 950);
  EXPECT_LT((end - shown_at) / 1000, 1000);
  EXPECT_EQ(presses, 0);
  EXPECT_EQ(other_presses, 1);
  // The one helper at work then is gone; another may wait for the next decode.
  ASSERT_EQ(helpers_meanwhile.size(), 1u);
  EXPECT_FALSE(alive(helpers_meanwhile[0]));
  // The window takes input again.
  vorpix_test::send_button(area, GDK_BUTTON_PRESS, 10, 10, 3);
  EXPECT_EQ(presses, 1);
}

// Through Open and from the command line alike.
TEST_F(DecoderWindowTest, CancelledOpenKeepsTheDrawingWithoutAMessage) {
  ASSERT_TRUE(loader_installed);
  TempDir dir;
  const std::string path = write_hostile_file(dir.file("slow.vxh"), "hang");
  VorpixDrawing *old = drawing();
  for (bool command_line : {false, true}) {
    DialogAnswerer dialogs;
    if (!command_line)
      dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) { vorpix_test::choose_file(d, path); });
    dialogs.answer(GTK_RESPONSE_CANCEL);  // the progress dialog
    dialogs.answer(GTK_RESPONSE_OK);      // a message, if one came
    GtkWidget *w = window;
    if (command_line) {
      char *argv[] = {const_cast<char *>("vorpix"), const_cast<char *>(path.c_str()), nullptr};
      canvas_init_arg(2, argv);
      w = open_window();
      for (int i = 0; i < 60 && dialogs.answered() == 0; i++) vorpix_test::run_for(50);
      vorpix_test::run_for(300);
    } else {
      file_open_dialog(canvas);
    }
    vorpix_test::pump();
    const int wanted = command_line ? 1 : 2;
    EXPECT_EQ(dialogs.answered(), wanted) << command_line;
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(w)), "Untitled - vorpix") << command_line;
    if (!command_line) {
      EXPECT_EQ(drawing(), old);
    }
  }
}

}  // namespace
