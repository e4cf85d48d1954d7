// Pictures opened with transparency keep it: through painting, on the
// window (a checkerboard behind), and into the files saved.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/drawing_size.h"
#include "document/history.h"
#include "document/view.h"
#include "imaging/image.h"
#include "imaging/image_processing.h"
#include "tests/harness/alpha_pictures.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/view_helpers.h"
#include "tests/harness/window_fixture.h"

using namespace vorpix_test;

namespace {

constexpr Rgba kWhite = {255, 255, 255, 255};
constexpr Rgba kBlack = {0, 0, 0, 255};
constexpr guint32 kCheckLight = 0xcccccc, kCheckDark = 0x999999;

class TransparencyTest : public MainWindowTest {
 protected:
  void open_banded() {
    write_banded_png(dir.file("bands.png"));
    VorpixDrawing *opened = drawing_new_from_file(area, canvas->gc, dir.file("bands.png").c_str());
    ASSERT_NE(opened, nullptr);
    canvas_set_drawing(canvas, opened);
    pump();
  }
  // The picture as it is now, RGBA.
  std::vector<Rgba> picture() {
    VorpixImage *image = drawing_create_image(drawing());
    EXPECT_NE(image, nullptr);
    std::vector<Rgba> out;
    if (!image) return out;
    for (int y = 0; y < image_height(image); y++)
      for (int x = 0; x < image_width(image); x++) out.push_back(rgba_of(image_pixbuf(image), x, y));
    image_free(image);
    return out;
  }
  Rgba at(int x, int y) { return picture()[y * drawing()->width + x]; }
  ScratchDir dir;
};

TEST_F(TransparencyTest, OpenedAlphaIsKeptExactlyAndOpaqueFilesStayOpaque) {
  // With the server's shared memory and without it.
  for (gboolean shared : {gboolean(TRUE), gboolean(FALSE)}) {
    image_use_shared_memory(shared);
    open_banded();
    EXPECT_TRUE(drawing()->has_alpha);
    EXPECT_EQ(gdk_drawable_get_depth(drawing()->backing_pixmap), 32);
    std::vector<Rgba> got = picture();
    for (int y = 0; y < kBandsHeight; y++)
      for (int x = 0; x < kBandsWidth; x++)
        ASSERT_EQ(got[y * kBandsWidth + x], band_colour(x)) << shared << " " << x << "," << y;
  }
  image_use_shared_memory(TRUE);

  // An opaque file takes the opaque path, at the screen's own depth.
  write_png(dir.file("flat.png"), 8, 8, 0x123456);
  VorpixDrawing *flat = drawing_new_from_file(area, canvas->gc, dir.file("flat.png").c_str());
  ASSERT_NE(flat, nullptr);
  canvas_set_drawing(canvas, flat);
  EXPECT_FALSE(drawing()->has_alpha);
  EXPECT_EQ(drawing()->paint_gc, nullptr);
  EXPECT_EQ(gdk_drawable_get_depth(drawing()->backing_pixmap),
            gdk_drawable_get_depth(area->window));
  EXPECT_EQ((at(3, 3)), (Rgba{0x12, 0x34, 0x56, 255}));
}

// A pen line across all three bands: what it covers is opaque black, the
// rest keeps its exact RGBA.
TEST_F(TransparencyTest, PaintedPixelsBecomeOpaqueTheRestKeepTheirAlpha) {
  open_banded();
  click_button("pen_button");
  drag(1, 6, 28, 6);
  pump();
  std::vector<Rgba> got = picture();
  int painted[3] = {0, 0, 0};
  for (int y = 0; y < kBandsHeight; y++) {
    for (int x = 0; x < kBandsWidth; x++) {
      const Rgba p = got[y * kBandsWidth + x];
      if (p == kBlack && y == 6) {
        painted[x / kBandWidth]++;
        continue;
      }
      ASSERT_EQ(p, band_colour(x)) << x << "," << y;
    }
  }
  for (int band = 0; band < 3; band++) EXPECT_GE(painted[band], kBandWidth - 2) << band;
  // Undo brings the transparency back too.
  ASSERT_TRUE(history_undo(canvas));
  got = picture();
  for (int x = 0; x < kBandsWidth; x++) ASSERT_EQ(got[6 * kBandsWidth + x], band_colour(x)) << x;
}

TEST_F(TransparencyTest, EraserAndClearPaintOpaqueBackground) {
  open_banded();
  click_button("erase_button");
  drag(4, 4, 5, 4);
  pump();
  EXPECT_EQ(at(4, 4), kWhite);
  canvas_clear(canvas);
  pump();
  for (const Rgba &p : picture()) ASSERT_EQ(p, kWhite);
}

// Formats that hold alpha get it back exactly; the others the picture over
// white (JPEG within its loss).
TEST_F(TransparencyTest, SavedFilesKeepAlphaOrAreFlattenedOverWhite) {
  open_banded();
  struct Case {
    const char *name;
    bool keeps_alpha;
    int tolerance;
  };
  const Case cases[] = {{"a.png", true, 0}, {"a.tiff", true, 0}, {"a.ico", true, 0},
                        {"a.bmp", false, 0}, {"a.jpg", false, 12}};
  for (const Case &c : cases) {
    const std::string path = dir.file(c.name);
    ASSERT_TRUE(drawing_save_as(drawing(), path.c_str())) << c.name;
    GdkPixbuf *back = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
    ASSERT_NE(back, nullptr) << c.name;
    EXPECT_EQ(gdk_pixbuf_get_has_alpha(back), c.keeps_alpha) << c.name;
    std::string where;
    EXPECT_LE(bands_difference(back, c.keeps_alpha, std::string(c.name) == "a.tiff", &where),
              c.tolerance)
        << c.name << " " << where;
    g_object_unref(back);
  }
  // Saving never changed the picture itself.
  EXPECT_EQ(at(0, 0), band_colour(0));
}

// The window shows a grey checkerboard behind transparent pixels and the
// opaque ones as they are, zoomed or not; the checkerboard never gets into
// the picture.
TEST_F(TransparencyTest, CheckerboardBehindTransparencyAtEveryZoom) {
  open_banded();
  struct Case {
    int level;
    int factor;  // window pixels per picture pixel
  };
  for (const Case c : {Case{3, 1}, Case{6, 4}, Case{10, 16}}) {
    view_set_level(canvas->view, c.level);
    view_redraw(canvas->view);
    pump();
    bool light = false, dark = false;
    const int w = std::min(kBandWidth * c.factor, 200), h = std::min(kBandsHeight * c.factor, 200);
    const std::vector<guint32> shown = drawable_pixels(area->window, w, h);
    ASSERT_EQ(shown.size(), size_t(w) * h);
    for (int y = 0; y < h; y++) {
      for (int x = 0; x < w; x++) {
        const guint32 p = shown[y * w + x];
        ASSERT_TRUE(p == kCheckLight || p == kCheckDark) << c.level << " " << x << "," << y;
        light |= p == kCheckLight;
        dark |= p == kCheckDark;
      }
    }
    EXPECT_TRUE(light && dark) << c.level;
    // Half transparent: the band's straight colour blended over the board.
    const guint32 half = window_pixel(15 * c.factor, 1);
    auto near = [half](Rgba ground) {
      const Rgba want = over_colour(band_colour(15), ground);
      const int got[3] = {int(half >> 16), int(half >> 8 & 0xff), int(half & 0xff)};
      return std::abs(got[0] - want.r) <= 1 && std::abs(got[1] - want.g) <= 1 &&
             std::abs(got[2] - want.b) <= 1;
    };
    EXPECT_TRUE(near({0xcc, 0xcc, 0xcc, 255}) || near({0x99, 0x99, 0x99, 255}))
        << c.level << std::hex << " 0x" << half;
    EXPECT_EQ(window_pixel(25 * c.factor, 1), 0x010203u) << c.level;
  }
  EXPECT_EQ(at(0, 0), band_colour(0));
}

// Zoomed out, neighbours are blended weighed by their alpha: the colour a
// fully transparent pixel happens to hold never tints the view.
TEST_F(TransparencyTest, HiddenColoursOfTransparentPixelsNeverShowZoomedOut) {
  constexpr int kSide = 40;
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kSide, kSide);
  for (int y = 0; y < kSide; y++)
    for (int x = 0; x < kSide; x++)
      set_rgba(pixbuf, x, y, x % 3 ? Rgba{0, 255, 0, 0} : kBlack);
  ASSERT_TRUE(gdk_pixbuf_save(pixbuf, dir.file("hidden.png").c_str(), "png", nullptr, nullptr));
  g_object_unref(pixbuf);
  canvas_set_drawing(canvas, drawing_new_from_file(area, canvas->gc, dir.file("hidden.png").c_str()));
  for (double percent : {50.0, 25.0, 100.0, 400.0}) {
    zoom_to(canvas, percent);
    pump();
    const int side = static_cast<int>(kSide * percent / 100);
    for (guint32 p : drawable_pixels(area->window, side, side)) {
      const int r = p >> 16, g = p >> 8 & 0xff, b = p & 0xff;
      ASSERT_LE(g, std::max(r, b) + 1) << percent << "%: 0x" << std::hex << p;
    }
  }
}

// Whole-picture commands keep every pixel's alpha, and undo brings each
// picture back; only area they add takes the opaque background.
TEST_F(TransparencyTest, SizeAndFlipCommandsKeepAlpha) {
  struct Case {
    const char *name;
    std::function<bool()> run;  // a size change, or a menu item with its own undo step
    int width;
    std::function<Rgba(int x)> want;  // of row 0
  };
  const Case cases[] = {
      {"flip", [&] { gtk_menu_item_activate(GTK_MENU_ITEM(widget("flip_x_axis_menu")));
                     return false; },
       kBandsWidth, [](int x) { return band_colour(kBandsWidth - 1 - x); }},
      {"canvas", [&] { return drawing_resize_canvas(drawing(), kBandsWidth + 4, kBandsHeight, 0) ==
                              DRAWING_SIZE_DONE; },
       kBandsWidth + 4, [](int x) { return x < kBandsWidth ? band_colour(x) : kWhite; }},
      {"scale", [&] { return drawing_scale(drawing(), 2 * kBandsWidth, kBandsHeight,
                                           IMAGE_SCALE_PIXEL_EXACT) == DRAWING_SIZE_DONE; },
       2 * kBandsWidth, [](int x) { return band_colour(x / 2); }},
      {"rotate", [&] { return drawing_rotate_by(drawing(), 180) == DRAWING_SIZE_DONE; },
       kBandsWidth, [](int x) { return band_colour(kBandsWidth - 1 - x); }},
  };
  open_banded();
  for (const Case &c : cases) {
    // As the menu's size commands do.
    history_begin(canvas);
    if (c.run()) {
      drawing_modified(drawing());
      canvas_resize(canvas);
    }
    history_end(canvas);
    pump();
    ASSERT_EQ(drawing()->width, c.width) << c.name;
    EXPECT_TRUE(drawing()->has_alpha) << c.name;
    for (int x = 0; x < c.width; x++) ASSERT_EQ(at(x, 0), c.want(x)) << c.name << " " << x;
    ASSERT_TRUE(history_undo(canvas)) << c.name;
    ASSERT_EQ(drawing()->width, kBandsWidth) << c.name;
    for (int x = 0; x < kBandsWidth; x++) ASSERT_EQ(at(x, 0), band_colour(x)) << c.name << " " << x;
  }
}

// Every effect on a picture with alpha gives the colours it gives the same
// picture made opaque, and each pixel the alpha of the input pixel it comes
// from: spread moves whole pixels, every other effect keeps alpha in place.
TEST_F(TransparencyTest, EffectsKeepTheAlphaOfThePixelsTheyComeFrom) {
  // Red and green tell where a pixel came from; every kind of alpha.
  constexpr int kWidth = 48, kHeight = 40, kStepX = 5, kStepY = 6;
  const guchar kAlphas[] = {0, 1, 64, 127, 128, 200, 254, 255};
  const std::set<std::string> kMovesPixels = {"spread"};
  GdkPixbuf *input = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kWidth, kHeight);
  GdkPixbuf *opaque = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, kWidth, kHeight);
  std::mt19937 engine(5);
  for (int y = 0; y < kHeight; y++) {
    for (int x = 0; x < kWidth; x++) {
      const Rgba p = {guchar(x * kStepX), guchar(y * kStepY), guchar(engine()),
                      kAlphas[engine() % G_N_ELEMENTS(kAlphas)]};
      set_rgba(input, x, y, p);
      guchar *q = gdk_pixbuf_get_pixels(opaque) + y * gdk_pixbuf_get_rowstride(opaque) + x * 3;
      q[0] = p.r, q[1] = p.g, q[2] = p.b;
    }
  }
  ASSERT_TRUE(gdk_pixbuf_save(input, dir.file("alpha.png").c_str(), "png", nullptr, nullptr));
  ASSERT_TRUE(gdk_pixbuf_save(opaque, dir.file("opaque.png").c_str(), "png", nullptr, nullptr));
  g_object_unref(opaque);

  // Each effect's result on one picture, undone before the next; add noise
  // and spread draw the same random() sequence on both pictures.
  auto results = [&](const char *file) {
    VorpixDrawing *opened = drawing_new_from_file(area, canvas->gc, dir.file(file).c_str());
    EXPECT_NE(opened, nullptr) << file;
    std::vector<std::vector<Rgba>> out;
    if (!opened) return out;
    canvas_set_drawing(canvas, opened);
    pump();
    unsigned seed = 1;
    for (const VorpixEffectEntry *entry = effect_table; entry->name; entry++) {
      srandom(seed++);
      gtk_menu_item_activate(GTK_MENU_ITEM(widget(entry->name)));
      pump();
      out.push_back(picture());
      EXPECT_TRUE(history_undo(canvas)) << entry->name;
    }
    return out;
  };
  const std::vector<std::vector<Rgba>> got = results("alpha.png"), want = results("opaque.png");
  ASSERT_EQ(got.size(), 15u);
  ASSERT_EQ(want.size(), 15u);
  for (int e = 0; e < 15; e++) {
    const char *name = effect_table[e].name;
    const bool moves = kMovesPixels.count(name) > 0;
    ASSERT_EQ(got[e].size(), size_t(kWidth) * kHeight) << name;
    for (int y = 0; y < kHeight; y++) {
      for (int x = 0; x < kWidth; x++) {
        const Rgba g = got[e][y * kWidth + x], w = want[e][y * kWidth + x];
        ASSERT_EQ((Rgba{g.r, g.g, g.b, 255}), w) << name << " " << x << "," << y;
        const Rgba from = moves ? rgba_of(input, g.r / kStepX, g.g / kStepY) : rgba_of(input, x, y);
        ASSERT_EQ(g.a, from.a) << name << " " << x << "," << y;
        if (moves) {
          ASSERT_EQ(g, from) << name << " " << x << "," << y;
        }
      }
    }
  }
  g_object_unref(input);
}

// A free turn keeps the alpha of every turned pixel; the corners it
// uncovers are the background colour, opaque.
TEST_F(TransparencyTest, FreeRotationKeepsAlphaAndFillsTheCornersOpaque) {
  constexpr double kTurn = 30;
  open_banded();
  // The turn of the picture's pixels, whose uncovered corners are
  // transparent white: a colour the banded picture does not hold.
  VorpixImage *turned = drawing_create_image(drawing());
  ASSERT_NE(turned, nullptr);
  ASSERT_EQ(image_rotate(turned, kTurn), 0);
  constexpr Rgba kUncovered = {255, 255, 255, 0};

  history_begin(canvas);
  ASSERT_EQ(drawing_rotate_by(drawing(), kTurn), DRAWING_SIZE_DONE);
  drawing_modified(drawing());
  canvas_resize(canvas);
  history_end(canvas);
  pump();
  ASSERT_TRUE(drawing()->has_alpha);
  ASSERT_EQ(drawing()->width, image_width(turned));
  ASSERT_EQ(drawing()->height, image_height(turned));
  const std::vector<Rgba> got = picture();
  int corners = 0, clear = 0, half = 0;
  for (int y = 0; y < drawing()->height; y++) {
    for (int x = 0; x < drawing()->width; x++) {
      const Rgba source = rgba_of(image_pixbuf(turned), x, y);
      const bool corner = source == kUncovered;
      corners += corner;
      clear += source.a == 0 && !corner;
      half += source.a == 128;
      ASSERT_EQ(got[y * drawing()->width + x], corner ? kWhite : source) << x << "," << y;
    }
  }
  EXPECT_GT(corners, 0);
  EXPECT_GT(clear, 0);
  EXPECT_GT(half, 0);
  image_free(turned);
}

}  // namespace
