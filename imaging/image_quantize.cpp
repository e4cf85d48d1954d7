#include "imaging/image_quantize.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
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

int nearest(const std::vector<Colour> &palette, const guchar *s) {
  int best = 0;
  gint64 best_distance = G_MAXINT64;
  for (int i = 0; i < static_cast<int>(palette.size()); i++) {
    const int dr = s[0] - palette[i].r, dg = s[1] - palette[i].g, db = s[2] - palette[i].b;
    const gint64 distance = kRedWeight * dr * dr + kGreenWeight * dg * dg + kBlueWeight * db * db;
    if (distance < best_distance) {
      best_distance = distance;
      best = i;
    }
  }
  return best;
}

}  // namespace

void ImageQuantize(const VorpixImage *input, VorpixImage *output) {
  g_return_if_fail(image_effect_compatible(input, output));
  const Raster in(input), out(output);
  const gsize pixels = static_cast<gsize>(in.width) * in.height;
  if (pixels == 0) return;
  const int palette_size = std::max(ImgProcessInfo.quantize_palette_size, 1);

  // Count, remembering each pixel's cell for the later passes.
  std::vector<gint32> cells(kCells, 0);
  std::vector<guint16> cell_of_pixel(pixels);
  {
    guint16 *cell = cell_of_pixel.data();
    for_each_pixel(in, [&](const guchar *s) {
      *cell = static_cast<guint16>(cell_of(s));
      cells[*cell]++;
      cell++;
    });
  }

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
        const gint64 v = static_cast<gint64>(cell[b]) * kCountScale / scale;
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

  // Refine: move each palette colour towards the mean of the pixels it serves.
  struct Pull {
    gint64 r = 0, g = 0, b = 0, count = 0;
  };
  std::vector<Pull> pulls(palette.size());
  std::vector<int> choice(kCells, kUnmapped);  // nearest entry per cell, found on first use
  auto entry_for = [&](int cell, const guchar *s) {
    if (choice[cell] == kUnmapped) choice[cell] = nearest(palette, s);
    return choice[cell];
  };
  {
    const guint16 *cell = cell_of_pixel.data();
    for_each_pixel(in, [&](const guchar *s) {
      const int i = entry_for(*cell++, s);
      pulls[i].r += s[0] - palette[i].r;
      pulls[i].g += s[1] - palette[i].g;
      pulls[i].b += s[2] - palette[i].b;
      pulls[i].count++;
    });
  }
  for (gsize i = 0; i < palette.size(); i++) {
    const gint64 d = pulls[i].count ? kMoveStep * pulls[i].count : 1;
    palette[i].r += static_cast<int>(kMoveStep * (pulls[i].r / d));
    palette[i].g += static_cast<int>(kMoveStep * (pulls[i].g / d));
    palette[i].b += static_cast<int>(kMoveStep * (pulls[i].b / d));
  }

  // Map.
  std::fill(choice.begin(), choice.end(), kUnmapped);
  const guint16 *cell = cell_of_pixel.data();
  for_each_pixel(in, out, [&](const guchar *s, guchar *d) {
    const Colour &c = palette[entry_for(*cell++, s)];
    d[0] = static_cast<guchar>(c.r);
    d[1] = static_cast<guchar>(c.g);
    d[2] = static_cast<guchar>(c.b);
  });
}
