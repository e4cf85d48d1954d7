// Starting the program with a picture, against mtPaint: the time from the
// start until a window is on the screen, and until the picture is visible in
// it.  The picture is photo-sized (1600 x 1200, with a border of a colour
// nothing else shows); vorpix is also timed without a file, which its window
// must map as quickly as.
#include <benchmark/benchmark.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/harness/xvfb.h"

// Xlib last: its macros clash with names in the benchmark library.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int kRepetitions = 5;
constexpr int kWidth = 1600, kHeight = 1200;
constexpr guint32 kMark = 0x129a57;
constexpr int kScanWidth = 900, kScanHeight = 700, kScanStep = 4;
constexpr gint64 kGiveUpUs = 20 * G_USEC_PER_SEC;

std::string folder;
Display *display = nullptr;

std::string picture_path() { return folder + "/photo.png"; }

bool write_picture() {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, kWidth, kHeight);
  for (int y = 0; y < kHeight; y++) {
    guchar *row = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf);
    for (int x = 0; x < kWidth; x++) {
      guchar *p = row + x * 3;
      // Every pixel of the marking colour: the first one shown tells.
      p[0] = kMark >> 16;
      p[1] = (kMark >> 8) & 0xff;
      p[2] = kMark & 0xff;
      if ((x / 40 + y / 40) % 2) p[1] = guchar((x * 3 + y) & 0x7f);
    }
  }
  const bool ok = gdk_pixbuf_save(pixbuf, picture_path().c_str(), "png", nullptr, "compression",
                                  "1", nullptr);
  g_object_unref(pixbuf);
  return ok;
}

int viewable_windows() {
  Window root_return, parent;
  Window *children = nullptr;
  unsigned count = 0;
  int viewable = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root_return, &parent, &children, &count)) {
    for (unsigned i = 0; i < count; i++) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display, children[i], &attributes) &&
          attributes.map_state == IsViewable && attributes.width > 100)
        viewable++;
    }
    if (children) XFree(children);
  }
  return viewable;
}

bool mark_visible() {
  XImage *image = XGetImage(display, DefaultRootWindow(display), 0, 0, kScanWidth, kScanHeight,
                            AllPlanes, ZPixmap);
  if (!image) return false;
  bool found = false;
  for (int y = 0; y < kScanHeight && !found; y += kScanStep)
    for (int x = 0; x < kScanWidth && !found; x += kScanStep)
      found = (XGetPixel(image, x, y) & 0xffffff) == kMark;
  XDestroyImage(image);
  return found;
}

struct Timing {
  double mapped_ms = -1, shown_ms = -1;
};

// Starts the command, waits until it maps a window and (if asked) shows the
// picture, and ends it.
Timing run_once(const std::vector<std::string> &command, bool wait_for_picture) {
  const int before = viewable_windows();
  std::vector<char *> argv;
  for (const std::string &arg : command) argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  Timing timing;
  const gint64 start = g_get_monotonic_time();
  const pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (pid < 0) return timing;
  while (g_get_monotonic_time() - start < kGiveUpUs) {
    const double ms = double(g_get_monotonic_time() - start) / 1000;
    if (timing.mapped_ms < 0 && viewable_windows() > before) timing.mapped_ms = ms;
    if (timing.mapped_ms >= 0 && (!wait_for_picture || mark_visible())) {
      if (wait_for_picture) timing.shown_ms = double(g_get_monotonic_time() - start) / 1000;
      break;
    }
    g_usleep(2000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  // Until the window is gone, so the next run starts on an empty screen.
  while (viewable_windows() > before) g_usleep(5000);
  return timing;
}

void open(benchmark::State &state, std::vector<std::string> command, bool with_file) {
  if (with_file) command.push_back(picture_path());
  for (auto _ : state) {
    Timing timing = run_once(command, with_file);
    if (timing.mapped_ms < 0 || (with_file && timing.shown_ms < 0)) {
      state.SkipWithError("no window or no picture");
      break;
    }
    state.SetIterationTime((with_file ? timing.shown_ms : timing.mapped_ms) / 1000);
    state.counters["mapped_ms"] = timing.mapped_ms;
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (!vorpix_test::start_xvfb()) {
    fprintf(stderr, "bench_open: cannot start Xvfb\n");
    return 1;
  }
  display = XOpenDisplay(nullptr);
  gchar *dir = g_dir_make_tmp("vorpix-bench-open-XXXXXX", nullptr);
  if (!display || !dir || (folder = dir, !write_picture())) {
    fprintf(stderr, "bench_open: cannot prepare\n");
    return 1;
  }
  g_free(dir);
  // Neither program may read or write the user's own settings.
  g_setenv("HOME", folder.c_str(), TRUE);
  g_setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), TRUE);
  g_setenv("VORPIX_GLADE_FILE", VORPIX_SOURCE_GLADE, FALSE);
  const std::string vorpix = VORPIX_BINARY_DIR "/vorpix";
  const struct {
    const char *name;
    std::vector<std::string> command;
    bool with_file;
  } runs[] = {
      {"vorpix/no_file", {vorpix}, false},
      {"vorpix/picture", {vorpix}, true},
      {"mtpaint/no_file", {"mtpaint"}, false},
      {"mtpaint/picture", {"mtpaint"}, true},
  };
  for (const auto &run : runs)
    benchmark::RegisterBenchmark(run.name, open, run.command, run.with_file)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(kRepetitions);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  XCloseDisplay(display);
  g_unlink(picture_path().c_str());
  gchar *argv_rm[] = {const_cast<gchar *>("rm"), const_cast<gchar *>("-rf"),
                      const_cast<gchar *>(folder.c_str()), nullptr};
  g_spawn_sync(nullptr, argv_rm, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
               nullptr, nullptr, nullptr);
  vorpix_test::stop_xvfb();
  return 0;
}
