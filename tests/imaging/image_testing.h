// Helpers shared by the image module's tests.
#pragma once

#include <glib.h>

#include <array>
#include <string>
#include <vector>

#include "imaging/image.h"

namespace image_testing {

using Rgba = std::array<guchar, 4>;

// A pixel of either layout; three-channel pixels read as opaque.
inline Rgba pixel_at(const VorpixImage *image, int x, int y) {
  const guchar *p = image_pixels(image) + y * image_rowstride(image) + x * image_pixelsize(image);
  return {p[0], p[1], p[2], image_pixelsize(image) == 4 ? p[3] : guchar(255)};
}

inline void set_pixel(VorpixImage *image, int x, int y, Rgba c) {
  guchar *p = image_pixels(image) + y * image_rowstride(image) + x * image_pixelsize(image);
  for (int k = 0; k < image_pixelsize(image); k++) p[k] = c[k];
}

// Collects the warnings and critical warnings of the default domain while alive.
class WarningCapture {
 public:
  WarningCapture() {
    id_ = g_log_set_handler(nullptr, GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL),
                            on_log, this);
  }
  ~WarningCapture() { g_log_remove_handler(nullptr, id_); }
  WarningCapture(const WarningCapture &) = delete;
  WarningCapture &operator=(const WarningCapture &) = delete;
  const std::vector<std::string> &messages() const { return messages_; }

 private:
  static void on_log(const gchar *, GLogLevelFlags, const gchar *message, gpointer data) {
    static_cast<WarningCapture *>(data)->messages_.push_back(message);
  }
  guint id_;
  std::vector<std::string> messages_;
};

}  // namespace image_testing
