// The pixel memory of the images the program makes.  The memory of a large
// image is kept for a few seconds after the image is freed and handed to
// the next image of the same size: a whole-picture command then writes into
// pages that are already mapped, where fresh ones would cost more to fault
// in (64 MiB at 4096 x 4096) than the transfer that fills them.
#include <cstring>

#include "imaging/image_private.h"

namespace {

// Smaller blocks come back from the C library's own heap warm anyway.
constexpr gsize kKeptMinBytes = gsize(4) << 20;
// A command's source and its result.
constexpr int kKeptBlocks = 2;
constexpr guint kKeepSeconds = 10;
constexpr gint64 kKeepMicroseconds = gint64(kKeepSeconds) * G_USEC_PER_SEC;

struct KeptBlock {
  guchar *data;
  gsize bytes;
  gint64 freed_at;  // monotonic time
};

// Images may be freed on any thread.
GMutex kept_lock;
KeptBlock kept[kKeptBlocks];
bool release_armed = false;

// With kept_lock held.
guchar *take_kept(gsize bytes) {
  for (KeptBlock &block : kept)
    if (block.data && block.bytes == bytes) {
      guchar *data = block.data;
      block = KeptBlock{};
      return data;
    }
  return nullptr;
}

// With kept_lock held; true when anything was released.
bool release_kept(gint64 older_than) {
  bool released = false;
  for (KeptBlock &block : kept)
    if (block.data && block.freed_at <= older_than) {
      g_free(block.data);
      block = KeptBlock{};
      released = true;
    }
  return released;
}

gboolean on_release_timeout(gpointer) {
  g_mutex_lock(&kept_lock);
  release_kept(g_get_monotonic_time() - kKeepMicroseconds);
  bool any = false;
  for (const KeptBlock &block : kept) any = any || block.data;
  release_armed = any;
  g_mutex_unlock(&kept_lock);
  return any ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void give_pixels(guchar *data, gpointer size) {
  const gsize bytes = GPOINTER_TO_SIZE(size);
  if (bytes < kKeptMinBytes) {
    g_free(data);
    return;
  }
  g_mutex_lock(&kept_lock);
  KeptBlock *slot = &kept[0];
  for (KeptBlock &block : kept)
    if (!block.data || (slot->data && block.freed_at < slot->freed_at)) slot = &block;
  g_free(slot->data);
  *slot = KeptBlock{data, bytes, g_get_monotonic_time()};
  if (!release_armed) {
    release_armed = true;
    g_timeout_add_seconds(kKeepSeconds, on_release_timeout, nullptr);
  }
  g_mutex_unlock(&kept_lock);
}

guchar *take_pixels(gsize bytes, bool zeroed) {
  if (bytes >= kKeptMinBytes) {
    g_mutex_lock(&kept_lock);
    guchar *data = take_kept(bytes);
    g_mutex_unlock(&kept_lock);
    if (data) {
      if (zeroed) memset(data, 0, bytes);
      return data;
    }
  }
  // Fresh pages come zeroed from the system: clearing a large block is free.
  auto allocate = [&] {
    return static_cast<guchar *>(zeroed ? g_try_malloc0(bytes) : g_try_malloc(bytes));
  };
  guchar *data = allocate();
  if (!data) {
    g_mutex_lock(&kept_lock);
    bool released = release_kept(G_MAXINT64);
    g_mutex_unlock(&kept_lock);
    if (released) data = allocate();
  }
  return data;
}

GdkPixbuf *rgba_pixbuf(int width, int height, bool zeroed) {
  g_return_val_if_fail(width > 0 && height > 0, nullptr);
  if (width > G_MAXINT / image_private::kRgbaChannels) return nullptr;
  const int rowstride = width * image_private::kRgbaChannels;
  const gsize bytes = static_cast<gsize>(rowstride) * static_cast<gsize>(height);
  // GDK 2 computes offsets into a buffer in int: a larger one would be read
  // far outside itself.
  if (bytes > static_cast<gsize>(G_MAXINT)) return nullptr;
  guchar *pixels = take_pixels(bytes, zeroed);
  if (!pixels) return nullptr;
  return gdk_pixbuf_new_from_data(pixels, GDK_COLORSPACE_RGB, TRUE, BITS_PER_SAMPLE, width,
                                  height, rowstride, give_pixels, GSIZE_TO_POINTER(bytes));
}

}  // namespace

namespace image_private {

GdkPixbuf *try_new_rgba_pixbuf(int width, int height) {
  return rgba_pixbuf(width, height, true);
}

GdkPixbuf *try_new_rgba_pixbuf_unfilled(int width, int height) {
  return rgba_pixbuf(width, height, false);
}

}  // namespace image_private

void image_release_kept_memory() {
  g_mutex_lock(&kept_lock);
  release_kept(G_MAXINT64);
  g_mutex_unlock(&kept_lock);
}
