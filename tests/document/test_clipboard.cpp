// The desktop clipboard against a real other program (xclip, on the test's
// Xvfb): what a copy offers and sends, what a paste fetches, and bad data.
#include <gtest/gtest.h>
#include <glib-unix.h>
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "document/canvas.h"
#include "document/clipboard.h"
#include "document/drawing.h"
#include "document/history.h"
#include "imaging/image.h"
#include "panels/status_bar.h"
#include "shell/window.h"
#include "tests/harness/alpha_pictures.h"
#include "tests/harness/canvas_helpers.h"
#include "tests/harness/hostile_loader.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"
#include "tools/paste.h"
#include "tools/polyselect.h"
#include "tools/rectselect.h"
#include "tools/selection.h"

using vorpix_test::LogCapture;
using vorpix_test::MainWindowTest;
using vorpix_test::paint_pattern;
using vorpix_test::pattern;
using vorpix_test::Points;
using vorpix_test::pump;
using vorpix_test::selection_outline;

namespace {

const bool loader_installed = vorpix_test::install_hostile_loader();

constexpr int kTimeoutMs = 20000;

// ---- other programs ----

struct ChildResult {
  bool finished = false;
  int status = -1;
  std::string out;
};

struct ChildState {
  ChildResult result;
  bool eof = false;
  bool timed_out = false;
};

gboolean on_child_output(gint fd, GIOCondition, gpointer data) {
  auto *state = static_cast<ChildState *>(data);
  char buffer[65536];
  ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) {
    state->result.out.append(buffer, static_cast<size_t>(n));
    return TRUE;
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return TRUE;
  state->eof = true;
  return FALSE;
}

void on_child_exit(GPid, gint status, gpointer data) {
  auto *state = static_cast<ChildState *>(data);
  state->result.finished = true;
  state->result.status = status;
}

gboolean on_child_timeout(gpointer data) {
  static_cast<ChildState *>(data)->timed_out = true;
  return FALSE;
}

std::vector<gchar *> argv_of(const std::vector<std::string> &args) {
  std::vector<gchar *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<gchar *>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Runs a program to its end while this process keeps serving its own
// clipboard from the main loop; returns its exit status and output.
ChildResult run_serving(const std::vector<std::string> &args) {
  std::vector<gchar *> argv = argv_of(args);
  GPid pid = 0;
  gint out_fd = -1;
  GError *error = nullptr;
  ChildState state;
  if (!g_spawn_async_with_pipes(
          nullptr, argv.data(), nullptr,
          static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
          nullptr, &pid, nullptr, &out_fd, nullptr, &error)) {
    ADD_FAILURE() << "cannot run " << args[0] << ": " << error->message;
    g_error_free(error);
    return state.result;
  }
  g_unix_set_fd_nonblocking(out_fd, TRUE, nullptr);
  guint out_watch = g_unix_fd_add(out_fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                  on_child_output, &state);
  guint exit_watch = g_child_watch_add(pid, on_child_exit, &state);
  guint timer = g_timeout_add(kTimeoutMs, on_child_timeout, &state);
  while (!(state.result.finished && state.eof) && !state.timed_out) gtk_main_iteration();
  if (!state.eof) g_source_remove(out_watch);
  if (!state.result.finished) {
    ADD_FAILURE() << args[0] << " did not finish";
    g_source_remove(exit_watch);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  if (!state.timed_out) g_source_remove(timer);
  close(out_fd);
  g_spawn_close_pid(pid);
  return state.result;
}

enum class Owner { kNobody, kThisProcess, kAnotherProgram };

// Who holds the CLIPBOARD: asks for its targets when this process does not.
Owner clipboard_owner() {
  GtkClipboard *desktop = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  if (gtk_clipboard_get_owner(desktop)) return Owner::kThisProcess;
  GtkSelectionData *answer =
      gtk_clipboard_wait_for_contents(desktop, gdk_atom_intern_static_string("TARGETS"));
  if (!answer) return Owner::kNobody;
  gtk_selection_data_free(answer);
  return Owner::kAnotherProgram;
}

bool owned_by_another_program() { return clipboard_owner() == Owner::kAnotherProgram; }

// xclip holding the CLIPBOARD with the given data under one target until it
// is destroyed.
class XclipOffer {
 public:
  XclipOffer(const std::string &target, const std::string &data) {
    std::vector<std::string> args = {"xclip", "-selection", "clipboard", "-quiet", "-i"};
    if (!target.empty()) args.insert(args.end(), {"-t", target});
    std::vector<gchar *> argv = argv_of(args);
    gint in_fd = -1;
    GError *error = nullptr;
    if (!g_spawn_async_with_pipes(
            nullptr, argv.data(), nullptr,
            static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                     G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
            nullptr, nullptr, &pid_, &in_fd, nullptr, nullptr, &error)) {
      ADD_FAILURE() << "cannot run xclip: " << error->message;
      g_error_free(error);
      return;
    }
    size_t done = 0;
    while (done < data.size()) {
      ssize_t n = write(in_fd, data.data() + done, data.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    close(in_fd);
    gint64 end = g_get_monotonic_time() + gint64(kTimeoutMs) * 1000;
    while (!owned_by_another_program() && g_get_monotonic_time() < end) vorpix_test::run_for(10);
    EXPECT_TRUE(owned_by_another_program()) << "xclip did not take the clipboard";
  }
  ~XclipOffer() {
    if (!pid_) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    g_spawn_close_pid(pid_);
    pump();
  }
  XclipOffer(const XclipOffer &) = delete;
  XclipOffer &operator=(const XclipOffer &) = delete;

 private:
  GPid pid_ = 0;
};

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  gchar **parts = g_strsplit(text.c_str(), "\n", -1);
  for (gchar **p = parts; *p; p++)
    if (**p) lines.push_back(*p);
  g_strfreev(parts);
  return lines;
}

// ---- pictures ----

// A w x h picture with a pattern of its own, encoded in format.
std::string encoded_picture(int w, int h, const char *format, bool alpha = false) {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, w, h);
  int channels = gdk_pixbuf_get_n_channels(pixbuf);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      guchar *p = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
                  x * channels;
      p[0] = static_cast<guchar>(255 - x * 8);
      p[1] = static_cast<guchar>(y * 12);
      p[2] = static_cast<guchar>((x + y) % 2 ? 0 : 200);
      if (alpha) p[3] = 255;
    }
  gchar *buffer = nullptr;
  gsize size = 0;
  EXPECT_TRUE(gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, format, nullptr, nullptr));
  std::string bytes(buffer, size);
  g_free(buffer);
  g_object_unref(pixbuf);
  return bytes;
}

guint32 picture_pixel(int x, int y) {
  return (guint32(255 - x * 8) << 16) | (guint32(y * 12) << 8) | guint32((x + y) % 2 ? 0 : 200);
}

GdkPixbuf *decode(const std::string &bytes) {
  GdkPixbufLoader *loader = gdk_pixbuf_loader_new();
  bool ok = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar *>(bytes.data()),
                                    bytes.size(), nullptr) &&
            gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf *pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf) g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}

// A PNG whose header announces width x height; the pixel data is missing.
std::string png_header_only(guint32 width, guint32 height) {
  auto be32 = [](std::string &s, guint32 v) {
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>((v >> shift) & 0xff));
  };
  auto chunk = [&](std::string &png, const char *type, const std::string &body) {
    be32(png, static_cast<guint32>(body.size()));
    std::string typed = std::string(type) + body;
    png += typed;
    guint32 crc = 0xffffffffu;
    for (unsigned char c : typed) {
      crc ^= c;
      for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    be32(png, crc ^ 0xffffffffu);
  };
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  be32(ihdr, width);
  be32(ihdr, height);
  ihdr += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA, no interlace
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", std::string("\x78\x9c\x63\x60\x00\x00", 6));
  chunk(png, "IEND", "");
  return png;
}

// ---- the fixture ----

class ClipboardTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    // Each test starts from an empty record, as a fresh process would.
    canvas_clipboard_free(canvas_clipboard(canvas));
    clipboard = canvas_clipboard(canvas);
    paint_pattern(drawing());
    rect = rectangle_select_create("rectselect");
    poly = polygon_select_create("polyselect");
  }

  void TearDown() override {
    offer.reset();
    for (GList *w = window_list(); w; w = w->next) canvas_set_tool(canvas_of(GTK_WIDGET(w->data)), nullptr);
    MainWindowTest::TearDown();
    rect->destroy(rect);
    poly->destroy(poly);
  }

  void select_rectangle(VorpixCanvas *c, int x0, int y0, int x1, int y1) {
    canvas_set_tool(c, rect);
    vorpix_test::send_button(c->drawing_area, GDK_BUTTON_PRESS, x0, y0, 1);
    vorpix_test::send_motion(c->drawing_area, x1, y1, GDK_BUTTON1_MASK);
    vorpix_test::send_button(c->drawing_area, GDK_BUTTON_RELEASE, x1, y1, 1, GDK_BUTTON1_MASK);
  }

  void select_triangle() {
    canvas_set_tool(canvas, poly);
    click(120, 30);
    click(220, 150);
    click(40, 110);
  }

  void offer_from_xclip(const std::string &target, const std::string &data) {
    offer = std::make_unique<XclipOffer>(target, data);
  }

  // The paste command, run until its wait for the clipboard is over.
  void paste_and_wait(VorpixCanvas *c) {
    canvas_paste(c);
    for (int i = 0; i < 1000 && canvas_paste_waiting(c); i++) vorpix_test::run_for(10);
    EXPECT_FALSE(canvas_paste_waiting(c));
  }

  std::string status_message() const {
    return status_bar_text(status_bar_lookup(window), STATUS_MESSAGE);
  }

  VorpixClipboard *clipboard = nullptr;
  VorpixTool *rect = nullptr;
  VorpixTool *poly = nullptr;
  std::unique_ptr<XclipOffer> offer;
};

bool is_jpeg(const std::string &type) { return type.find("jpeg") != std::string::npos; }

TEST_F(ClipboardTest, FormatsArePngFirstGifAndJpegLast) {
  std::vector<std::string> names;
  for (GSList *node = clipboard->formats; node; node = node->next) {
    gchar *name = gdk_pixbuf_format_get_name(static_cast<GdkPixbufFormat *>(node->data));
    names.push_back(name);
    g_free(name);
  }
  GSList *library = gdk_pixbuf_get_formats();
  EXPECT_EQ(names.size(), g_slist_length(library));
  g_slist_free(library);
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names.front(), "png");
  EXPECT_EQ(names.back(), "jpeg");
  EXPECT_EQ(names[names.size() - 2], "gif");

  // GIF cannot be written, so it is never offered.
  for (int i = 0; i < clipboard->n_targets; i++)
    EXPECT_STRNE(clipboard->targets[i].target, "image/gif");
}

TEST_F(ClipboardTest, CopyOffersEveryWritableTypePngFirstJpegLast) {
  select_triangle();
  LogCapture log;
  canvas_copy(canvas);
  ChildResult r = run_serving({"xclip", "-selection", "clipboard", "-t", "TARGETS", "-o"});
  ASSERT_EQ(r.status, 0);
  // Listing the targets encodes nothing.
  EXPECT_FALSE(log.contains("sending pixbuf data"));

  std::vector<std::string> offered;
  for (const std::string &t : lines_of(r.out))
    if (t != "TIMESTAMP" && t != "TARGETS" && t != "MULTIPLE" && t != "SAVE_TARGETS")
      offered.push_back(t);
  ASSERT_EQ(offered.size(), static_cast<size_t>(clipboard->n_targets));
  for (size_t i = 0; i < offered.size(); i++) EXPECT_EQ(offered[i], clipboard->targets[i].target);
  EXPECT_EQ(offered.front(), "image/png");
  auto first_jpeg = std::find_if(offered.begin(), offered.end(), is_jpeg);
  ASSERT_NE(first_jpeg, offered.end());
  EXPECT_TRUE(std::all_of(first_jpeg, offered.end(), is_jpeg));
}

TEST_F(ClipboardTest, CopiedPngIsTheOutlinedAreaOnTransparency) {
  select_triangle();
  Points corners = selection_outline(canvas);
  LogCapture log;
  canvas_copy(canvas);
  ChildResult r = run_serving({"xclip", "-selection", "clipboard", "-t", "image/png", "-o"});
  ASSERT_EQ(r.status, 0);
  EXPECT_TRUE(log.contains("sending pixbuf data as 'image/png' (png)"));
  ASSERT_EQ(r.out.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);

  GdkPixbuf *png = decode(r.out);
  ASSERT_NE(png, nullptr);
  // The outline's bounding rectangle: x 40..220, y 30..150, counted inclusively.
  EXPECT_EQ(gdk_pixbuf_get_width(png), 181);
  EXPECT_EQ(gdk_pixbuf_get_height(png), 121);
  ASSERT_EQ(gdk_pixbuf_get_n_channels(png), 4);

  std::vector<GdkPoint> gp;
  for (auto [x, y] : corners) gp.push_back(GdkPoint{x, y});
  GdkRegion *inside = gdk_region_polygon(gp.data(), static_cast<int>(gp.size()), GDK_EVEN_ODD_RULE);
  int opaque = 0, transparent = 0, wrong = 0;
  for (int y = 0; y < gdk_pixbuf_get_height(png); y++)
    for (int x = 0; x < gdk_pixbuf_get_width(png); x++) {
      const guchar *p = gdk_pixbuf_get_pixels(png) + y * gdk_pixbuf_get_rowstride(png) + x * 4;
      guint32 rgb = (guint32(p[0]) << 16) | (guint32(p[1]) << 8) | p[2];
      if (gdk_region_point_in(inside, x + 40, y + 30)) {
        opaque++;
        if (p[3] != 255 || rgb != pattern(x + 40, y + 30)) wrong++;
      } else {
        transparent++;
        if (p[3] != 0) wrong++;
      }
    }
  gdk_region_destroy(inside);
  g_object_unref(png);
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(opaque, 5000);
  EXPECT_GT(transparent, 5000);
}

TEST_F(ClipboardTest, PasteFetchesAPictureAnotherProgramOffers) {
  offer_from_xclip("image/png", encoded_picture(30, 20, "png"));
  VorpixTool *previous = canvas->tool;
  LogCapture log;
  paste_and_wait(canvas);
  EXPECT_EQ(status_message(), "");
  EXPECT_TRUE(log.contains("offered type: image/png"));
  const std::vector<std::string> &lines = log.messages();
  auto png = std::find(lines.begin(), lines.end(), "checking pixbuf format 'png'");
  ASSERT_NE(png, lines.end());
  ASSERT_NE(png + 1, lines.end());
  EXPECT_EQ(png[1], " - checking mime type 'image/png'");
  EXPECT_EQ(canvas->tool, canvas->paste_tool);
  EXPECT_EQ(canvas->saved_tool, previous);

  EXPECT_EQ(selection_outline(canvas), (Points{{0, 0}, {30, 0}, {30, 20}, {0, 20}, {0, 0}}));
  for (int y = 0; y < 20; y++)
    for (int x = 0; x < 30; x++) ASSERT_EQ(pixel(x, y), picture_pixel(x, y)) << x << "," << y;
  EXPECT_EQ(pixel(30, 5), pattern(30, 5));
  EXPECT_EQ(pixel(5, 20), pattern(5, 20));
  EXPECT_TRUE(drawing()->modified);

  // Dragging the piece away gives back exactly what it covered.
  press(5, 5);
  motion(60, 40);
  motion(105, 55);
  release(105, 55);
  for (int y = 0; y < 20; y++)
    for (int x = 0; x < 30; x++) {
      ASSERT_EQ(pixel(x, y), pattern(x, y)) << x << "," << y;
      ASSERT_EQ(pixel(x + 100, y + 50), picture_pixel(x, y)) << x << "," << y;
    }
  EXPECT_EQ(selection_outline(canvas), (Points{{100, 50}, {130, 50}, {130, 70}, {100, 70}, {100, 50}}));
  // The record holds the fetched picture with its full rectangle.
  ASSERT_NE(clipboard->image, nullptr);
  EXPECT_EQ(image_width(clipboard->image), 30);
  EXPECT_EQ(image_height(clipboard->image), 20);
}

TEST_F(ClipboardTest, TextFromAnotherProgramIsNoPictureEvenAfterACopy) {
  select_rectangle(canvas, 100, 50, 140, 80);
  canvas_copy(canvas);
  offer_from_xclip("", "just some text\n");
  EXPECT_EQ(gtk_clipboard_get_owner(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD)), nullptr);
  std::vector<guint32> before = vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480);

  LogCapture log;
  paste_and_wait(canvas);
  EXPECT_TRUE(log.contains("offered type: UTF8_STRING"));
  EXPECT_TRUE(log.contains("checking pixbuf format 'jpeg'"));
  // What the user copied since is text: the old piece is not what they mean.
  EXPECT_NE(canvas->tool, canvas->paste_tool);
  EXPECT_EQ(status_message(), "Nothing to paste: the clipboard holds no picture");
  EXPECT_EQ(vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480), before);
}

TEST_F(ClipboardTest, GarbageOfferedAsPngWarnsAndPastesNothing) {
  std::vector<guint32> before = vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480);
  offer_from_xclip("image/png", std::string("this is no picture at all\0\1\2\3", 30));
  LogCapture log;
  paste_and_wait(canvas);
  EXPECT_TRUE(log.contains("paste_selection_data_get_pixbuf: ")) << log.messages().size();
  EXPECT_NE(canvas->tool, canvas->paste_tool);
  EXPECT_EQ(status_message(), "Nothing to paste: the clipboard holds no picture");
  EXPECT_EQ(clipboard->image, nullptr);
  EXPECT_TRUE(selection_outline(canvas).empty());
  EXPECT_EQ(vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480), before);
  EXPECT_FALSE(drawing()->modified);
}

TEST_F(ClipboardTest, AbsurdlyLargePictureIsRefused) {
  for (guint32 side : {30000u, 100000u, 0x7fffffffu}) {
    SCOPED_TRACE(side);
    offer_from_xclip("image/png", png_header_only(side, side));
    LogCapture log;
    paste_and_wait(canvas);
    EXPECT_TRUE(log.contains("paste_selection_data_get_pixbuf: ")) << log.messages().size();
    EXPECT_EQ(clipboard->image, nullptr);
    EXPECT_FALSE(drawing()->modified);
    EXPECT_NE(canvas->tool, canvas->paste_tool);
    // The PNG loader itself takes no side of 2^31 - 1: that one is no picture.
    if (side < 0x7fffffffu)
      EXPECT_EQ(status_message(), "Nothing to paste: the picture is too large");
    else
      EXPECT_EQ(status_message().rfind("Nothing to paste: ", 0), 0u) << status_message();
    offer.reset();
  }
}

// The helper that decodes the offer dies with a faulty loader; the window,
// and another one, go on, and the next offer pastes.
TEST_F(ClipboardTest, LoaderFaultOnAnOfferWarnsAndThePasteAfterWorks) {
  ASSERT_TRUE(loader_installed);
  GtkWidget *other = open_window();
  for (const char *action : {"abort", "socket"}) {
    SCOPED_TRACE(action);
    offer_from_xclip("image/x-vorpix-hostile", std::string("VXHOSTILE ") + action + "\n");
    LogCapture log;
    paste_and_wait(canvas);
    EXPECT_TRUE(log.contains("paste_selection_data_get_pixbuf: the decoder was ended by signal"))
        << (log.messages().empty() ? "" : log.messages().front());
    EXPECT_EQ(clipboard->image, nullptr);
    EXPECT_FALSE(drawing()->modified);
    canvas_end_paste_mode(canvas);
    offer.reset();
  }
  EXPECT_TRUE(GTK_WIDGET_REALIZED(other));
  offer_from_xclip("image/x-vorpix-hostile", "VXHOSTILE picture\n");
  paste_and_wait(canvas);
  ASSERT_NE(clipboard->image, nullptr);
  EXPECT_EQ(image_width(clipboard->image), 2);
  EXPECT_EQ(image_height(clipboard->image), 1);
  EXPECT_EQ(image_pixels(clipboard->image)[7], 128);  // alpha as offered
  canvas_end_paste_mode(canvas);
}

// A picture from outside that takes long to decode is opened as a file is:
// its window's input is held, and past a second it offers Cancel, which
// leaves everything as it was.  The clipboard's owner has answered by then,
// so the wait for it does not give up meanwhile.
TEST_F(ClipboardTest, LongDecodeOfAnOfferOrADropOffersCancel) {
  ASSERT_TRUE(loader_installed);
  const std::string hang = "VXHOSTILE hang\n";
  for (bool dropped : {false, true}) {
    SCOPED_TRACE(dropped ? "drop" : "clipboard");
    canvas_set_tool(canvas, rect);
    int presses = 0;
    gboolean (*count)(int *) = [](int *n) { return ++*n, FALSE; };
    const gulong counter =
        g_signal_connect_swapped(area, "button-press-event", G_CALLBACK(count), &presses);
    vorpix_test::DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *) {
      vorpix_test::send_button(area, GDK_BUTTON_PRESS, 10, 10, 3);
      // Past the wait for an answer, when the clipboard would have been
      // given up on.
      if (!dropped) vorpix_test::run_for(5500);
    });
    if (dropped) {
      canvas_paste_bytes(canvas, reinterpret_cast<const guchar *>(hang.data()),
                         static_cast<gssize>(hang.size()), "image/x-vorpix-hostile");
    } else {
      offer_from_xclip("image/x-vorpix-hostile", hang);
      paste_and_wait(canvas);
    }
    g_signal_handler_disconnect(area, counter);
    ASSERT_EQ(dialogs.answered(), 1);
    EXPECT_TRUE(g_str_has_prefix(dialogs.titles()[0].c_str(), "Opening "));
    EXPECT_TRUE(g_str_has_suffix(dialogs.titles()[0].c_str(), "\u2026"));
    EXPECT_EQ(presses, 0);
    EXPECT_EQ(status_message(), "");
    EXPECT_EQ(canvas->tool, rect);
    EXPECT_EQ(clipboard->image, nullptr);
    offer.reset();
  }
}

TEST_F(ClipboardTest, CopyInOneWindowPasteInAnotherThenCloseTheCopier) {
  GtkWidget *copier_window = open_window();
  VorpixCanvas *copier = canvas_of(copier_window);
  paint_pattern(copier->drawing);
  gdk_draw_rectangle(drawing()->backing_pixmap, drawing()->gc, TRUE, 0, 0, 640, 480);
  // The copier is the first canvas to ask for the record.
  canvas_clipboard_free(clipboard);
  select_rectangle(copier, 100, 50, 140, 80);
  canvas_copy(copier);
  clipboard = canvas_clipboard(copier);

  // Through the desktop clipboard: re-encoded, with the picture's rectangle
  // (the copied picture spans the outline's pixels inclusively).
  LogCapture log;
  paste_and_wait(canvas);
  EXPECT_TRUE(log.contains("sending pixbuf data as 'image/png' (png)"));
  EXPECT_EQ(selection_outline(canvas), (Points{{0, 0}, {41, 0}, {41, 31}, {0, 31}, {0, 0}}));
  for (int y = 0; y < 30; y++)
    for (int x = 0; x < 40; x++) ASSERT_EQ(pixel(x, y), pattern(x + 100, y + 50)) << x << "," << y;
  key(GDK_Escape);

  // The copier goes away first; the other window keeps copying and pasting.
  gtk_widget_destroy(copier_window);
  pump();
  EXPECT_EQ(clipboard_owner(), Owner::kNobody);
  EXPECT_EQ(canvas_clipboard(canvas), clipboard);
  paint_pattern(drawing());
  select_rectangle(canvas, 300, 200, 310, 220);
  canvas_copy(canvas);
  paste_and_wait(canvas);
  EXPECT_EQ(selection_outline(canvas), (Points{{0, 0}, {10, 0}, {10, 20}, {0, 20}, {0, 0}}));
  for (int y = 0; y < 20; y++)
    for (int x = 0; x < 10; x++) ASSERT_EQ(pixel(x, y), pattern(x + 300, y + 200)) << x << "," << y;
  ChildResult r = run_serving({"xclip", "-selection", "clipboard", "-t", "image/png", "-o"});
  EXPECT_EQ(r.status, 0);
  GdkPixbuf *png = decode(r.out);
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(png), 11);
  g_object_unref(png);
}

TEST_F(ClipboardTest, CopyWithFewerThanThreePointsChangesNothing) {
  select_rectangle(canvas, 10, 10, 20, 20);
  canvas_copy(canvas);
  VorpixImage *copied = clipboard->image;
  ASSERT_NE(copied, nullptr);
  GtkClipboard *desktop = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  EXPECT_EQ(gtk_clipboard_get_owner(desktop), G_OBJECT(canvas));

  canvas_set_tool(canvas, nullptr);
  selection_add_point(canvas->selection, 200, 200);
  selection_add_point(canvas->selection, 300, 300);
  canvas_copy(canvas);
  canvas_cut(canvas);
  EXPECT_EQ(clipboard->image, copied);
  EXPECT_EQ(point_array_size(clipboard->points), 5);
  EXPECT_EQ(gtk_clipboard_get_owner(desktop), G_OBJECT(canvas));
  EXPECT_EQ(pixel(250, 250), pattern(250, 250));

  // Nor does it take the clipboard back from another program.
  offer_from_xclip("", "text");
  canvas_copy(canvas);
  EXPECT_TRUE(owned_by_another_program());
}

TEST_F(ClipboardTest, CutClearsTheAreaOnlyAfterTakingIt) {
  select_rectangle(canvas, 100, 50, 140, 80);
  canvas_cut(canvas);
  ASSERT_NE(clipboard->image, nullptr);
  const VorpixImage *taken = clipboard->image;
  for (int y = 0; y < 30; y++)
    for (int x = 0; x < 40; x++) {
      const guchar *p = image_pixels(taken) + y * image_rowstride(taken) + x * 4;
      ASSERT_EQ((guint32(p[0]) << 16) | (guint32(p[1]) << 8) | p[2], pattern(x + 100, y + 50));
      ASSERT_EQ(pixel(x + 100, y + 50), 0xffffffu);
    }
  EXPECT_EQ(pixel(99, 60), pattern(99, 60));
  EXPECT_EQ(pixel(141, 60), pattern(141, 60));
  EXPECT_EQ(pixel(120, 49), pattern(120, 49));
  EXPECT_EQ(selection_outline(canvas).size(), 5u);
}

TEST_F(ClipboardTest, CopyBesideTheDrawingGivesUpTheClipboard) {
  select_rectangle(canvas, 10, 10, 20, 20);
  canvas_copy(canvas);
  GtkClipboard *desktop = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  ASSERT_EQ(gtk_clipboard_get_owner(desktop), G_OBJECT(canvas));

  // An outline along the line just right of the last column.
  LogCapture log;
  select_rectangle(canvas, 640, 10, 640, 50);
  canvas_copy(canvas);
  EXPECT_TRUE(log.contains("selection does not intersect the drawing"));
  EXPECT_EQ(clipboard->image, nullptr);
  EXPECT_EQ(point_array_size(clipboard->points), 5);
  EXPECT_EQ(point_array_data(clipboard->points)[0].x, 640);
  EXPECT_EQ(gtk_clipboard_get_owner(desktop), nullptr);

  // Pasting that has nothing to show does not start.
  std::vector<guint32> before = vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480);
  paste_and_wait(canvas);
  EXPECT_NE(canvas->tool, canvas->paste_tool);
  EXPECT_EQ(status_message(), "Nothing to paste: the clipboard holds no picture");
  EXPECT_EQ(vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480), before);
}

gboolean close_window_now(gpointer window) {
  gtk_widget_destroy(GTK_WIDGET(window));
  return FALSE;
}

TEST_F(ClipboardTest, ClosingTheWindowWhilePasteWaitsForTheOwner) {
  offer_from_xclip("image/png", encoded_picture(30, 20, "png"));
  GtkWidget *other = open_window();
  VorpixCanvas *pasting = canvas_of(other);
  guint windows = g_list_length(window_list());
  // Runs during the wait for the owner's answer.
  canvas_paste(pasting);
  EXPECT_TRUE(canvas_paste_waiting(pasting));
  g_idle_add_full(G_PRIORITY_HIGH, close_window_now, other, nullptr);
  vorpix_test::run_for(500);
  EXPECT_EQ(g_list_length(window_list()), windows - 1);
  // The remaining window pastes the picture.
  paste_and_wait(canvas);
  EXPECT_EQ(selection_outline(canvas), (Points{{0, 0}, {30, 0}, {30, 20}, {0, 20}, {0, 0}}));
  EXPECT_EQ(pixel(3, 4), picture_pixel(3, 4));
}

// Another client that takes the CLIPBOARD and never answers a request.
class SilentOwner {
 public:
  SilentOwner() : display_(XOpenDisplay(nullptr)) {
    if (!display_) return;
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(display_, "CLIPBOARD", False);
    XSetSelectionOwner(display_, clipboard, window_, CurrentTime);
    XSync(display_, False);
    owns_ = XGetSelectionOwner(display_, clipboard) == window_;
  }
  ~SilentOwner() {
    if (display_) XCloseDisplay(display_);
  }
  SilentOwner(const SilentOwner &) = delete;
  SilentOwner &operator=(const SilentOwner &) = delete;
  bool owns() const { return owns_; }

 private:
  Display *display_;
  Window window_ = 0;
  bool owns_ = false;
};

TEST_F(ClipboardTest, AnOwnerThatNeverAnswersLeavesTheWindowUsable) {
  SilentOwner owner;
  ASSERT_TRUE(owner.owns());
  std::vector<guint32> before = vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480);
  canvas_set_tool(canvas, rect);
  canvas_paste(canvas);
  EXPECT_TRUE(canvas_paste_waiting(canvas));
  EXPECT_EQ(status_message(), "Waiting for the clipboard\u2026");
  // The window takes input meanwhile: a selection can be drawn.
  select_rectangle(canvas, 10, 10, 50, 40);
  vorpix_test::run_for(300);
  EXPECT_EQ(selection_outline(canvas), (Points{{10, 10}, {50, 10}, {50, 40}, {10, 40}, {10, 10}}));
  EXPECT_TRUE(canvas_paste_waiting(canvas));
  // A second paste while waiting starts nothing more.
  canvas_paste(canvas);

  // Escape ends the wait; the tool and the picture stay.
  key(GDK_Escape);
  EXPECT_FALSE(canvas_paste_waiting(canvas));
  EXPECT_EQ(status_message(), "");
  EXPECT_EQ(canvas->tool, rect);

  // Left alone, the wait gives up by itself.
  canvas_paste(canvas);
  EXPECT_TRUE(canvas_paste_waiting(canvas));
  for (int i = 0; i < 1000 && canvas_paste_waiting(canvas); i++) vorpix_test::run_for(10);
  EXPECT_FALSE(canvas_paste_waiting(canvas));
  EXPECT_EQ(status_message(), "Nothing to paste: the clipboard did not answer");
  EXPECT_EQ(canvas->tool, rect);
  EXPECT_EQ(vorpix_test::drawable_pixels(drawing()->backing_pixmap, 640, 480), before);
  EXPECT_FALSE(drawing()->modified);
}

// The way in for pictures from a drop: bytes that arrived.
TEST_F(ClipboardTest, PictureBytesFromOutsideArePastedOrRefusedWithTheReason) {
  struct Case {
    const char *name;
    std::string bytes;
    const char *status;  // null: pasted
  };
  const Case cases[] = {
      {"png", encoded_picture(30, 20, "png"), nullptr},
      {"garbage", std::string("no picture\0\1\2", 13), "Nothing to paste: the clipboard holds no picture"},
      {"empty", "", "Nothing to paste: the clipboard holds no picture"},
      {"huge", png_header_only(30000, 30000), "Nothing to paste: the picture is too large"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    canvas_set_tool(canvas, rect);
    canvas_paste_bytes(canvas, reinterpret_cast<const guchar *>(c.bytes.data()),
                       static_cast<gssize>(c.bytes.size()));
    pump();
    if (c.status) {
      EXPECT_EQ(status_message(), c.status);
      EXPECT_EQ(canvas->tool, rect);
      continue;
    }
    EXPECT_EQ(status_message(), "");
    ASSERT_EQ(canvas->tool, canvas->paste_tool);
    EXPECT_EQ(selection_outline(canvas), (Points{{0, 0}, {30, 0}, {30, 20}, {0, 20}, {0, 0}}));
    EXPECT_EQ(pixel(3, 4), picture_pixel(3, 4));
    canvas_end_paste_mode(canvas);
  }
}

// The decode runs the main loop, where the window can go.
TEST_F(ClipboardTest, PictureBytesForAWindowClosedDuringTheDecodeAreLeftAlone) {
  const std::string bytes = encoded_picture(30, 20, "png");
  auto paste = [&bytes](VorpixCanvas *c) {
    canvas_paste_bytes(c, reinterpret_cast<const guchar *>(bytes.data()),
                       static_cast<gssize>(bytes.size()), "image/png");
  };
  GtkWidget *other = open_window();
  // At the decode's first turn of the loop, before the helper answers.
  const guint close = g_idle_add_full(
      G_PRIORITY_HIGH, [](gpointer w) { return gtk_widget_destroy(GTK_WIDGET(w)), FALSE; }, other,
      nullptr);
  LogCapture log;
  paste(canvas_of(other));
  ASSERT_EQ(g_main_context_find_source_by_id(nullptr, close), nullptr);
  pump();
  EXPECT_EQ(clipboard->image, nullptr);
  EXPECT_TRUE(log.messages().empty()) << log.messages().front();
  paste(canvas);  // the window left goes on pasting
  EXPECT_EQ(canvas->tool, canvas->paste_tool);
  canvas_end_paste_mode(canvas);
}

TEST_F(ClipboardTest, CutCopyAndPasteMenuItems) {
  select_rectangle(canvas, 100, 50, 140, 80);
  gtk_menu_item_activate(GTK_MENU_ITEM(widget("copy_menu")));
  EXPECT_EQ(gtk_clipboard_get_owner(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD)), G_OBJECT(canvas));
  EXPECT_EQ(pixel(110, 60), pattern(110, 60));

  gtk_menu_item_activate(GTK_MENU_ITEM(widget("cut_menu")));
  EXPECT_EQ(pixel(110, 60), 0xffffffu);

  gtk_menu_item_activate(GTK_MENU_ITEM(widget("paste_menu")));
  EXPECT_EQ(canvas->tool, canvas->paste_tool);
  EXPECT_EQ(canvas->saved_tool, rect);
  EXPECT_EQ(pixel(10, 10), pattern(110, 60));
}

// ---- decoding and sending without a peer ----

// ---- pictures with transparency ----

using vorpix_test::Rgba;

// A picture of kAlphaWidth x kAlphaHeight whose alpha runs through 0, 64,
// 128, 200 and 255 diagonally, each pixel a colour of its own.
constexpr int kAlphaWidth = 60, kAlphaHeight = 40;
Rgba alpha_ground(int x, int y) {
  static const guchar kAlphas[] = {0, 64, 128, 200, 255};
  return {guchar(x * 4), guchar(y * 6), guchar(255 - x * 4), kAlphas[(x + y) % 5]};
}

std::string png_of(GdkPixbuf *pixbuf) {
  gchar *buffer = nullptr;
  gsize size = 0;
  EXPECT_TRUE(gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr));
  std::string bytes(buffer, size);
  g_free(buffer);
  return bytes;
}

class ClipboardAlphaTest : public ClipboardTest {
 protected:
  // Opens a PNG of the pixbuf (taken over) as the window's picture.
  void open_picture(GdkPixbuf *pixbuf) {
    const std::string path = dir.file("picture.png");
    ASSERT_TRUE(gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr));
    g_object_unref(pixbuf);
    VorpixDrawing *opened = drawing_new_from_file(area, canvas->gc, path.c_str());
    ASSERT_NE(opened, nullptr);
    canvas_set_drawing(canvas, opened);
    ASSERT_TRUE(drawing()->has_alpha);
    pump();
  }
  void open_alpha_ground() {
    GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kAlphaWidth, kAlphaHeight);
    for (int y = 0; y < kAlphaHeight; y++)
      for (int x = 0; x < kAlphaWidth; x++) vorpix_test::set_rgba(pixbuf, x, y, alpha_ground(x, y));
    open_picture(pixbuf);
  }
  // The top-left kAlphaWidth x kAlphaHeight of the picture, RGBA.
  std::vector<Rgba> picture() {
    VorpixImage *image = drawing_create_image(drawing());
    EXPECT_NE(image, nullptr);
    std::vector<Rgba> out;
    if (!image) return out;
    for (int y = 0; y < kAlphaHeight; y++)
      for (int x = 0; x < kAlphaWidth; x++)
        out.push_back(vorpix_test::rgba_of(image_pixbuf(image), x, y));
    image_free(image);
    return out;
  }
  vorpix_test::ScratchDir dir;
};

// What another program reads as PNG is the selected area with its alpha,
// to the byte, whether copied or cut.
TEST_F(ClipboardAlphaTest, CopyAndCutSendTheAreaWithItsAlphaAsPng) {
  for (bool cut : {false, true}) {
    open_picture(vorpix_test::new_banded_pixbuf());
    canvas_select_all(canvas);
    cut ? canvas_cut(canvas) : canvas_copy(canvas);
    ChildResult r = run_serving({"xclip", "-selection", "clipboard", "-t", "image/png", "-o"});
    ASSERT_EQ(r.status, 0) << cut;
    GdkPixbuf *png = decode(r.out);
    ASSERT_NE(png, nullptr) << cut;
    ASSERT_EQ(gdk_pixbuf_get_width(png), vorpix_test::kBandsWidth);
    ASSERT_EQ(gdk_pixbuf_get_height(png), vorpix_test::kBandsHeight);
    ASSERT_TRUE(gdk_pixbuf_get_has_alpha(png));
    for (int y = 0; y < vorpix_test::kBandsHeight; y++)
      for (int x = 0; x < vorpix_test::kBandsWidth; x++)
        ASSERT_EQ(vorpix_test::rgba_of(png, x, y), vorpix_test::band_colour(x))
            << cut << " " << x << "," << y;
    g_object_unref(png);
  }
}

// Formats without alpha get the area over white, as a saved file does: the
// colours transparent pixels happen to hold never reach another program.
TEST_F(ClipboardAlphaTest, FormatsWithoutAlphaSendTheAreaOverWhite) {
  open_picture(vorpix_test::new_banded_pixbuf());
  canvas_select_all(canvas);
  canvas_copy(canvas);
  const struct {
    const char *type;
    int tolerance;  // JPEG is lossy
  } cases[] = {{"image/bmp", 0}, {"image/jpeg", 24}};
  for (const auto &c : cases) {
    ChildResult r = run_serving({"xclip", "-selection", "clipboard", "-t", c.type, "-o"});
    ASSERT_EQ(r.status, 0) << c.type;
    GdkPixbuf *flat = decode(r.out);
    ASSERT_NE(flat, nullptr) << c.type;
    std::string where;
    EXPECT_LE(vorpix_test::bands_difference(flat, false, false, &where), c.tolerance)
        << c.type << " " << where;
    g_object_unref(flat);
  }
}

// A piece with transparent, half transparent and opaque bands, pasted from
// another program onto an opaque picture and onto one with alpha: shown
// composited while it floats, left composited where it is put, and undone.
TEST_F(ClipboardAlphaTest, PastedAlphaIsCompositedOverThePicture) {
  GdkPixbuf *bands = vorpix_test::new_banded_pixbuf();
  offer_from_xclip("image/png", png_of(bands));
  g_object_unref(bands);
  constexpr int kPutX = 20, kPutY = 10;
  for (bool alpha : {false, true}) {
    if (alpha) open_alpha_ground();
    const std::vector<Rgba> before = picture();
    const std::vector<guint32> shown_before =
        vorpix_test::drawable_pixels(area->window, kAlphaWidth, kAlphaHeight);
    paste_and_wait(canvas);
    ASSERT_EQ(canvas->tool, canvas->paste_tool) << alpha;
    drag(5, 5, kPutX + 5, kPutY + 5);
    pump();

    auto want = [&](int x, int y) {
      const Rgba under = before[y * kAlphaWidth + x];
      const int px = x - kPutX, py = y - kPutY;
      if (px < 0 || py < 0 || px >= vorpix_test::kBandsWidth || py >= vorpix_test::kBandsHeight)
        return under;
      const Rgba piece = vorpix_test::band_colour(px);
      return alpha ? vorpix_test::over_rgba(piece, under) : vorpix_test::over_colour(piece, under);
    };
    std::vector<Rgba> got = picture();
    for (int y = 0; y < kAlphaHeight; y++)
      for (int x = 0; x < kAlphaWidth; x++)
        ASSERT_EQ(got[y * kAlphaWidth + x], want(x, y)) << alpha << " " << x << "," << y;

    // The window shows the floating piece composited: on an opaque picture
    // the very pixels; on one with alpha over the checkerboard, which the
    // transparent band leaves as it was.
    for (int x = kPutX; x < kPutX + vorpix_test::kBandsWidth; x++) {
      const int y = kPutY + 2;
      const guint32 shown = window_pixel(x, y);
      const Rgba w = want(x, y);
      const guint32 was = shown_before[y * kAlphaWidth + x];
      const int band = (x - kPutX) / vorpix_test::kBandWidth;
      if (!alpha)
        EXPECT_EQ(shown, (guint32(w.r) << 16) | (guint32(w.g) << 8) | w.b) << x;
      else if (band == 0)
        EXPECT_EQ(shown, was) << x;
      else if (band == 1)
        EXPECT_NE(shown, was) << x;
      else
        EXPECT_EQ(shown, 0x010203u) << x;
    }

    key(GDK_Escape);
    EXPECT_NE(canvas->tool, canvas->paste_tool);
    EXPECT_EQ(picture(), got) << alpha;
    ASSERT_TRUE(history_undo(canvas)) << alpha;
    EXPECT_EQ(picture(), before) << alpha;
  }
}

class SelectionDataTest : public ClipboardTest {
 protected:
  void TearDown() override {
    g_free(data.data);
    ClipboardTest::TearDown();
  }
  void set(const std::string &bytes, int format = 8) {
    data.selection = GDK_SELECTION_CLIPBOARD;
    data.target = gdk_atom_intern("image/png", FALSE);
    gtk_selection_data_set(&data, data.target, format,
                           reinterpret_cast<const guchar *>(bytes.data()),
                           static_cast<gint>(bytes.size()));
  }
  GtkSelectionData data = {};
};

TEST_F(SelectionDataTest, DecodesAnyReadableFormatKeepingItsLayout) {
  for (const char *format : {"png", "bmp", "jpeg", "tiff"}) {
    SCOPED_TRACE(format);
    g_free(data.data);
    data.data = nullptr;
    set(encoded_picture(12, 7, format));
    GdkPixbuf *pixbuf = paste_selection_data_get_pixbuf(&data);
    ASSERT_NE(pixbuf, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 12);
    EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 7);
    g_object_unref(pixbuf);
  }
  g_free(data.data);
  data.data = nullptr;
  set(encoded_picture(5, 5, "png", true));
  GdkPixbuf *pixbuf = paste_selection_data_get_pixbuf(&data);
  ASSERT_NE(pixbuf, nullptr);
  EXPECT_TRUE(gdk_pixbuf_get_has_alpha(pixbuf));
  g_object_unref(pixbuf);
}

TEST_F(SelectionDataTest, BadDataGivesNullWithAWarning) {
  {
    LogCapture log;
    EXPECT_EQ(paste_selection_data_get_pixbuf(nullptr), nullptr);
    EXPECT_TRUE(log.contains("selection != NULL"));
  }
  {
    LogCapture log;
    set("abcd", 16);
    EXPECT_EQ(paste_selection_data_get_pixbuf(&data), nullptr);
    EXPECT_TRUE(log.contains("Received invalid image data!"));
  }
  {
    LogCapture log;
    GtkSelectionData empty = {};
    empty.format = 8;
    empty.length = -1;
    EXPECT_EQ(paste_selection_data_get_pixbuf(&empty), nullptr);
    EXPECT_TRUE(log.contains("Received invalid image data!"));
  }
  {
    LogCapture log;
    g_free(data.data);
    data.data = nullptr;
    set("GIF89a, or so it says");
    EXPECT_EQ(paste_selection_data_get_pixbuf(&data), nullptr);
    EXPECT_TRUE(log.contains("paste_selection_data_get_pixbuf: "));
  }
}

TEST_F(SelectionDataTest, SendingChecksItsArguments) {
  select_rectangle(canvas, 10, 10, 20, 20);
  canvas_copy(canvas);
  LogCapture log;
  testing::internal::CaptureStdout();
  canvas_clipboard_send_buffer(nullptr, nullptr, 0, canvas);
  canvas_clipboard_send_buffer(nullptr, &data, static_cast<guint>(clipboard->n_targets), canvas);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(log.contains("selection_data != NULL"));
  EXPECT_EQ(data.data, nullptr);

  // A proper request gets the picture in the target's format.  The line
  // saying so goes to the debug log; a user's terminal sees nothing.
  testing::internal::CaptureStdout();
  canvas_clipboard_send_buffer(nullptr, &data, 0, canvas);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(log.contains("sending pixbuf data as 'image/png' (png)"));
  GdkPixbuf *pixbuf = paste_selection_data_get_pixbuf(&data);
  ASSERT_NE(pixbuf, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 11);
  g_object_unref(pixbuf);
}

}  // namespace
