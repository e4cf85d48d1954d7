#include "document/work.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "document/canvas.h"
#include "panels/status_bar.h"
#include "shell/util.h"

namespace {

constexpr guint kDefaultGraceMs = 150;
constexpr guint kPulseMs = 100;
constexpr char kWorkKey[] = "vorpix-work";

// Everything of the window that would change the picture or start another
// command on it.  Closing, quitting, new windows and the view stay usable.
constexpr const char *kGatedWidgets[] = {
    "edit_menu_item", "image_menu_item", "effects_menu_item", "toolbar", "left_vbox", "new_file_menu",
    "open_menu",      "open_recent_menu", "save_menu",    "save_as_menu", "revert_menu",
    "print_menu",     "print_preview",   "print_setup",
};

guint grace_ms = kDefaultGraceMs;

// Shared by the worker and the main thread; the worker's last act is to
// post an idle that quits the main thread's wait, if it waits.
struct Shared {
  std::mutex lock;
  std::condition_variable ended_signal;
  bool ended = false;
  WorkEnd end = WORK_DONE;
  int result = 0;
  GMainLoop *loop = nullptr;
};

gboolean on_work_ended(gpointer data) {
  Shared *shared = static_cast<std::shared_ptr<Shared> *>(data)->get();
  std::lock_guard<std::mutex> hold(shared->lock);
  if (shared->loop) g_main_loop_quit(shared->loop);
  return FALSE;
}

void free_shared(gpointer data) { delete static_cast<std::shared_ptr<Shared> *>(data); }

void run_job(Shared *shared, const std::function<int()> &job) {
  WorkEnd end = WORK_DONE;
  int result = 0;
  try {
    result = job();
  } catch (const std::bad_alloc &) {
    end = WORK_NO_MEMORY;
  }
  std::lock_guard<std::mutex> hold(shared->lock);
  shared->end = end;
  shared->result = result;
  shared->ended = true;
  shared->ended_signal.notify_all();
}

bool is_main_window(GtkWidget *window) {
  return window && g_object_get_data(G_OBJECT(window), "GLADE_XML");
}

bool window_is_open(GtkWidget *window) {
  return GTK_WIDGET_REALIZED(window) && !(GTK_OBJECT_FLAGS(window) & GTK_IN_DESTRUCTION);
}

// The window while its work is shown: insensitive where it could change the
// picture, the command's name and a pulsing bar in the status bar.
class WindowUnderWork {
 public:
  WindowUnderWork(GtkWidget *window, const char *name, WorkClose close)
      : window_(GTK_WIDGET(g_object_ref(window))), close_(close) {
    g_object_set_data(G_OBJECT(window_), kWorkKey, this);
    if (is_main_window(window_)) {
      for (const char *gated : kGatedWidgets)
        if (GtkWidget *widget = lookup_widget(window_, gated)) gate(widget);
      gate(canvas_lookup(window_)->drawing_area);
    }
    bar_ = status_bar_lookup(window_);
    status_bar_begin_progress(bar_, name);
    status_bar_set_progress(bar_, -1);
    pulse_ = g_timeout_add(kPulseMs, on_pulse, this);
  }

  ~WindowUnderWork() {
    g_source_remove(pulse_);
    if (window_is_open(window_)) {
      for (auto &[widget, sensitive] : gated_) gtk_widget_set_sensitive(widget, sensitive);
      status_bar_end_progress(bar_);
    }
    for (auto &gated : gated_) g_object_unref(gated.first);
    g_object_set_data(G_OBJECT(window_), kWorkKey, nullptr);
    g_object_unref(window_);
  }

  WindowUnderWork(const WindowUnderWork &) = delete;
  WindowUnderWork &operator=(const WindowUnderWork &) = delete;

  WorkClose close() const { return close_; }

 private:
  void gate(GtkWidget *widget) {
    gated_.emplace_back(GTK_WIDGET(g_object_ref(widget)), gtk_widget_get_sensitive(widget));
    gtk_widget_set_sensitive(widget, FALSE);
  }

  static gboolean on_pulse(gpointer data) {
    WindowUnderWork *self = static_cast<WindowUnderWork *>(data);
    if (window_is_open(self->window_)) status_bar_set_progress(self->bar_, -1);
    return TRUE;
  }

  GtkWidget *window_;
  WorkClose close_;
  GtkWidget *bar_ = nullptr;
  guint pulse_ = 0;
  std::vector<std::pair<GtkWidget *, gboolean>> gated_;
};

WindowUnderWork *work_of(GtkWidget *widget) {
  if (!widget) return nullptr;
  GtkWidget *window = gtk_widget_get_toplevel(widget);
  return window ? static_cast<WindowUnderWork *>(g_object_get_data(G_OBJECT(window), kWorkKey))
                : nullptr;
}

}  // namespace

WorkEnd work_run(GtkWidget *window, const char *name, WorkClose close,
                 const std::function<int()> &job, int *result) {
  g_object_ref(window);
  auto shared = std::make_shared<Shared>();
  std::thread worker;
  if (!work_of(window)) {
    try {
      worker = std::thread([shared, &job] {
        run_job(shared.get(), job);
        g_idle_add_full(G_PRIORITY_DEFAULT, on_work_ended, new std::shared_ptr<Shared>(shared),
                        free_shared);
      });
    } catch (const std::system_error &) {
    } catch (const std::bad_alloc &) {
    }
  }
  if (!worker.joinable()) run_job(shared.get(), job);

  bool ended;
  {
    std::unique_lock<std::mutex> hold(shared->lock);
    ended = shared->ended_signal.wait_for(hold, std::chrono::milliseconds(grace_ms),
                                          [&] { return shared->ended; });
  }
  if (!ended) {
    WindowUnderWork shown(window, name, close);
    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    {
      std::lock_guard<std::mutex> hold(shared->lock);
      if (!shared->ended) shared->loop = loop;
    }
    // Only this thread dispatches the idle that quits the loop, and only
    // inside the loop: a quit cannot come before the run.
    if (shared->loop) g_main_loop_run(loop);
    {
      std::lock_guard<std::mutex> hold(shared->lock);
      shared->loop = nullptr;
    }
    g_main_loop_unref(loop);
  }
  if (worker.joinable()) worker.join();

  if (result) *result = shared->result;
  WorkEnd end = shared->end;
  if (!window_is_open(window)) end = WORK_CLOSED;
  g_object_unref(window);
  return end;
}

int work_busy(GtkWidget *widget) { return work_of(widget) != nullptr; }

int work_refuses_close(GtkWidget *widget) {
  WindowUnderWork *work = work_of(widget);
  return work && work->close() == WORK_CLOSE_REFUSED;
}

guint work_grace_ms() { return grace_ms; }
void work_set_grace_ms(guint ms) { grace_ms = ms; }

const char *work_command_name(GtkWidget *window, const char *item_name) {
  if (!is_main_window(window)) return "";
  GtkWidget *item = lookup_widget(window, item_name);
  GtkWidget *label = item && GTK_IS_BIN(item) ? gtk_bin_get_child(GTK_BIN(item)) : nullptr;
  return GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "";
}
