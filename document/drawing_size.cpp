#include "document/drawing_size.h"

#include <cmath>
#include <utility>

#include "document/decoder.h"
#include "document/drawing.h"
#include "document/history.h"
#include "document/work.h"
#include "imaging/image.h"
#include "panels/color_palette.h"
#include "tools/selection.h"

namespace {

constexpr double kQuarterTurn = 90;
constexpr double kFullTurn = 360;
constexpr double kPi = 3.141592653589793;

void background_rgb(VorpixDrawing *drawing, guchar rgb[3]) {
  GdkGCValues values = {};
  gdk_gc_get_values(drawing->gc, &values);
  convert_color(&values.background, &rgb[0], &rgb[1], &rgb[2]);
}

// Takes the image as the picture and frees it.
DrawingSizeResult take(VorpixDrawing *drawing, VorpixImage *image) {
  const int taken = drawing_take_image(drawing, image, 0);
  image_free(image);
  return taken ? DRAWING_SIZE_DONE : DRAWING_SIZE_NO_MEMORY;
}

VorpixImage *whole_picture(VorpixDrawing *drawing) {
  GdkRectangle all = {0, 0, drawing->width, drawing->height};
  return image_try_new_from_pixmap(drawing->backing_pixmap, all);
}

// Runs job on a thread (work.h), the status bar naming the menu item: job
// turns the picture (taken over) into the image that becomes the drawing's,
// the picture itself or a new one, or null when its memory cannot be had.
// A window closed meanwhile drops the result.
DrawingSizeResult transform_and_take(VorpixDrawing *drawing, const char *item_name,
                                     VorpixImage *picture,
                                     const std::function<VorpixImage *(VorpixImage *)> &job) {
  GtkWidget *window = drawing->toplevel;
  VorpixImage *result = nullptr;
  const WorkEnd end = work_run(window, work_command_name(window, item_name), WORK_CLOSE_DROPS,
                               [&] {
                                 result = job(picture);
                                 return 0;
                               });
  if (result != picture) image_free(picture);
  if (end == WORK_DONE && result) return take(drawing, result);
  if (result) image_free(result);
  return end == WORK_CLOSED ? DRAWING_SIZE_CANCELLED : DRAWING_SIZE_NO_MEMORY;
}

}  // namespace

DrawingSizeResult drawing_crop(VorpixDrawing *drawing, const VorpixPointArray *outline) {
  GdkRectangle box;
  if (!image_outline_box(outline, drawing->width, drawing->height, &box))
    return DRAWING_SIZE_INVALID;
  // The even-odd rule of the outline's pixel edges, as the box has it.
  GdkRegion *inside = gdk_region_polygon(point_array_data(outline), point_array_size(outline),
                                         GDK_EVEN_ODD_RULE);
  const int taken =
      drawing_take_placed(drawing, box.width, box.height, -box.x, -box.y, inside);
  gdk_region_destroy(inside);
  return taken ? DRAWING_SIZE_DONE : DRAWING_SIZE_NO_MEMORY;
}

DrawingSizeResult drawing_resize_canvas(VorpixDrawing *drawing, int width, int height,
                                        int anchor) {
  if (!image_size_allowed(width, height) || anchor < 0 || anchor >= IMAGE_ANCHOR_COUNT)
    return DRAWING_SIZE_INVALID;
  int x = 0, y = 0;
  image_anchor_offset(anchor, drawing->width, drawing->height, width, height, &x, &y);
  return drawing_take_placed(drawing, width, height, x, y, nullptr) ? DRAWING_SIZE_DONE
                                                                     : DRAWING_SIZE_NO_MEMORY;
}

DrawingSizeResult drawing_scale(VorpixDrawing *drawing, int width, int height,
                                ImageScaleKind kind) {
  if (!image_size_allowed(width, height)) return DRAWING_SIZE_INVALID;
  VorpixImage *picture = whole_picture(drawing);
  if (!picture) return DRAWING_SIZE_NO_MEMORY;
  return transform_and_take(drawing, "scale_image_menu", picture, [=](VorpixImage *p) {
    return image_scale(p, width, height, kind);
  });
}

void drawing_rotated_size(int width, int height, double degrees, gint64 *new_width,
                          gint64 *new_height) {
  const double t = degrees * kPi / 180;
  const double c = std::fabs(std::cos(t)), s = std::fabs(std::sin(t));
  *new_width = static_cast<gint64>(c * width + s * height + 0.5);
  *new_height = static_cast<gint64>(s * width + c * height + 0.5);
}

DrawingSizeResult drawing_rotate_by(VorpixDrawing *drawing, double degrees,
                                    const char *command) {
  if (!std::isfinite(degrees) || std::fabs(degrees) > kFullTurn) return DRAWING_SIZE_INVALID;
  double turn = std::fmod(degrees, kFullTurn);
  if (turn < 0) turn += kFullTurn;
  const bool right_angle = std::fmod(turn, kQuarterTurn) == 0;
  gint64 width = drawing->width, height = drawing->height;
  if (!right_angle) drawing_rotated_size(drawing->width, drawing->height, turn, &width, &height);
  else if (turn == kQuarterTurn || turn == 3 * kQuarterTurn) std::swap(width, height);
  // Refused before anything is allocated: 45 degrees of 32767 by 1 would
  // take 2 GiB.  The angle was fine; the result is more than can be held.
  if (!image_size_allowed(width, height)) return DRAWING_SIZE_NO_MEMORY;

  VorpixImage *picture = whole_picture(drawing);
  if (!picture) return DRAWING_SIZE_NO_MEMORY;
  // The corners a free turn uncovers take the opaque background colour in
  // the image rather than through a mask on the server: one transfer, and
  // the turned pixels keep their alpha.  The quarter turns of the image
  // buffer count counter-clockwise.
  guchar rgb[3];
  background_rgb(drawing, rgb);
  return transform_and_take(drawing, command, picture, [=](VorpixImage *p) {
    const int refused = right_angle
                            ? image_rotate_simple(p, static_cast<int>(kFullTurn - turn) % 360)
                            : image_rotate_filled(p, turn, rgb);
    return refused ? nullptr : p;
  });
}

DrawingSizeResult drawing_revert(VorpixDrawing *drawing, GtkWidget *drawing_area) {
  GError *error = nullptr;
  VorpixDrawing *saved =
      drawing_new_from_file(drawing_area, drawing->gc, drawing->filename->str, &error);
  if (!saved) {
    const bool cancelled = g_error_matches(error, DECODER_ERROR, DECODER_ERROR_CANCELLED);
    g_clear_error(&error);
    return cancelled ? DRAWING_SIZE_CANCELLED : DRAWING_SIZE_UNREADABLE;
  }
  // The saved picture's pixmap moves over, with the alpha it may hold and
  // the GC painting it; the rest of the reading goes.
  std::swap(drawing->has_alpha, saved->has_alpha);
  std::swap(drawing->paint_gc, saved->paint_gc);
  GdkPixmap *old = drawing_swap_pixmap(drawing, saved->backing_pixmap, saved->width,
                                       saved->height);
  saved->backing_pixmap = nullptr;
  history_pixmap_released(drawing, old);
  drawing_destroy(saved);
  drawing->modified = 0;
  drawing_update_title(drawing);
  return DRAWING_SIZE_DONE;
}
