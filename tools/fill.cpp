#include "tools/fill.h"

#include <glib/gi18n.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/history.h"
#include "document/size_dialogs.h"
#include "imaging/image.h"
#include "panels/color_palette.h"

namespace {


void fill_destroy(VorpixTool *tool) {
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  g_free(tool);
}

void tell_no_memory(VorpixTool *tool) {
  GtkWidget *toplevel = tool->canvas ? tool->canvas->toplevel : nullptr;
  size_dialog_show_no_memory_soon(GTK_IS_WINDOW(toplevel) ? GTK_WINDOW(toplevel) : nullptr,
                                  _("fill the area"));
}

void fill_button_press(VorpixTool *tool, int x, int y) {
  VorpixDrawing *drawing = tool->drawing;
  VorpixImage *image = drawing_create_image(drawing);
  // Without memory for the picture's copy nothing can be filled, and nothing is.
  if (!image) {
    tell_no_memory(tool);
    return;
  }

  GdkGCValues values = {};
  gdk_gc_get_values(drawing->gc, &values);
  guint8 r, g, b;
  convert_color(&values.foreground, &r, &g, &b);
  GdkRectangle changed = {0, 0, 0, 0};
  const FillResult result = fill_image(image, x, y, r, g, b, &changed);

  // Only the filled rectangle differs from the picture.
  if (result == FILL_DONE)
    image_draw_region_on_pixmap(image, changed, &drawing->backing_pixmap, drawing_paint_gc(drawing));
  image_free(image);
  if (result == FILL_NO_MEMORY) {
    tell_no_memory(tool);
    return;
  }
  if (result == FILL_DONE) {
    drawing_modified_area(drawing, changed);
  } else {
    // The same picture: marked modified, but nothing to undo or to show.
    HistoryUnchanged same(tool->canvas);
    drawing_modified_area(drawing, GdkRectangle{0, 0, 0, 0});
  }
}

// The pixel tests of the fill for kBpp bytes a pixel: only the first three
// bytes are compared and written.  Four-byte pixels go through one masked
// word each; the mask is built from bytes, so byte order does not matter.
template <int kBpp>
struct PixelOps;

template <>
struct PixelOps<4> {
  guint32 mask, old_rgb, new_rgb;
  PixelOps(const guchar *old_pixel, guint8 r, guint8 g, guint8 b) {
    const guchar mask_bytes[4] = {0xFF, 0xFF, 0xFF, 0x00};
    const guchar old_bytes[4] = {old_pixel[0], old_pixel[1], old_pixel[2], 0};
    const guchar new_bytes[4] = {r, g, b, 0};
    memcpy(&mask, mask_bytes, 4);
    memcpy(&old_rgb, old_bytes, 4);
    memcpy(&new_rgb, new_bytes, 4);
  }
  bool matches(const guchar *p) const {
    guint32 w;
    memcpy(&w, p, 4);
    return (w & mask) == old_rgb;
  }
  void paint(guchar *p) const {
    guint32 w;
    memcpy(&w, p, 4);
    w = (w & ~mask) | new_rgb;
    memcpy(p, &w, 4);
  }
};

template <>
struct PixelOps<3> {
  guchar old_r, old_g, old_b, new_r, new_g, new_b;
  PixelOps(const guchar *old_pixel, guint8 r, guint8 g, guint8 b)
      : old_r(old_pixel[0]), old_g(old_pixel[1]), old_b(old_pixel[2]), new_r(r), new_g(g),
        new_b(b) {}
  bool matches(const guchar *p) const { return p[0] == old_r && p[1] == old_g && p[2] == old_b; }
  void paint(guchar *p) const {
    p[0] = new_r;
    p[1] = new_g;
    p[2] = new_b;
  }
};

// The region is found on bit rows: bit x of a row's match word w stands for
// pixel 64 * w + x.  Runs of matching pixels are numbered row by row, and a
// run is named by its row's base number plus the count of run starts before
// it, so no run needs to be stored.
constexpr int kWordBits = 64;

struct BitRow {
  std::vector<guint64> match;   // matching pixels
  std::vector<guint64> starts;  // the first pixel of each run
  std::vector<gint32> rank;     // runs starting before each word
  gint32 base = 0;              // number of the row's first run
};

inline guint64 bits_upto(int bit) { return ~guint64(0) >> (kWordBits - 1 - bit); }

// Number of the run that contains pixel x (which matches).
inline gint32 run_at(const BitRow &row, int x) {
  const int w = x / kWordBits;
  return row.base + row.rank[w] +
         __builtin_popcountll(row.starts[w] & bits_upto(x % kWordBits)) - 1;
}

template <int kBpp>
guint64 match_word(const guchar *p, int n, const PixelOps<kBpp> &ops) {
  guint64 m = 0;
  for (int i = 0; i < n; i++, p += kBpp) m |= guint64(ops.matches(p)) << i;
  return m;
}

#if defined(__SSE2__)
template <>
guint64 match_word<4>(const guchar *p, int n, const PixelOps<4> &ops) {
  const __m128i mask = _mm_set1_epi32(static_cast<int>(ops.mask));
  const __m128i old = _mm_set1_epi32(static_cast<int>(ops.old_rgb));
  guint64 m = 0;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i * 4));
    const __m128i eq = _mm_cmpeq_epi32(_mm_and_si128(v, mask), old);
    m |= guint64(_mm_movemask_ps(_mm_castsi128_ps(eq))) << i;
  }
  for (; i < n; i++) m |= guint64(ops.matches(p + i * 4)) << i;
  return m;
}
#endif

template <int kBpp>
void scan_row(const guchar *pixels, int width, const PixelOps<kBpp> &ops, BitRow &row,
              gint32 base) {
  const int words = static_cast<int>(row.match.size());
  row.base = base;
  guint64 carry = 0;  // the last pixel of the previous word
  int runs = 0;
  for (int w = 0; w < words; w++) {
    const int first = w * kWordBits;
    const int n = width - first < kWordBits ? width - first : kWordBits;
    const guint64 m = match_word<kBpp>(pixels + static_cast<size_t>(first) * kBpp, n, ops);
    row.match[w] = m;
    row.starts[w] = m & ~((m << 1) | carry);
    row.rank[w] = runs;
    runs += __builtin_popcountll(row.starts[w]);
    carry = m >> (kWordBits - 1);
  }
  row.rank[words] = runs;
}

// Root of run i.  A parent never has a higher number than its child, and
// halving the path keeps it so.
inline gint32 find_root(gint32 *parent, gint32 i) {
  while (parent[i] != i) {
    parent[i] = parent[parent[i]];
    i = parent[i];
  }
  return i;
}

inline void unite(gint32 *parent, gint32 a, gint32 b) {
  a = find_root(parent, a);
  b = find_root(parent, b);
  if (a < b)
    parent[b] = a;
  else if (b < a)
    parent[a] = b;
}

// Joins every run of row below with the runs of row above it overlaps: each
// stretch where both rows match joins exactly one such pair.
void join_rows(const BitRow &above, const BitRow &below, gint32 *parent) {
  const int words = static_cast<int>(above.match.size());
  guint64 carry = 0;
  for (int w = 0; w < words; w++) {
    const guint64 both = above.match[w] & below.match[w];
    guint64 stretch_starts = both & ~((both << 1) | carry);
    carry = both >> (kWordBits - 1);
    while (stretch_starts) {
      const int x = w * kWordBits + __builtin_ctzll(stretch_starts);
      stretch_starts &= stretch_starts - 1;
      unite(parent, run_at(above, x), run_at(below, x));
    }
  }
}

// The rectangle around what a fill painted.
struct Extent {
  int left = G_MAXINT, top = G_MAXINT, right = -1, bottom = -1;  // inclusive

  void add(int y, int from, int to) {
    left = std::min(left, from);
    right = std::max(right, to);
    top = std::min(top, y);
    bottom = std::max(bottom, y);
  }
  GdkRectangle rectangle() const {
    if (right < 0) return GdkRectangle{0, 0, 0, 0};
    return GdkRectangle{left, top, right - left + 1, bottom - top + 1};
  }
};

// Paints the runs of row ry whose root is root.  parent must already point
// every run of this row straight at its root.
template <int kBpp>
void paint_row(guchar *pixels, const BitRow &row, int ry, const gint32 *parent, gint32 root,
               const PixelOps<kBpp> &ops, Extent &extent) {
  const int words = static_cast<int>(row.match.size());
  guint64 carry = 0;  // of the addition that widens run starts into runs
  for (int w = 0; w < words; w++) {
    guint64 chosen = 0;
    gint32 run = row.base + row.rank[w];
    for (guint64 s = row.starts[w]; s; s &= s - 1, run++)
      if (parent[run] == root) chosen |= s & (~s + 1);
    // Adding a run's first bit carries through the run (into the next word
    // if need be), so the bits the addition flips within match are the
    // chosen runs.
    const guint64 m = row.match[w];
    const unsigned __int128 sum = static_cast<unsigned __int128>(m) + chosen + carry;
    carry = static_cast<guint64>(sum >> kWordBits);
    guint64 paint = (static_cast<guint64>(sum) ^ m) & m;
    if (!paint) continue;
    const int first = w * kWordBits;
    extent.add(ry, first + __builtin_ctzll(paint), first + kWordBits - 1 - __builtin_clzll(paint));
    guchar *p = pixels + static_cast<size_t>(first) * kBpp;
    if (paint == ~guint64(0)) {
      for (int i = 0; i < kWordBits; i++, p += kBpp) ops.paint(p);
      continue;
    }
    for (; paint; paint &= paint - 1) ops.paint(p + __builtin_ctzll(paint) * kBpp);
  }
}

// The 4-connected region of (x, y) as connected runs: the rows' runs of
// matching pixels are joined with the runs they overlap in the row above
// (union-find), and the runs that share the seed's root are painted.  The
// work is a fixed number of passes over bit rows of the whole picture,
// however ragged the region.
template <int kBpp>
void fill_connected_runs(guchar *pixels, size_t stride, int width, int height, int x, int y,
                         const PixelOps<kBpp> &ops, Extent &extent) {
  const int words = (width + kWordBits - 1) / kWordBits;
  std::vector<BitRow> rows(static_cast<size_t>(height));
  gint32 runs = 0;
  for (int ry = 0; ry < height; ry++) {
    BitRow &row = rows[ry];
    row.match.resize(static_cast<size_t>(words));
    row.starts.resize(static_cast<size_t>(words));
    row.rank.resize(static_cast<size_t>(words) + 1);
    scan_row<kBpp>(pixels + ry * stride, width, ops, row, runs);
    runs += row.rank[words];
  }

  std::vector<gint32> parent(static_cast<size_t>(runs));
  for (gint32 i = 0; i < runs; i++) parent[i] = i;
  for (int ry = 1; ry < height; ry++) {
    // Point the row above straight at its roots first: its runs are looked
    // up once for every stretch below them.
    for (gint32 i = rows[ry - 1].base; i < rows[ry].base; i++)
      parent[i] = find_root(parent.data(), parent[i]);
    join_rows(rows[ry - 1], rows[ry], parent.data());
  }

  const gint32 root = find_root(parent.data(), run_at(rows[y], x));
  // Parents precede their children, so one pass in order resolves every root.
  for (gint32 i = 0; i < runs; i++) parent[i] = parent[parent[i]];
  for (int ry = 0; ry < height; ry++)
    paint_row<kBpp>(pixels + ry * stride, rows[ry], ry, parent.data(), root, ops, extent);
}

// Pixels of the region already found, one bit each.  Zero-filled memory
// from the system: only the pages the region touches cost anything.
class Visited {
 public:
  Visited(int width, int height)
      : words_(static_cast<size_t>((width + kWordBits - 1) / kWordBits)),
        bits_(static_cast<guint64 *>(
            g_try_malloc0_n(words_ * static_cast<size_t>(height), sizeof(guint64)))) {}
  ~Visited() { g_free(bits_); }
  Visited(const Visited &) = delete;
  Visited &operator=(const Visited &) = delete;

  bool ok() const { return bits_ != nullptr; }
  bool test(int x, int y) const {
    return (bits_[y * words_ + x / kWordBits] >> (x % kWordBits)) & 1;
  }
  void mark(int y, int from, int to) {
    guint64 *row = bits_ + y * words_;
    for (int w = from / kWordBits; w <= to / kWordBits; w++) {
      const int lo = std::max(from - w * kWordBits, 0);
      const int hi = std::min(to - w * kWordBits, kWordBits - 1);
      row[w] |= bits_upto(hi) & ~(lo ? bits_upto(lo - 1) : 0);
    }
  }

 private:
  size_t words_;
  guint64 *bits_;
};

// A row's run of region pixels, ends included.
struct Run {
  gint32 y, left, right;
};

// What following the region costs, in pixels looked at; finding a run and
// queueing it costs as much as looking at this many pixels.
constexpr gint64 kRunCost = 64;
// Following gives up once it has looked at half as many pixels as the
// picture has, a small part of what the connected runs cost for any region:
// a region that large is better found by them.
constexpr gint64 kFollowBudgetDivisor = 2;

// The region followed from the seed, a run at a time, each run's rows above
// and below searched along it, as a seed fill does: the work is that of the
// region and its border.  False, with runs undefined, once it has cost more
// than budget: the region is large and ragged, and the connected runs find
// it faster.
template <int kBpp>
bool follow_region(const guchar *pixels, size_t stride, int width, int height, int x, int y,
                   const PixelOps<kBpp> &ops, gint64 budget, Visited &visited,
                   std::vector<Run> &runs) {
  auto at = [&](int px, int py) { return pixels + py * stride + static_cast<size_t>(px) * kBpp; };
  gint64 spent = 0;
  // The whole run of matching pixels through (px, py), which matches.
  auto add_run = [&](int px, int py) {
    const guchar *p = at(px, py);
    int left = px, right = px;
    for (const guchar *q = p - kBpp; left > 0 && ops.matches(q); q -= kBpp) left--;
    for (const guchar *q = p + kBpp; right + 1 < width && ops.matches(q); q += kBpp) right++;
    visited.mark(py, left, right);
    runs.push_back(Run{py, left, right});
    spent += right - left + 1 + kRunCost;
    return right;
  };

  add_run(x, y);
  // Runs whose neighbouring rows are still to be searched: a stack of
  // indexes into runs.
  std::vector<size_t> pending{0};
  while (!pending.empty()) {
    const Run run = runs[pending.back()];
    pending.pop_back();
    for (int ny : {run.y - 1, run.y + 1}) {
      if (ny < 0 || ny >= height) continue;
      spent += run.right - run.left + 1;
      // A matching pixel already found belongs to a run found whole.
      for (int cx = run.left; cx <= run.right; cx++) {
        if (!ops.matches(at(cx, ny)) || visited.test(cx, ny)) continue;
        cx = add_run(cx, ny) + 1;
        pending.push_back(runs.size() - 1);
      }
    }
    if (spent > budget) return false;
  }
  return true;
}

template <int kBpp>
FillResult fill_region(FillMethod method, guchar *pixels, size_t stride, int width, int height,
                       int x, int y, const PixelOps<kBpp> ops, GdkRectangle *changed) {
  Extent extent;
  try {
    bool followed = false;
    if (method != FillMethod::kConnectedRuns) {
      Visited visited(width, height);
      if (!visited.ok()) return FILL_NO_MEMORY;
      std::vector<Run> runs;
      const gint64 budget = method == FillMethod::kFollow
                                ? G_MAXINT64
                                : width * static_cast<gint64>(height) / kFollowBudgetDivisor;
      followed = follow_region<kBpp>(pixels, stride, width, height, x, y, ops, budget, visited,
                                     runs);
      // Nothing is painted until a method has the whole region.
      for (size_t i = 0; followed && i < runs.size(); i++) {
        const Run &run = runs[i];
        guchar *p = pixels + run.y * stride + static_cast<size_t>(run.left) * kBpp;
        for (int px = run.left; px <= run.right; px++, p += kBpp) ops.paint(p);
        extent.add(run.y, run.left, run.right);
      }
    }
    if (!followed) fill_connected_runs<kBpp>(pixels, stride, width, height, x, y, ops, extent);
  } catch (const std::bad_alloc &) {
    return FILL_NO_MEMORY;
  }
  if (changed) *changed = extent.rectangle();
  return FILL_DONE;
}

}  // namespace

VorpixTool *fill_create(const char *name) {
  VorpixTool *fill = g_new0(VorpixTool, 1);
  g_assert(fill);
  fill->name = name;
  fill->cursor = gdk_cursor_new(GDK_CROSSHAIR);
  fill->destroy = fill_destroy;
  fill->button_press = fill_button_press;
  return fill;
}

FillResult fill_image(VorpixImage *image, int x, int y, guint8 r, guint8 g, guint8 b,
                      GdkRectangle *changed) {
  return fill_image_by(FillMethod::kChosen, image, x, y, r, g, b, changed);
}

FillResult fill_image_by(FillMethod method, VorpixImage *image, int x, int y, guint8 r, guint8 g,
                         guint8 b, GdkRectangle *changed) {
  if (changed) *changed = GdkRectangle{0, 0, 0, 0};
  const int width = image_width(image);
  const int height = image_height(image);
  if (x < 0 || x >= width || y < 0 || y >= height) return FILL_UNCHANGED;

  guchar *const pixels = image_pixels(image);
  const size_t stride = static_cast<size_t>(image_rowstride(image));
  const int bpp = image_pixelsize(image);
  const guchar *seed = pixels + y * stride + static_cast<size_t>(x) * bpp;
  if (seed[0] == r && seed[1] == g && seed[2] == b) return FILL_UNCHANGED;

  if (bpp == 4)
    return fill_region<4>(method, pixels, stride, width, height, x, y,
                          PixelOps<4>(seed, r, g, b), changed);
  g_assert(bpp == 3);
  return fill_region<3>(method, pixels, stride, width, height, x, y, PixelOps<3>(seed, r, g, b),
                        changed);
}
