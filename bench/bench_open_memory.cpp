// The memory it takes to open a 4096 x 4096 PNG as the program's Open does:
// decoded by the helper, mapped by the program and drawn into the window's
// pixmap on the X server.  Reported beside the picture's own RGBA size
// (64 MiB): the program's peak over what it held before, the helper's peak,
// and the X server's growth.  The pixels the helper hands over are shared
// memory, which both the helper's and the program's peaks count.
#include <benchmark/benchmark.h>
#include <glade/glade.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "document/canvas.h"
#include "document/decoder.h"
#include "document/drawing.h"
#include "document/file.h"
#include "shell/window.h"
#include "bench/gui.h"
#include "bench/pattern.h"
#include "tests/imaging/effect_pictures.h"

namespace {

constexpr int kSide = 4096;
constexpr double kPictureMiB = double(kSide) * kSide * 4 / (1 << 20);
constexpr int kRepetitions = 3;
// The helper started in advance is given this long to be ready, and the
// program this long to be idle after the picture is shown.
constexpr gulong kSettleUs = 300000;

std::string picture;
VorpixCanvas *canvas = nullptr;

void pump() {
  gdk_flush();
  while (gtk_events_pending()) gtk_main_iteration();
}

void settle() {
  for (gint64 end = g_get_monotonic_time() + kSettleUs; g_get_monotonic_time() < end;) {
    pump();
    g_usleep(5000);
  }
}

// A field of /proc/<pid>/status in MiB ("VmRSS", "VmHWM"), or -1.
double status_mib(const std::string &pid, const char *field) {
  std::ifstream status("/proc/" + pid + "/status");
  double kib;
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, strlen(field), field) == 0 && line[strlen(field)] == ':')
      return sscanf(line.c_str() + strlen(field) + 1, "%lf", &kib) == 1 ? kib / 1024 : -1;
  return -1;
}

// The largest peak of this process's children but the X server while it
// runs, read from their status every half millisecond while they live (the
// children's resource usage would count this process's own memory at each
// start of a helper).
class ChildPeak {
 public:
  explicit ChildPeak(const std::string &server) : server_(server), thread_([this] { watch(); }) {}
  ~ChildPeak() {
    done_ = true;
    thread_.join();
  }
  double mib() const { return peak_; }

 private:
  void watch() {
    const std::string children = "/proc/" + std::to_string(getpid()) + "/task/" +
                                 std::to_string(getpid()) + "/children";
    while (!done_) {
      std::ifstream list(children);
      std::string pid;
      while (list >> pid)
        if (pid != server_) peak_ = std::max(peak_.load(), status_mib(pid, "VmHWM"));
      g_usleep(kSampleUs);
    }
  }
  static constexpr gulong kSampleUs = 500;
  const std::string server_;
  std::atomic<bool> done_{false};
  std::atomic<double> peak_{0};
  std::thread thread_;
};

// From here on, the peak is counted from what the process holds now.
bool reset_peak(const std::string &pid) {
  std::ofstream clear("/proc/" + pid + "/clear_refs");
  clear << "5";
  return bool(clear.flush());
}

void BM_OpenMemory(benchmark::State &state) {
  const std::string self = "self", server = std::to_string(vorpix_test::xvfb_pid());
  for (auto _ : state) {
    state.PauseTiming();
    canvas_set_drawing(canvas, drawing_new_blank(canvas->drawing_area, canvas->gc, 16, 16));
    decoder_prepare();
    settle();
    const double program_before = status_mib(self, "VmRSS");
    const double server_before = status_mib(server, "VmRSS");
    if (!reset_peak(self) || !reset_peak(server)) {
      state.SkipWithError("cannot reset the peaks");
      break;
    }
    bool opened;
    double helper;
    {
      ChildPeak child_peak(server);
      state.ResumeTiming();
      opened = file_open_path(canvas, picture.c_str());
      gdk_display_sync(gdk_display_get_default());
      state.PauseTiming();
      helper = child_peak.mib();
    }
    settle();
    const double program = status_mib(self, "VmHWM") - program_before;
    const double server_growth = status_mib(server, "VmHWM") - server_before;
    if (!opened || program_before < 0 || server_before < 0) {
      state.SkipWithError("the picture did not open");
      break;
    }
    state.counters["program_MiB"] = program;
    state.counters["helper_MiB"] = helper;
    state.counters["xserver_MiB"] = server_growth;
    state.counters["times_picture"] = (program + helper + server_growth) / kPictureMiB;
    state.counters["without_shared"] =
        (program + helper + server_growth - kPictureMiB) / kPictureMiB;
    state.ResumeTiming();
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (!start_gui(&argc, &argv, "bench_open_memory")) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  gchar *dir = g_dir_make_tmp("vorpix-bench-memory-XXXXXX", nullptr);
  if (!dir) return 1;
  picture = std::string(dir) + "/photo-4096.png";
  {
    effect_test::Image image =
        effect_test::random_picture(kSide, kSide, effect_test::Kind::kGradient, 11);
    GdkPixbuf *rgb = new_rgb_pixbuf(image.get());
    const bool ok = rgb && gdk_pixbuf_save(rgb, picture.c_str(), "png", nullptr, "compression",
                                           "1", nullptr);
    if (rgb) g_object_unref(rgb);
    if (!ok) {
      fprintf(stderr, "bench_open_memory: cannot write the picture\n");
      return 1;
    }
  }
  GtkWidget *window = create_window();
  pump();
  canvas = canvas_lookup(window);
  benchmark::RegisterBenchmark("open_4096_png", BM_OpenMemory)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(kRepetitions);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_unlink(picture.c_str());
  g_rmdir(dir);
  g_free(dir);
  vorpix_test::stop_xvfb();
  return 0;
}
