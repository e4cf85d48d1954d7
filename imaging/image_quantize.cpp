#include "imaging/image_quantize.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "imaging/image_processing.h"
#include "imaging/image_processing_private.h"

using namespace effect_private;

namespace {

// Colour cells: 5 bits of red, 6 of green, 5 of blue; index r << 11 | g << 5 | b.
constexpr int kRedCells = 32, kGreenCells = 64, kBlueCells = 32;
constexpr int kRedShift = 3, kGreenShift = 2, kBlueShift = 3;
constexpr int kCells = kRedCells * kGreenCells * kBlueCells;
constexpr int kRedStride = kGreenCells * kBlueCells;  // cell index step of r
constexpr int kGreenStride = kBlueCells;              // cell index step of g
constexpr int kUnmapped = -1;

// Cell weights grow with the logarithm of the scaled pixel count, up to 127.
constexpr int kWeightLevels = 128;
constexpr int kWeightScale = 100;
constexpr int kCountScale = 2048;
constexpr int kPixelsPerScale = 512;

// Threshold = (kThresholdBase / occupied + kThresholdBias) * W / kThresholdDivisor.
constexpr int kThresholdBase = 110000;
constexpr int kThresholdBias = 28;
constexpr int kThresholdDivisor = 95000;
constexpr int kThresholdStep = 4;

// Error shares: 7/32 to the three direct neighbours, 3/32 to the three face
// diagonals, the rest to the far corner.
constexpr int kDirectShare = 7, kDiagonalShare = 3, kShareDivisor = 32;

// Palette distance weights and the refinement step.
constexpr int kRedWeight = 3, kGreenWeight = 4, kBlueWeight = 2;
constexpr int kMoveStep = 4;

struct Colour {
  int r, g, b;
};

int cell_of(const guchar *s) {
  return (s[0] >> kRedShift) * kRedStride + (s[1] >> kGreenShift) * kGreenStride +
         (s[2] >> kBlueShift);
}

// The palette walk: cells visited once each in a serpentine path through
// colour space, error passed only to cells still ahead.
class PaletteWalk {
 public:
  PaletteWalk(std::vector<gint32> &cells, std::vector<Colour> &palette, gint64 quota,
              gint64 threshold)
      : cells_(cells), palette_(palette), quota_(quota), threshold_(threshold) {}

  void run(const std::array<gint64, kGreenCells> &slice_sums, gint64 total) {
    const gint64 size = static_cast<gint64>(palette_.size());
    for (int g = 0; g < kGreenCells; g++) {
      const int dg = g < kGreenCells - 1 ? 1 : 0;
      const bool up = g % 2 == 0;
      for (int i = 0; i < kRedCells; i++) {
        const int r = up ? i : kRedCells - 1 - i;
        const int dr = i == kRedCells - 1 ? 0 : (up ? 1 : -1);
        const bool rising = (r + g) % 2 == 0;
        for (int j = 0; j < kBlueCells; j++) {
          const int b = rising ? j : kBlueCells - 1 - j;
          const int db = j == kBlueCells - 1 ? 0 : (rising ? 1 : -1);
          visit(r, g, b, dr, dg, db);
        }
      }
      const gint64 expected = slice_sums[g] * size / total;
      if (chosen_ != expected) threshold_ += kThresholdStep * (chosen_ - expected);
    }
  }

 private:
  void visit(int r, int g, int b, int dr, int dg, int db) {
    const int here = r * kRedStride + g * kGreenStride + b;
    if (chosen_ == static_cast<gint64>(palette_.size())) {
      cells_[here] = kUnmapped;
      return;
    }
    gint64 e = cells_[here];
    if (e > threshold_) {
      palette_[chosen_++] = {r * 8 + 4, g * 4 + 2, b * 8 + 4};
      e -= quota_;
    }
    const gint64 direct = kDirectShare * e / kShareDivisor;
    const gint64 diagonal = kDiagonalShare * e / kShareDivisor;
    cells_[here] = 0;

    const int sr = dr * kRedStride, sg = dg * kGreenStride, sb = db;
    auto give = [&](int step, gint64 amount) {
      cells_[here + step] += static_cast<gint32>(amount);
    };
    give(sb, direct);
    give(sg, direct);
    give(sr, direct);
    give(sg + sb, diagonal);
    give(sr + sb, diagonal);
    give(sr + sg, diagonal);
    give(sr + sg + sb, e - 3 * (direct + diagonal));

    // Shares aimed at the cell itself (a step of 0) move on whole.
    const gint32 left = cells_[here];
    if (dg)
      cells_[here + kGreenStride] += left;
    else if (dr)
      cells_[here + sr] += left;
    else if (db)
      cells_[here + sb] += left;
    else if (left != 0)
      fputs("lost error term\n", stderr);
    cells_[here] = kUnmapped;
  }

  std::vector<gint32> &cells_;
  std::vector<Colour> &palette_;
  gint64 quota_;
  gint64 threshold_;
  gint64 chosen_ = 0;
};

int nearest(const std::vector<Colour> &palette, int r, int g, int b) {
  int best = 0;
  gint64 best_distance = G_MAXINT64;
  for (int i = 0; i < static_cast<int>(palette.size()); i++) {
    const int dr = r - palette[i].r, dg = g - palette[i].g, db = b - palette[i].b;
    const gint64 distance = kRedWeight * dr * dr + kGreenWeight * dg * dg + kBlueWeight * db * db;
    if (distance < best_distance) {
      best_distance = distance;
      best = i;
    }
  }
  return best;
}

// What one pass over the pixels learns of each cell: how many pixels fall in
// it, their sums, and the colour of the first of them in raster order (the
// pixel whose nearest palette entry serves the whole cell).
struct CellTotals {
  guint64 r = 0, g = 0, b = 0;
  guint32 count = 0;
  guint32 first = 0;  // R | G << 8 | B << 16
};

// The cell of each of `width` pixels.
void cells_of_row(const guchar *s, guint32 *cells, int width) {
  int x = 0;
#if defined(__SSE2__)
  const int end = vector_end(0, width);
  const __m128i red = _mm_set1_epi32(0xf8), green = _mm_set1_epi32(0xfc00),
                blue = _mm_set1_epi32(0xf80000);
  for (; x < end; x += sse2::kPixels, s += 16) {
    const __m128i p = sse2::load(s);
    // r << 11 is (R & 0xf8) << 8, g << 5 is (G << 8 & 0xfc00) >> 5, b is (B << 16 & 0xf80000) >> 19.
    const __m128i cell =
        _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(p, red), 8),
                                  _mm_srli_epi32(_mm_and_si128(p, green), 5)),
                     _mm_srli_epi32(_mm_and_si128(p, blue), 19));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(cells + x), cell);
  }
#endif
  for (; x < width; x++, s += kPixelSize) cells[x] = static_cast<guint32>(cell_of(s));
}

// Counts, sums and first pixels of every cell over rows [first, last).
void total_cells(const Raster &in, int first, int last, std::vector<CellTotals> &totals) {
  std::vector<guint32> cells(static_cast<gsize>(in.width));
  for (int y = first; y < last; y++) {
    const guchar *s = in.row(y);
    cells_of_row(s, cells.data(), in.width);
    for (int x = 0; x < in.width; x++, s += kPixelSize) {
      CellTotals &cell = totals[cells[x]];
      if (cell.count++ == 0) cell.first = s[0] | s[1] << 8 | s[2] << 16;
      cell.r += s[0];
      cell.g += s[1];
      cell.b += s[2];
    }
  }
}

}  // namespace

void ImageQuantize(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  const gsize pixels = static_cast<gsize>(in.width) * in.height;
  if (pixels == 0) return;
  const int palette_size = std::max(ImgProcessInfo.quantize_palette_size, 1);

  // Count.  Each range of rows totals its own cells; the ranges are merged
  // in row order, so the first pixel of a cell is the first in the picture.
  std::vector<CellTotals> totals;
  {
    std::mutex merge;
    std::vector<std::pair<int, std::vector<CellTotals>>> ranges;
    image_parallel_for(in.height, in.width, [&](int first, int last) {
      std::vector<CellTotals> part(kCells);
      total_cells(in, first, last, part);
      std::lock_guard<std::mutex> hold(merge);
      ranges.emplace_back(first, std::move(part));
    });
    std::sort(ranges.begin(), ranges.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    totals = std::move(ranges.front().second);
    for (gsize i = 1; i < ranges.size(); i++) {
      const std::vector<CellTotals> &part = ranges[i].second;
      for (int cell = 0; cell < kCells; cell++) {
        if (part[cell].count == 0) continue;
        CellTotals &total = totals[cell];
        if (total.count == 0) total.first = part[cell].first;
        total.count += part[cell].count;
        total.r += part[cell].r;
        total.g += part[cell].g;
        total.b += part[cell].b;
      }
    }
  }
  std::vector<gint32> cells(kCells);
  for (int cell = 0; cell < kCells; cell++) cells[cell] = static_cast<gint32>(totals[cell].count);

  // Weigh.
  std::array<int, kWeightLevels> weight;
  weight[0] = 0;
  for (int i = 1; i < kWeightLevels; i++)
    weight[i] = static_cast<int>(kWeightScale * std::log(static_cast<double>(i)));
  const gint64 scale = pixels < kPixelsPerScale ? 1 : static_cast<gint64>(pixels / kPixelsPerScale);
  gint64 total = 0, occupied = 0;
  std::array<gint64, kGreenCells> slice_sums;
  for (int g = 0; g < kGreenCells; g++) {
    for (int r = 0; r < kRedCells; r++) {
      gint32 *cell = &cells[r * kRedStride + g * kGreenStride];
      for (int b = 0; b < kBlueCells; b++) {
        const gint64 v = static_cast<gint64>(static_cast<guint32>(cell[b])) * kCountScale / scale;
        if (v != 0) occupied++;
        cell[b] = weight[std::min<gint64>(v, kWeightLevels - 1)];
        total += cell[b];
      }
    }
    slice_sums[g] = total;
  }

  // Walk.
  std::vector<Colour> palette(static_cast<gsize>(palette_size), Colour{0, 0, 0});
  const gint64 quota = total / palette_size;
  const gint64 threshold = (kThresholdBase / occupied + kThresholdBias) * total / kThresholdDivisor;
  PaletteWalk(cells, palette, quota, threshold).run(slice_sums, total);

  // The entry serving each cell: the nearest to the cell's first pixel.
  auto entry_of = [&](const CellTotals &cell) {
    return nearest(palette, cell.first & 0xff, cell.first >> 8 & 0xff, cell.first >> 16);
  };

  // Refine: move each palette colour towards the mean of the pixels it
  // serves.  The pixels' differences from their entry add up cell by cell.
  struct Pull {
    gint64 r = 0, g = 0, b = 0, count = 0;
  };
  std::vector<Pull> pulls(palette.size());
  for (const CellTotals &cell : totals) {
    if (cell.count == 0) continue;
    const int i = entry_of(cell);
    const gint64 count = cell.count;
    pulls[i].r += static_cast<gint64>(cell.r) - count * palette[i].r;
    pulls[i].g += static_cast<gint64>(cell.g) - count * palette[i].g;
    pulls[i].b += static_cast<gint64>(cell.b) - count * palette[i].b;
    pulls[i].count += count;
  }
  for (gsize i = 0; i < palette.size(); i++) {
    const gint64 d = pulls[i].count ? kMoveStep * pulls[i].count : 1;
    palette[i].r += static_cast<int>(kMoveStep * (pulls[i].r / d));
    palette[i].g += static_cast<int>(kMoveStep * (pulls[i].g / d));
    palette[i].b += static_cast<int>(kMoveStep * (pulls[i].b / d));
  }

  // Map through the colour of each cell's entry.
  std::vector<guint32> colour_of_cell(kCells, 0);
  for (int cell = 0; cell < kCells; cell++) {
    if (totals[cell].count == 0) continue;
    const Colour &c = palette[entry_of(totals[cell])];
    colour_of_cell[cell] = static_cast<guint32>(c.r & 0xff) | static_cast<guint32>(c.g & 0xff) << 8 |
                           static_cast<guint32>(c.b & 0xff) << 16;
  }
  image_parallel_for(in.height, in.width, [&](int first, int last) {
    std::vector<guint32> cells_of(static_cast<gsize>(in.width));
    for (int y = first; y < last; y++) {
      cells_of_row(in.row(y), cells_of.data(), in.width);
      guchar *d = out.row(y);
      for (int x = 0; x < in.width; x++, d += kPixelSize) {
        const guint32 colour = colour_of_cell[cells_of[x]];
        d[0] = static_cast<guchar>(colour);
        d[1] = static_cast<guchar>(colour >> 8);
        d[2] = static_cast<guchar>(colour >> 16);
      }
    }
  });
}
