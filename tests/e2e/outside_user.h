// What an end-to-end test needs to act as a user outside the program: running
// commands (xdotool, xclip, cmake) with a time limit, a child process that is
// always killed when the test leaves early, waiting on conditions, and
// pictures read from the screen, files and the clipboard.
#pragma once

#include <X11/Xlib.h>
#include <fcntl.h>
#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vorpix_e2e {

using Clock = std::chrono::steady_clock;

// Every wait of the test: generous for a loaded machine, short enough that a
// broken step fails quickly.
constexpr int kWaitMs = 5000;
constexpr int kPollMs = 20;

// Polls cond until it holds or timeout_ms passed; returns whether it held.
template <class Cond>
bool wait_until(Cond cond, int timeout_ms = kWaitMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (cond()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
}

struct CommandResult {
  bool finished = false;  // false: it was killed at the time limit
  int status = -1;        // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
  bool ok() const { return finished && status == 0; }
};

inline std::string join(const std::vector<std::string> &argv) {
  std::string s;
  for (const std::string &a : argv) s += (s.empty() ? "" : " ") + a;
  return s;
}

namespace detail {

inline std::vector<char *> c_argv(const std::vector<std::string> &argv) {
  std::vector<char *> v;
  for (const std::string &a : argv) v.push_back(const_cast<char *>(a.c_str()));
  v.push_back(nullptr);
  return v;
}

// Reaps pid, killing it first when it is still running at the deadline.
inline int reap(pid_t pid, Clock::time_point deadline, bool *finished) {
  int status = 0;
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0) {
      *finished = false;
      return -1;
    }
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      *finished = false;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  *finished = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace detail

// Runs argv (searched on PATH) with its output captured; a command still
// running after timeout_ms is killed.
inline CommandResult run_command(const std::vector<std::string> &argv, int timeout_ms = kWaitMs) {
  CommandResult result;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return result;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return result;
  }
  std::vector<char *> args = detail::c_argv(argv);
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(out[0]);
    close(err[0]);
    return result;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string *sinks[2] = {&result.out, &result.err};
  int open_fds = 2;
  while (open_fds > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int i = 0; i < 2; i++) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[65536];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        open_fds--;
      }
    }
  }
  for (pollfd &p : fds)
    if (p.fd >= 0) close(p.fd);
  result.status = detail::reap(pid, deadline, &result.finished);
  return result;
}

// A program started by the test with its own environment, working directory
// and output file; killed and reaped when the object goes, unless it already
// exited.
class Child {
 public:
  Child() = default;
  Child(const Child &) = delete;
  Child &operator=(const Child &) = delete;
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // Starts argv[0] (an absolute path); stdout and stderr go to log_path.
  bool start(const std::vector<std::string> &argv, const std::vector<std::string> &environment,
             const std::string &cwd, const std::string &log_path) {
    std::vector<char *> args = detail::c_argv(argv);
    std::vector<char *> env = detail::c_argv(environment);
    int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0) return false;
    pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      int null = open("/dev/null", O_RDONLY);
      if (null >= 0) dup2(null, STDIN_FILENO);
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
      if (chdir(cwd.c_str()) != 0) _exit(126);
      execve(args[0], args.data(), env.data());
      _exit(127);
    }
    close(log);
    if (pid < 0) return false;
    pid_ = pid;
    return true;
  }

  pid_t pid() const { return pid_; }

  // True once the process has exited (it is then reaped).
  bool exited() {
    if (pid_ <= 0) return false;
    if (reaped_) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    reaped_ = true;
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return true;
  }
  int exit_status() const { return exit_status_; }  // -1 unless it exited normally
  int signal() const { return signal_; }            // the signal that ended it, or 0

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int exit_status_ = -1;
  int signal_ = 0;
};

// An opaque-or-not picture as 0xAARRGGBB values, row by row.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<guint32> pixels;

  Picture() = default;
  Picture(int w, int h, guint32 fill) : width(w), height(h), pixels(size_t(w) * h, fill) {}

  guint32 &at(int x, int y) { return pixels[size_t(y) * width + x]; }
  guint32 at(int x, int y) const { return pixels[size_t(y) * width + x]; }
  bool empty() const { return width == 0 || height == 0; }

  // A copy of the rectangle (x, y, w, h), which must lie inside.
  Picture crop(int x, int y, int w, int h) const {
    Picture p(w, h, 0);
    for (int j = 0; j < h; j++)
      for (int i = 0; i < w; i++) p.at(i, j) = at(x + i, y + j);
    return p;
  }
};

constexpr guint32 kOpaque = 0xff000000u;

inline Picture from_pixbuf(GdkPixbuf *pixbuf) {
  Picture p;
  if (!pixbuf || gdk_pixbuf_get_bits_per_sample(pixbuf) != 8) return p;
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  if (channels != (alpha ? 4 : 3)) return p;
  p = Picture(gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf), 0);
  const guchar *pixels = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < p.height; y++) {
    const guchar *row = pixels + size_t(y) * stride;
    for (int x = 0; x < p.width; x++) {
      const guchar *s = row + size_t(x) * channels;
      guint32 a = alpha ? s[3] : 0xff;
      p.at(x, y) = a << 24 | guint32(s[0]) << 16 | guint32(s[1]) << 8 | s[2];
    }
  }
  return p;
}

// Decodes image file data of any format the pixel-buffer library reads; an
// empty picture when it cannot.
inline Picture decode(const std::string &data) {
  GdkPixbufLoader *loader = gdk_pixbuf_loader_new();
  bool ok = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar *>(data.data()),
                                    data.size(), nullptr);
  ok = gdk_pixbuf_loader_close(loader, nullptr) && ok;
  Picture p = ok ? from_pixbuf(gdk_pixbuf_loader_get_pixbuf(loader)) : Picture();
  g_object_unref(loader);
  return p;
}

inline Picture read_file(const std::string &path) {
  gchar *data = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &data, &length, nullptr)) return Picture();
  Picture p = decode(std::string(data, length));
  g_free(data);
  return p;
}

inline bool write_png(const Picture &p, const std::string &path) {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, p.width, p.height);
  guchar *pixels = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < p.height; y++)
    for (int x = 0; x < p.width; x++) {
      guchar *d = pixels + size_t(y) * stride + size_t(x) * 3;
      guint32 c = p.at(x, y);
      d[0] = c >> 16 & 0xff;
      d[1] = c >> 8 & 0xff;
      d[2] = c & 0xff;
    }
  bool ok = gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixbuf);
  return ok;
}

inline std::string hex(guint32 c) {
  char s[16];
  snprintf(s, sizeof s, "%08x", c);
  return s;
}

// Same size and the same pixels; the failure says where they first differ.
inline ::testing::AssertionResult same_picture(const Picture &got, const Picture &want) {
  if (got.width != want.width || got.height != want.height)
    return ::testing::AssertionFailure() << "size " << got.width << "x" << got.height
                                         << ", expected " << want.width << "x" << want.height;
  size_t wrong = 0;
  int fx = -1, fy = -1;
  for (int y = 0; y < want.height; y++)
    for (int x = 0; x < want.width; x++)
      if (got.at(x, y) != want.at(x, y) && wrong++ == 0) {
        fx = x;
        fy = y;
      }
  if (wrong == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << wrong << " pixels differ; the first at (" << fx << ", " << fy << "): "
         << hex(got.at(fx, fy)) << ", expected " << hex(want.at(fx, fy));
}

// The screen's pixels in (x, y, w, h), read from the root window as any X
// client can (XGetImage), opaque.
inline Picture capture_screen(int x, int y, int w, int h) {
  GdkWindow *root = gdk_get_default_root_window();
  GdkPixbuf *pixbuf = gdk_pixbuf_get_from_drawable(
      nullptr, root, gdk_screen_get_system_colormap(gdk_screen_get_default()), x, y, 0, 0, w, h);
  Picture p = from_pixbuf(pixbuf);
  if (pixbuf) g_object_unref(pixbuf);
  return p;
}

// The top-level windows of the screen that are mapped and viewable now
// (popup menus and dialogs appear here as new members).
inline std::set<Window> viewable_toplevels() {
  std::set<Window> result;
  Display *display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
  unsigned count = 0;
  gdk_error_trap_push();
  if (XQueryTree(display, root, &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count; i++) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display, children[i], &attributes) &&
          attributes.map_state == IsViewable)
        result.insert(children[i]);
    }
    if (children) XFree(children);
  }
  gdk_flush();
  gdk_error_trap_pop();
  return result;
}

}  // namespace vorpix_e2e
