// PNG encoding.  Each thread filters and deflates its own band of rows; the
// band's stream starts from the last 32 KiB of filtered bytes before it as
// its dictionary and ends on a byte boundary (Z_SYNC_FLUSH), so the bands
// concatenate into one zlib stream whose checksum is the bands' combined.
#include "imaging/image_png.h"

#include <glib/gi18n.h>
#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "imaging/image_parallel.h"

namespace {

constexpr guchar kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr int kColourRgb = 2;
constexpr int kColourRgba = 6;
constexpr guint kWindow = 32768;      // deflate's window: the dictionary a band may use
constexpr gsize kMaxChunk = 1 << 20;  // IDAT chunks of at most this many bytes
constexpr int kZlibWindowBits = 15;
constexpr int kMemLevel = 8;
constexpr int kFilterCount = 5;
enum Filter { kNone = 0, kSub, kUp, kAverage, kPaeth };

constexpr gsize kSampleBytes = 1 << 16;  // of a band, to choose its strategy on
// A band goes through run-length matching, fast and best on photographs, or
// through full matching at this level, best on drawings with repeats; the
// smaller result on a sample of the band decides.
constexpr int kMatchLevel = 6;

std::atomic<int> chosen_level{kMatchLevel};
std::atomic<int> chosen_strategy{VORPIX_PNG_CHOOSE};

struct Layout {
  const guchar *pixels;
  int rowstride;
  int height;
  int bpp;          // bytes a pixel
  gsize row_bytes;  // without the filter byte
};

inline guchar paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<guchar>(a);
  return static_cast<guchar>(pb <= pc ? b : c);
}

// The cost the reference library minimises: bytes read as signed, summed
// absolutely.
unsigned long row_cost(const guchar *row, gsize n, bool vectors) {
  unsigned long sum = 0;
  gsize i = 0;
#if defined(__SSE2__)
  if (vectors) {
    const __m128i zero = _mm_setzero_si128();
    __m128i total = zero;
    for (; i + 16 <= n; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + i));
      total = _mm_add_epi64(total, _mm_sad_epu8(_mm_min_epu8(v, _mm_sub_epi8(zero, v)), zero));
    }
    sum = static_cast<unsigned long>(_mm_cvtsi128_si64(total)) +
          static_cast<unsigned long>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total)));
  }
#endif
  for (; i < n; i++) sum += row[i] < 128 ? row[i] : 256 - row[i];
  return sum;
}

#if defined(__SSE2__)
inline __m128i load(const guchar *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

inline __m128i abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

// Paeth's predictor on eight samples widened to 16 bits.
inline __m128i paeth16(__m128i a, __m128i b, __m128i c) {
  const __m128i pa = abs16(_mm_sub_epi16(b, c)), pb = abs16(_mm_sub_epi16(a, c));
  const __m128i pc = abs16(_mm_add_epi16(_mm_sub_epi16(b, c), _mm_sub_epi16(a, c)));
  const __m128i not_a = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
  const __m128i take_c = _mm_cmpgt_epi16(pb, pc);
  const __m128i b_or_c = _mm_or_si128(_mm_and_si128(take_c, c), _mm_andnot_si128(take_c, b));
  return _mm_or_si128(_mm_and_si128(not_a, b_or_c), _mm_andnot_si128(not_a, a));
}

// Samples [from, n) of a filter with a row above, sixteen at a time; returns
// where the plain loop takes over.
gsize filter_vectors(int f, const guchar *cur, const guchar *up, gsize from, gsize n, gsize bpp,
                     guchar *out) {
  const __m128i zero = _mm_setzero_si128();
  gsize i = from;
  for (; i + 16 <= n; i += 16) {
    const __m128i x = load(cur + i);
    __m128i prediction;
    switch (f) {
      case kSub:
        prediction = load(cur + i - bpp);
        break;
      case kUp:
        prediction = load(up + i);
        break;
      case kAverage: {
        const __m128i a = load(cur + i - bpp), b = load(up + i);
        // The rounded-up mean less the odd bit gives the truncated one.
        prediction = _mm_sub_epi8(_mm_avg_epu8(a, b),
                                  _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
        break;
      }
      default: {
        const __m128i a = load(cur + i - bpp), b = load(up + i), c = load(up + i - bpp);
        const __m128i low = paeth16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                                    _mm_unpacklo_epi8(c, zero));
        const __m128i high = paeth16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                                     _mm_unpackhi_epi8(c, zero));
        prediction = _mm_packus_epi16(low, high);
        break;
      }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_sub_epi8(x, prediction));
  }
  return i;
}
#endif

// Filters one row into out (filter byte first), with the filter whose
// output costs least, the lower type on ties.  scratch holds row_bytes.
void filter_row(const Layout &l, int y, guchar *out, guchar *scratch) {
  const bool vectors = image_parallel_vectors();
  const guchar *cur = l.pixels + static_cast<gsize>(y) * l.rowstride;
  const guchar *up = y > 0 ? cur - l.rowstride : nullptr;
  const gsize n = l.row_bytes;
  const gsize bpp = static_cast<gsize>(l.bpp);
  guchar *best = out + 1;
  memcpy(best, cur, n);
  out[0] = kNone;
  unsigned long best_cost = row_cost(best, n, vectors);
  guchar *trial = scratch;
  for (int f = kSub; f < kFilterCount; f++) {
    // Without a row above, Up is None, Average halves the left sample and
    // Paeth is Sub: only the first two can differ from what was tried.
    if (!up && (f == kUp || f == kPaeth)) continue;
    const gsize head = std::min(bpp, n);
    for (gsize i = 0; i < head; i++)
      trial[i] = static_cast<guchar>(cur[i] - (f == kSub ? 0 : f == kAverage ? up ? up[i] >> 1 : 0
                                                                             : up[i]));
    gsize i = head;
#if defined(__SSE2__)
    if (vectors && up) i = filter_vectors(f, cur, up, i, n, bpp, trial);
#endif
    switch (f) {
      case kSub:
        for (; i < n; i++) trial[i] = static_cast<guchar>(cur[i] - cur[i - bpp]);
        break;
      case kUp:
        for (; i < n; i++) trial[i] = static_cast<guchar>(cur[i] - up[i]);
        break;
      case kAverage:
        for (; i < n; i++)
          trial[i] = static_cast<guchar>(cur[i] - ((cur[i - bpp] + (up ? up[i] : 0)) >> 1));
        break;
      default:
        for (; i < n; i++)
          trial[i] = static_cast<guchar>(cur[i] - paeth(cur[i - bpp], up[i], up[i - bpp]));
        break;
    }
    const unsigned long cost = row_cost(trial, n, vectors);
    if (cost < best_cost) {
      best_cost = cost;
      out[0] = static_cast<guchar>(f);
      std::swap(best, trial);
    }
  }
  if (best != out + 1) memcpy(out + 1, best, n);
}

// One band's piece of the zlib stream: raw deflate data and the Adler-32 of
// the filtered bytes it holds.
struct Band {
  int first = 0;
  std::vector<guchar> data;
  uLong adler = 1;
  uLong length = 0;
  bool failed = false;
};

struct DeflateGuard {
  z_stream *stream;
  ~DeflateGuard() { deflateEnd(stream); }
};

// The size deflate gives the filtered rows from first on, up to
// kSampleBytes of them; 0 when zlib cannot start.
gsize sample_size(const Layout &l, int first, int last, int level, int strategy) {
  const gsize line = l.row_bytes + 1;
  const int rows = static_cast<int>(std::min<gsize>(last - first, kSampleBytes / line + 1));
  std::vector<guchar> filtered(line * rows), scratch(l.row_bytes);
  for (int y = 0; y < rows; y++)
    filter_row(l, first + y, filtered.data() + line * y, scratch.data());
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -kZlibWindowBits, kMemLevel, strategy) != Z_OK)
    return 0;
  DeflateGuard guard{&z};
  std::vector<guchar> out(deflateBound(&z, filtered.size()));
  z.next_in = filtered.data();
  z.avail_in = static_cast<uInt>(filtered.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  return deflate(&z, Z_FINISH) == Z_STREAM_END ? out.size() - z.avail_out : 0;
}

void compress_band(const Layout &l, int first, int last, bool final_band, int level,
                   int strategy, Band *band) {
  band->first = first;
  const gsize line = l.row_bytes + 1;
  if (strategy == VORPIX_PNG_CHOOSE) {
    const gsize runs = sample_size(l, first, last, level, Z_RLE);
    const gsize matches = sample_size(l, first, last, level, Z_DEFAULT_STRATEGY);
    strategy = runs <= matches ? Z_RLE : Z_DEFAULT_STRATEGY;
  }
  std::vector<guchar> filtered(line), scratch(l.row_bytes);

  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -kZlibWindowBits, kMemLevel, strategy) != Z_OK) {
    band->failed = true;
    return;
  }
  DeflateGuard guard{&z};

  // The filtered rows before the band, as the band before it compressed them.
  const int before = static_cast<int>(std::min<gsize>((kWindow + line - 1) / line, first));
  if (before > 0) {
    std::vector<guchar> dictionary(line * before);
    for (int y = first - before; y < first; y++)
      filter_row(l, y, dictionary.data() + line * (y - first + before), scratch.data());
    const gsize keep = std::min<gsize>(dictionary.size(), kWindow);
    deflateSetDictionary(&z, dictionary.data() + dictionary.size() - keep,
                         static_cast<uInt>(keep));
  }

  band->data.resize(deflateBound(&z, line * (last - first)) + 16);
  z.next_out = band->data.data();
  z.avail_out = static_cast<uInt>(band->data.size());
  for (int y = first; y < last; y++) {
    filter_row(l, y, filtered.data(), scratch.data());
    band->adler = adler32(band->adler, filtered.data(), static_cast<uInt>(line));
    band->length += line;
    z.next_in = filtered.data();
    z.avail_in = static_cast<uInt>(line);
    const bool end = y + 1 == last;
    const int flush = end ? (final_band ? Z_FINISH : Z_SYNC_FLUSH) : Z_NO_FLUSH;
    while (z.avail_in > 0 || end) {
      if (z.avail_out == 0) {
        const gsize used = band->data.size();
        band->data.resize(used + used / 2 + 1024);
        z.next_out = band->data.data() + used;
        z.avail_out = static_cast<uInt>(band->data.size() - used);
      }
      const int status = deflate(&z, flush);
      if (status == Z_STREAM_ERROR) {
        band->failed = true;
        return;
      }
      if (end && (final_band ? status == Z_STREAM_END : z.avail_out > 0)) break;
      if (!end && z.avail_in == 0) break;
    }
  }
  band->data.resize(band->data.size() - z.avail_out);
}

void put_u32(guchar *p, guint32 v) {
  p[0] = static_cast<guchar>(v >> 24);
  p[1] = static_cast<guchar>(v >> 16);
  p[2] = static_cast<guchar>(v >> 8);
  p[3] = static_cast<guchar>(v);
}

class ChunkWriter {
 public:
  ChunkWriter(GdkPixbufSaveFunc write, gpointer data, GError **error)
      : write_(write), data_(data), error_(error) {}

  bool raw(const guchar *bytes, gsize n) {
    return n == 0 || write_(reinterpret_cast<const gchar *>(bytes), n, error_, data_);
  }

  bool chunk(const char type[4], const guchar *body, gsize n) {
    guchar head[8];
    put_u32(head, static_cast<guint32>(n));
    memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (n > 0) crc = crc32(crc, body, static_cast<uInt>(n));
    guchar tail[4];
    put_u32(tail, static_cast<guint32>(crc));
    return raw(head, sizeof head) && raw(body, n) && raw(tail, sizeof tail);
  }

  // The zlib stream cut into IDAT chunks, pieces given in order.
  bool idat(const guchar *bytes, gsize n) {
    while (n > 0) {
      const gsize room = kMaxChunk - pending_.size();
      const gsize take = std::min(room, n);
      pending_.insert(pending_.end(), bytes, bytes + take);
      bytes += take;
      n -= take;
      if (pending_.size() == kMaxChunk && !flush_idat()) return false;
    }
    return true;
  }

  bool flush_idat() {
    if (pending_.empty()) return true;
    const bool ok = chunk("IDAT", pending_.data(), pending_.size());
    pending_.clear();
    return ok;
  }

 private:
  GdkPixbufSaveFunc write_;
  gpointer data_;
  GError **error_;
  std::vector<guchar> pending_;
};

void set_memory_error(GError **error) {
  g_set_error(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY,
              _("Insufficient memory to save the image"));
}

bool encode(const Layout &l, int width, ChunkWriter *out, GError **error) {
  const int level = chosen_level.load(std::memory_order_relaxed);
  const int strategy = chosen_strategy.load(std::memory_order_relaxed);
  std::vector<Band> bands;
  std::mutex bands_lock;
  image_parallel_for(l.height, static_cast<gint64>(width) * 8, [&](int first, int last) {
    Band band;
    compress_band(l, first, last, last == l.height, level, strategy, &band);
    std::lock_guard<std::mutex> hold(bands_lock);
    bands.push_back(std::move(band));
  });
  std::sort(bands.begin(), bands.end(),
            [](const Band &a, const Band &b) { return a.first < b.first; });
  for (const Band &band : bands)
    if (band.failed) {
      set_memory_error(error);
      return false;
    }

  guchar ihdr[13];
  put_u32(ihdr, static_cast<guint32>(width));
  put_u32(ihdr + 4, static_cast<guint32>(l.height));
  ihdr[8] = 8;
  ihdr[9] = static_cast<guchar>(l.bpp == 4 ? kColourRgba : kColourRgb);
  ihdr[10] = ihdr[11] = ihdr[12] = 0;  // deflate, adaptive filtering, no interlace
  if (!out->raw(kSignature, sizeof kSignature) || !out->chunk("IHDR", ihdr, sizeof ihdr))
    return false;

  // The zlib header: deflate with a 32 KiB window, check bits making it a
  // multiple of 31.
  guchar header[2] = {0x78, 0x5e};
  if (!out->idat(header, sizeof header)) return false;
  uLong adler = 1;
  for (const Band &band : bands) {
    if (!out->idat(band.data.data(), band.data.size())) return false;
    adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.length));
  }
  guchar trailer[4];
  put_u32(trailer, static_cast<guint32>(adler));
  return out->idat(trailer, sizeof trailer) && out->flush_idat() &&
         out->chunk("IEND", nullptr, 0);
}

}  // namespace

gboolean image_png_save(const VorpixImage *image, GdkPixbufSaveFunc write, gpointer data,
                        GError **error) {
  g_return_val_if_fail(image && image->pixbuf, FALSE);
  g_return_val_if_fail(write != nullptr, FALSE);
  GdkPixbuf *pixbuf = image->pixbuf;
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  g_return_val_if_fail(gdk_pixbuf_get_bits_per_sample(pixbuf) == 8, FALSE);
  g_return_val_if_fail(channels == 3 || channels == 4, FALSE);

  Layout layout;
  layout.pixels = gdk_pixbuf_read_pixels(pixbuf);
  layout.rowstride = gdk_pixbuf_get_rowstride(pixbuf);
  layout.height = gdk_pixbuf_get_height(pixbuf);
  layout.bpp = channels;
  const int width = gdk_pixbuf_get_width(pixbuf);
  layout.row_bytes = static_cast<gsize>(width) * channels;

  ChunkWriter out(write, data, error);
  try {
    return encode(layout, width, &out, error);
  } catch (const std::bad_alloc &) {
    if (error && !*error) set_memory_error(error);
    return FALSE;
  }
}

VorpixPngSettings image_png_settings() {
  return {chosen_level.load(std::memory_order_relaxed),
          chosen_strategy.load(std::memory_order_relaxed)};
}

void image_png_set_settings(VorpixPngSettings settings) {
  chosen_level.store(std::clamp(settings.level, 0, 9), std::memory_order_relaxed);
  chosen_strategy.store(settings.strategy, std::memory_order_relaxed);
}
