#include "imaging/image_transfer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <gdk/gdkx.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/image.h"
#include "imaging/image_private.h"

using namespace image_private;

namespace {

// One segment serves every transfer, a strip of rows at a time: large enough
// that a strip costs far more than its round trip, small enough to cost
// little while idle.  A row of the widest picture X allows (32767 pixels)
// takes an eighth of a half.
constexpr size_t kSegmentBytes = size_t(2) << 20;
// Drawing alternates between the segment's halves: one is filled while the
// server copies the other.
constexpr size_t kHalfBytes = kSegmentBytes / 2;
constexpr int kDepth = 24;
// Pictures with transparency: the alpha byte is kept in the top bits.
constexpr int kAlphaDepth = 32;
constexpr int kBitsPerPixel = 32;
constexpr guint32 kRedMask = 0xFF0000, kGreenMask = 0x00FF00, kBlueMask = 0x0000FF;
constexpr guint32 kAlphaBits = 0xFF000000;
// Any colour whose three samples differ shows a swapped or lost one.
constexpr guint32 kProbePixel = 0xA5C3E1;

struct SharedMemory {
  bool probed = false;
  bool usable = false;  // the server shares this memory with us, in the expected layout
  bool allowed = true;
  Display *xdisplay = nullptr;
  XShmSegmentInfo segment = {};
};

SharedMemory shared;

struct XImageDestroy {
  void operator()(XImage *image) const { XDestroyImage(image); }
};
using XImagePtr = std::unique_ptr<XImage, XImageDestroy>;

inline guint32 swap_red_blue(guint32 v) {
  const guint32 rb = v & 0x00FF00FF;
  return (v & 0xFF00FF00) | (rb >> 16) | (rb << 16);
}

#if defined(__SSE2__)
inline __m128i swap_red_blue(__m128i v) {
  const __m128i rb = _mm_and_si128(v, _mm_set1_epi32(0x00FF00FF));
  return _mm_or_si128(_mm_and_si128(v, _mm_set1_epi32(static_cast<int>(0xFF00FF00))),
                      _mm_or_si128(_mm_srli_epi32(rb, 16), _mm_slli_epi32(rb, 16)));
}
#endif

// X pixels and RGBA bytes differ only in the order of red and blue (read as
// little-endian words): one swap serves both directions, with alpha forced
// on where the drawable has none.
void swap_words(const guchar *src, guchar *dst, int count, guint32 force) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i forced = _mm_set1_epi32(static_cast<int>(force));
  constexpr int kWordsPerVector = 4;
  for (; i + 2 * kWordsPerVector <= count; i += 2 * kWordsPerVector) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i * 4));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i * 4 + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i * 4),
                     _mm_or_si128(swap_red_blue(a), forced));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i * 4 + 16),
                     _mm_or_si128(swap_red_blue(b), forced));
  }
#endif
  for (; i < count; i++) {
    guint32 v;
    memcpy(&v, src + i * 4, 4);
    v = swap_red_blue(v) | force;
    memcpy(dst + i * 4, &v, 4);
  }
}

bool little_endian_host() { return G_BYTE_ORDER == G_LITTLE_ENDIAN; }

// The layout of drawable's pixels as visual describes them, when a transfer
// can carry it.
bool layout_of(GdkDrawable *drawable, GdkVisual *visual, TransferLayout *layout) {
  if (!visual || !little_endian_host()) return false;
  guint32 red = 0, green = 0, blue = 0;
  gdk_visual_get_red_pixel_details(visual, &red, nullptr, nullptr);
  gdk_visual_get_green_pixel_details(visual, &green, nullptr, nullptr);
  gdk_visual_get_blue_pixel_details(visual, &blue, nullptr, nullptr);
  if (gdk_visual_get_visual_type(visual) != GDK_VISUAL_TRUE_COLOR || red != kRedMask ||
      green != kGreenMask || blue != kBlueMask)
    return false;
  const int depth = gdk_drawable_get_depth(drawable);
  if (gdk_visual_get_depth(visual) != depth) return false;
  if (depth == kDepth) {
    *layout = TransferLayout::kOpaque;
    return true;
  }
  if (depth == kAlphaDepth) {
    *layout = TransferLayout::kAlpha;
    return true;
  }
  return false;
}

void detach(Display *xdisplay, XShmSegmentInfo *segment) {
  gdk_error_trap_push();
  XShmDetach(xdisplay, segment);
  XSync(xdisplay, False);
  gdk_error_trap_pop();
  shmdt(segment->shmaddr);
  *segment = XShmSegmentInfo{};
}

// Whether the server really writes into our memory, 32 bits a pixel in our
// byte order: a remote server may accept the segment's number and attach a
// segment of its own machine.
bool server_shares(Display *xdisplay, XShmSegmentInfo *segment) {
  Window root = DefaultRootWindow(xdisplay);
  Visual *visual = DefaultVisual(xdisplay, DefaultScreen(xdisplay));
  if (DefaultDepth(xdisplay, DefaultScreen(xdisplay)) != kDepth) return false;
  XImagePtr image(XShmCreateImage(xdisplay, visual, kDepth, ZPixmap, segment->shmaddr, segment,
                                  1, 1));
  if (!image || image->bits_per_pixel != kBitsPerPixel || image->byte_order != LSBFirst)
    return false;
  memset(segment->shmaddr, 0, 4);
  gdk_error_trap_push();
  Pixmap pixmap = XCreatePixmap(xdisplay, root, 1, 1, kDepth);
  GC gc = XCreateGC(xdisplay, pixmap, 0, nullptr);
  XSetForeground(xdisplay, gc, kProbePixel);
  XFillRectangle(xdisplay, pixmap, gc, 0, 0, 1, 1);
  Status got = XShmGetImage(xdisplay, pixmap, image.get(), 0, 0, AllPlanes);
  XFreeGC(xdisplay, gc);
  XFreePixmap(xdisplay, pixmap);
  XSync(xdisplay, False);
  if (gdk_error_trap_pop() != 0 || !got) return false;
  guint32 pixel;
  memcpy(&pixel, segment->shmaddr, 4);
  return (pixel & ~kAlphaBits) == kProbePixel;
}

// Makes the segment and has the server attach it, once for the process.
bool attach_segment() {
  Display *xdisplay = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  int major = 0, minor = 0;
  Bool pixmaps = False;
  if (!XShmQueryVersion(xdisplay, &major, &minor, &pixmaps)) return false;
  int id = shmget(IPC_PRIVATE, kSegmentBytes, IPC_CREAT | 0600);
  if (id < 0) return false;
  void *address = shmat(id, nullptr, 0);
  if (address == reinterpret_cast<void *>(-1)) {
    shmctl(id, IPC_RMID, nullptr);
    return false;
  }
  XShmSegmentInfo segment = {};
  segment.shmid = id;
  segment.shmaddr = static_cast<char *>(address);
  segment.readOnly = False;
  gdk_error_trap_push();
  Status attached = XShmAttach(xdisplay, &segment);
  XSync(xdisplay, False);
  attached = gdk_error_trap_pop() == 0 && attached;
  // Removed as soon as both sides hold it: it goes with the last detach,
  // however the program ends.
  shmctl(id, IPC_RMID, nullptr);
  if (!attached) {
    shmdt(address);
    return false;
  }
  if (!server_shares(xdisplay, &segment)) {
    detach(xdisplay, &segment);
    return false;
  }
  shared.xdisplay = xdisplay;
  shared.segment = segment;
  return true;
}

// True when transfers with drawable may go through the shared segment.
bool ready(GdkDrawable *drawable) {
  if (!shared.allowed) return false;
  if (gdk_drawable_get_display(drawable) != gdk_display_get_default()) return false;
  if (!shared.probed) {
    shared.probed = true;
    shared.usable = attach_segment();
  }
  return shared.usable;
}

// A strip's worth of the segment, from offset on, as an image of width
// pixels: as many rows as fit in bytes.
XImagePtr strip_image(GdkVisual *visual, int width, size_t offset, size_t bytes, int *rows) {
  XImagePtr image(XShmCreateImage(shared.xdisplay, gdk_x11_visual_get_xvisual(visual),
                                  static_cast<unsigned>(gdk_visual_get_depth(visual)),
                                  ZPixmap, shared.segment.shmaddr + offset, &shared.segment,
                                  static_cast<unsigned>(width), 1));
  if (!image || image->bits_per_pixel != kBitsPerPixel || image->bytes_per_line <= 0) return {};
  *rows = static_cast<int>(bytes / static_cast<size_t>(image->bytes_per_line));
  if (*rows < 1) return {};
  image->height = *rows;
  return image;
}

bool is_root_window(GdkDrawable *drawable) {
  return GDK_IS_WINDOW(drawable) &&
         gdk_window_get_window_type(GDK_WINDOW(drawable)) == GDK_WINDOW_ROOT;
}

bool inside(GdkDrawable *drawable, int x, int y, int width, int height) {
  int w = 0, h = 0;
  gdk_drawable_get_size(drawable, &w, &h);
  return width > 0 && height > 0 && x >= 0 && y >= 0 && width <= w - x && height <= h - y;
}

Display *xdisplay_of(GdkDrawable *drawable) {
  return GDK_DISPLAY_XDISPLAY(gdk_drawable_get_display(drawable));
}

// Without shared memory, a drawable with alpha still needs its alpha byte,
// which GdkRGB and GdkPixbuf drop: plain images carry it, a strip at a time.
bool read_plain(GdkDrawable *drawable, const GdkRectangle &area, GdkPixbuf *dest) {
  Display *xdisplay = xdisplay_of(drawable);
  const Drawable xid = gdk_x11_drawable_get_xid(drawable);
  const int rows = std::max<int>(1, static_cast<int>(kHalfBytes / (size_t(area.width) * 4)));
  bool ok = true;
  gdk_error_trap_push();
  for (int y = 0; y < area.height && ok; y += rows) {
    const int n = std::min(rows, area.height - y);
    XImagePtr strip(XGetImage(xdisplay, xid, area.x, area.y + y, static_cast<unsigned>(area.width),
                              static_cast<unsigned>(n), AllPlanes, ZPixmap));
    ok = strip && strip->bits_per_pixel == kBitsPerPixel && strip->byte_order == LSBFirst;
    for (int r = 0; ok && r < n; r++)
      image_transfer_pixels_to_rgba(
          reinterpret_cast<const guint32 *>(strip->data + r * strip->bytes_per_line),
          row_of(dest, y + r), area.width, TransferLayout::kAlpha);
  }
  XSync(xdisplay, False);
  return gdk_error_trap_pop() == 0 && ok;
}

bool draw_plain(GdkDrawable *pixmap, GdkVisual *visual, GdkGC *gc, GdkPixbuf *src, int src_x,
                int src_y, int dest_x, int dest_y, int width, int height) {
  Display *xdisplay = xdisplay_of(pixmap);
  const int channels = gdk_pixbuf_get_n_channels(src);
  const int rows = std::max<int>(1, static_cast<int>(kHalfBytes / (size_t(width) * 4)));
  std::unique_ptr<guint32[]> words(new (std::nothrow) guint32[size_t(width) * rows]);
  if (!words) return false;
  gdk_error_trap_push();
  for (int y = 0; y < height; y += rows) {
    const int n = std::min(rows, height - y);
    for (int r = 0; r < n; r++)
      image_transfer_rgba_to_pixels(row_of(src, src_y + y + r) + src_x * channels, channels,
                                    words.get() + size_t(r) * width, width);
    XImage *strip = XCreateImage(xdisplay, gdk_x11_visual_get_xvisual(visual), kAlphaDepth,
                                 ZPixmap, 0, reinterpret_cast<char *>(words.get()),
                                 static_cast<unsigned>(width), static_cast<unsigned>(n), 32,
                                 width * 4);
    if (!strip) break;
    strip->byte_order = LSBFirst;
    XPutImage(xdisplay, gdk_x11_drawable_get_xid(pixmap), gdk_x11_gc_get_xgc(gc), strip, 0, 0,
              dest_x, dest_y + y, static_cast<unsigned>(width), static_cast<unsigned>(n));
    strip->data = nullptr;  // the words are ours
    XDestroyImage(strip);
  }
  XSync(xdisplay, False);
  return gdk_error_trap_pop() == 0;
}

}  // namespace

void image_transfer_pixels_to_rgba(const guint32 *pixels, guchar *rgba, int count,
                                   TransferLayout layout) {
  swap_words(reinterpret_cast<const guchar *>(pixels), rgba, count,
             layout == TransferLayout::kOpaque ? kAlphaBits : 0);
}

void image_transfer_rgba_to_pixels(const guchar *rgba, int channels, guint32 *pixels, int count) {
  if (channels == kRgbaChannels) {
    swap_words(rgba, reinterpret_cast<guchar *>(pixels), count, 0);
    return;
  }
  for (int i = 0; i < count; i++, rgba += channels)
    pixels[i] = kAlphaBits | guint32(rgba[0]) << 16 | guint32(rgba[1]) << 8 | rgba[2];
}

bool image_transfer_read(GdkDrawable *drawable, GdkColormap *colormap, const GdkRectangle &area,
                         GdkPixbuf *dest) {
  if (!colormap || !(GDK_IS_PIXMAP(drawable) || is_root_window(drawable))) return false;
  if (!inside(drawable, area.x, area.y, area.width, area.height)) return false;
  GdkVisual *visual = gdk_colormap_get_visual(colormap);
  TransferLayout layout;
  if (!layout_of(drawable, visual, &layout)) return false;
  const bool plain = layout == TransferLayout::kAlpha;
  if (!ready(drawable)) return plain && read_plain(drawable, area, dest);
  int rows = 0;
  XImagePtr strip = strip_image(visual, area.width, 0, kSegmentBytes, &rows);
  if (!strip) return plain && read_plain(drawable, area, dest);

  const Drawable xid = gdk_x11_drawable_get_xid(drawable);
  const size_t line = static_cast<size_t>(strip->bytes_per_line);
  bool ok = true;
  gdk_error_trap_push();
  for (int y = 0; y < area.height && ok; y += rows) {
    strip->height = std::min(rows, area.height - y);
    ok = XShmGetImage(shared.xdisplay, xid, strip.get(), area.x, area.y + y, AllPlanes);
    for (int r = 0; ok && r < strip->height; r++)
      image_transfer_pixels_to_rgba(
          reinterpret_cast<const guint32 *>(strip->data + r * line), row_of(dest, y + r),
          area.width, layout);
  }
  XSync(shared.xdisplay, False);
  if (gdk_error_trap_pop() != 0) ok = false;
  return ok;
}

bool image_transfer_draw(GdkDrawable *pixmap, GdkGC *gc, GdkPixbuf *src, int src_x, int src_y,
                         int dest_x, int dest_y, int width, int height) {
  if (!GDK_IS_PIXMAP(pixmap) || !inside(pixmap, dest_x, dest_y, width, height)) return false;
  GdkColormap *colormap = gdk_drawable_get_colormap(pixmap);
  GdkVisual *visual = colormap ? gdk_colormap_get_visual(colormap) : nullptr;
  TransferLayout layout;
  if (!layout_of(pixmap, visual, &layout)) return false;
  const int channels = gdk_pixbuf_get_n_channels(src);
  if (gdk_pixbuf_get_bits_per_sample(src) != BITS_PER_SAMPLE || channels < 3) return false;
  const bool plain = layout == TransferLayout::kAlpha;
  if (!ready(pixmap))
    return plain && draw_plain(pixmap, visual, gc, src, src_x, src_y, dest_x, dest_y, width, height);
  int rows = 0;
  XImagePtr halves[2];
  for (int k = 0; k < 2; k++) {
    halves[k] = strip_image(visual, width, k * kHalfBytes, kHalfBytes, &rows);
    if (!halves[k])
      return plain &&
             draw_plain(pixmap, visual, gc, src, src_x, src_y, dest_x, dest_y, width, height);
  }

  const Drawable xid = gdk_x11_drawable_get_xid(pixmap);
  GC xgc = gdk_x11_gc_get_xgc(gc);
  gdk_error_trap_push();
  for (int y = 0, k = 0; y < height; y += rows, k ^= 1) {
    XImage *strip = halves[k].get();
    const int n = std::min(rows, height - y);
    const size_t line = static_cast<size_t>(strip->bytes_per_line);
    for (int r = 0; r < n; r++)
      image_transfer_rgba_to_pixels(row_of(src, src_y + y + r) + src_x * channels, channels,
                                    reinterpret_cast<guint32 *>(strip->data + r * line), width);
    // The other half's copy must be over before it is filled next; this
    // half was filled while the server was copying it.
    if (y > 0) XSync(shared.xdisplay, False);
    XShmPutImage(shared.xdisplay, xid, xgc, strip, 0, 0, dest_x, dest_y + y,
                 static_cast<unsigned>(width), static_cast<unsigned>(n), False);
    XFlush(shared.xdisplay);
  }
  // Waits for the last copy too: the caller may change the image next.
  XSync(shared.xdisplay, False);
  return gdk_error_trap_pop() == 0;
}

gboolean image_use_shared_memory(gboolean allow) {
  shared.allowed = allow;
  return allow && ready(gdk_get_default_root_window());
}
