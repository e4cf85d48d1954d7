// What an end-to-end test needs to act as a user outside the program:
// commands (xdotool, xclip, cmake) and child processes from the harness,
// waiting on conditions, and pictures read from the screen, files and the
// clipboard.
#pragma once

#include <X11/Xlib.h>
#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/harness/process.h"

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

using vorpix_test::CommandResult;
using vorpix_test::run_command;

inline std::string join(const std::vector<std::string> &argv) {
  std::string s;
  for (const std::string &a : argv) s += (s.empty() ? "" : " ") + a;
  return s;
}

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
