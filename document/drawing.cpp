#include "document/drawing.h"

#include <glade/glade.h>
#include <glib/gi18n.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "document/decoder.h"
#include "document/drawing_size.h"
#include "document/file.h"
#include "document/history.h"
#include "document/size_dialogs.h"
#include "document/recovery.h"
#include "document/work.h"
#include "imaging/image.h"
#include "tools/selection.h"

namespace {

// X cannot address pixmaps with a side beyond this.
constexpr int kMaxPixmapSide = 32767;
constexpr char kRevertItem[] = "revert_menu";
// Pictures with transparency keep it in the top byte of 32-bit pixels.
constexpr int kAlphaDepth = 32;
constexpr guint32 kOpaqueBits = 0xFF000000;

using ChangeWatch = std::pair<DrawingChangeFunc, gpointer>;
std::vector<ChangeWatch> change_watches;

bool is_right_angle(int degrees) {
  return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
}

// The common start of every creation.  The record is not yet complete.
VorpixDrawing *drawing_alloc(GtkWidget *drawing_area, GdkGC *gc) {
  VorpixDrawing *drawing = g_new0(VorpixDrawing, 1);
  g_assert(drawing);
  g_assert(drawing_area);
  g_assert(gc);
  drawing->toplevel = gtk_widget_get_toplevel(drawing_area);
  drawing->window = drawing_area->window;
  drawing->gc = GDK_GC(g_object_ref(gc));
  drawing->filename = g_string_new(_("untitled.png"));
  drawing->untitled = 1;
  recovery_drawing_added(drawing);
  return drawing;
}

// Makes pixmap the picture and cuts the GC's painting to its size.
void set_pixmap(VorpixDrawing *drawing, GdkPixmap *pixmap, int width, int height) {
  drawing->backing_pixmap = pixmap;
  drawing->width = width;
  drawing->height = height;
  gdk_gc_set_clip_origin(drawing->gc, 0, 0);
  GdkRectangle clip = {0, 0, width, height};
  gdk_gc_set_clip_rectangle(drawing->gc, &clip);
  if (drawing->has_alpha && !drawing->paint_gc) drawing->paint_gc = gdk_gc_new(pixmap);
  if (drawing->paint_gc) {
    gdk_gc_set_clip_origin(drawing->paint_gc, 0, 0);
    gdk_gc_set_clip_rectangle(drawing->paint_gc, &clip);
  }
}

// The screen's colormap for pixels with alpha, null when it has none.
GdkColormap *alpha_colormap(VorpixDrawing *drawing) {
  return gdk_screen_get_rgba_colormap(gtk_widget_get_screen(drawing->toplevel));
}

// A pixmap of that size for window (with alpha under colormap, if any); null
// when the X server refuses one.
GdkPixmap *new_pixmap(GdkWindow *window, int width, int height, GdkColormap *colormap) {
  if (width < 1 || height < 1 || width > kMaxPixmapSide || height > kMaxPixmapSide) return nullptr;
  gdk_error_trap_push();
  GdkPixmap *pixmap = gdk_pixmap_new(window, width, height, colormap ? kAlphaDepth : -1);
  if (pixmap && colormap) gdk_drawable_set_colormap(pixmap, colormap);
  gdk_flush();
  if (gdk_error_trap_pop() == 0 || !pixmap) return pixmap;
  // Freeing the pixmap the server refused raises an error of its own.
  gdk_error_trap_push();
  g_object_unref(pixmap);
  gdk_flush();
  gdk_error_trap_pop();
  return nullptr;
}

// Gives the drawing a pixmap of that size, or returns false (the drawing is
// unchanged) when the X server refuses one.
bool try_create_pixmap(VorpixDrawing *drawing, int width, int height) {
  if (!drawing->toplevel->window) return false;  // the window is gone
  GdkColormap *colormap = drawing->has_alpha ? alpha_colormap(drawing) : nullptr;
  if (drawing->has_alpha && !colormap) return false;
  GdkPixmap *pixmap = new_pixmap(drawing->toplevel->window, width, height, colormap);
  if (!pixmap) return false;
  set_pixmap(drawing, pixmap, width, height);
  return true;
}

// Fills the whole pixmap with the GC's background colour.
void fill_with_background(VorpixDrawing *drawing) {
  GdkGCValues values;
  gdk_gc_get_values(drawing->gc, &values);
  gdk_gc_set_foreground(drawing->gc, &values.background);
  gdk_draw_rectangle(drawing->backing_pixmap, drawing_paint_gc(drawing), TRUE, 0, 0,
                     drawing->width, drawing->height);
  gdk_gc_set_foreground(drawing->gc, &values.foreground);
}

// A drawing whose pixmap holds the image; null when X refuses the pixmap.
// A picture with transparency keeps it when the screen can hold alpha;
// otherwise it is shown over white, as it would be saved.
VorpixDrawing *drawing_from_image(GtkWidget *drawing_area, GdkGC *gc, VorpixImage *image) {
  VorpixDrawing *drawing = drawing_alloc(drawing_area, gc);
  if (image_has_transparency(image)) {
    drawing->has_alpha = alpha_colormap(drawing) != nullptr;
    if (!drawing->has_alpha) image_over_colour(image, 255, 255, 255);
  }
  if (!try_create_pixmap(drawing, image_width(image), image_height(image))) {
    drawing_destroy(drawing);
    return nullptr;
  }
  image_draw_on_pixmap(image, &drawing->backing_pixmap, drawing_paint_gc(drawing));
  return drawing;
}

GtkWindow *parent_window(VorpixDrawing *drawing) {
  return GTK_IS_WINDOW(drawing->toplevel) ? GTK_WINDOW(drawing->toplevel) : nullptr;
}

// A file name as the user reads it: valid UTF-8 whatever the name's own
// encoding.
class DisplayName {
 public:
  explicit DisplayName(const char *filename) : text_(g_filename_display_name(filename)) {}
  ~DisplayName() { g_free(text_); }
  DisplayName(const DisplayName &) = delete;
  DisplayName &operator=(const DisplayName &) = delete;
  const char *get() const { return text_; }

 private:
  gchar *text_;
};

int run_and_destroy(GtkWidget *dialog) {
  int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return response;
}

}  // namespace

void drawing_create_pixmap(VorpixDrawing *drawing, int width, int height) {
  drawing->backing_pixmap = nullptr;
  try_create_pixmap(drawing, width, height);
  g_assert(drawing->backing_pixmap);
}

GdkPixmap *drawing_swap_pixmap(VorpixDrawing *drawing, GdkPixmap *pixmap, int width, int height) {
  g_assert(drawing);
  g_assert(pixmap);
  GdkPixmap *old = drawing->backing_pixmap;
  set_pixmap(drawing, pixmap, width, height);
  return old;
}

bool drawing_blank_fits(GdkWindow *window, int width, int height) {
  GdkPixmap *pixmap = new_pixmap(window, width, height, nullptr);
  if (pixmap) g_object_unref(pixmap);
  return pixmap != nullptr;
}

VorpixDrawing *drawing_new_blank(GtkWidget *drawing_area, GdkGC *gc, int width, int height) {
  VorpixDrawing *drawing = drawing_alloc(drawing_area, gc);
  if (width == 0 || height == 0) gdk_drawable_get_size(drawing_area->window, &width, &height);
  drawing_update_title(drawing);
  if (!try_create_pixmap(drawing, width, height)) {
    drawing_destroy(drawing);
    return nullptr;
  }
  gdk_draw_rectangle(drawing->backing_pixmap, drawing->toplevel->style->white_gc, TRUE, 0, 0,
                     width, height);
  return drawing;
}

VorpixDrawing *drawing_new_from_file(GtkWidget *drawing_area, GdkGC *gc, const char *filename,
                                     GError **error) {
  g_assert(filename);
  g_assert(*filename);
  // The main loop runs during the decode: the area may go meanwhile.
  g_object_ref(drawing_area);
  GdkPixbuf *pixbuf =
      decoder_decode_file(filename, gtk_widget_get_toplevel(drawing_area), error);
  const bool gone = !GTK_WIDGET_REALIZED(drawing_area) ||
                    (GTK_OBJECT_FLAGS(drawing_area) & GTK_IN_DESTRUCTION);
  g_object_unref(drawing_area);
  if (gone) {
    if (pixbuf) g_object_unref(pixbuf);
    g_clear_error(error);
    g_set_error(error, DECODER_ERROR, DECODER_ERROR_CANCELLED, "the window was closed");
    return nullptr;
  }
  if (!pixbuf) return nullptr;
  VorpixImage *image = g_new0(VorpixImage, 1);
  image->pixbuf = pixbuf;
  VorpixDrawing *drawing = drawing_from_image(drawing_area, gc, image);
  image_free(image);
  // Named only once the picture is held, so a failure leaves no trace.
  if (drawing) {
    drawing_set_filename(drawing, filename);
    file_record_recent(filename);
  }
  return drawing;
}

VorpixDrawing *drawing_new_from_desktop(GtkWidget *drawing_area, GdkGC *gc) {
  VorpixImage *image = image_new_from_desktop();
  if (!image) return nullptr;
  VorpixDrawing *drawing = drawing_from_image(drawing_area, gc, image);
  image_free(image);
  if (drawing) {
    drawing->modified = 1;
    drawing_update_title(drawing);
  }
  return drawing;
}

void drawing_destroy(VorpixDrawing *drawing) {
  g_assert(drawing);
  recovery_drawing_gone(drawing);
  g_object_unref(drawing->gc);
  if (drawing->paint_gc) g_object_unref(drawing->paint_gc);
  if (drawing->backing_pixmap) g_object_unref(drawing->backing_pixmap);
  g_string_free(drawing->filename, TRUE);
  g_free(drawing);
}

void drawing_set_filename(VorpixDrawing *drawing, const char *filename) {
  g_assert(drawing);
  g_assert(filename);
  g_assert(drawing->filename);
  if (!*filename) {
    g_warning("refusing to set empty filename.");
    return;
  }
  g_string_assign(drawing->filename, filename);
  drawing->untitled = 0;
  drawing_update_title(drawing);
}

void drawing_set_recovered(VorpixDrawing *drawing, const char *filename) {
  if (filename && *filename) {
    g_string_assign(drawing->filename, filename);
    drawing->untitled = 0;
  } else {
    g_string_assign(drawing->filename, _("untitled.png"));
    drawing->untitled = 1;
  }
  drawing->modified = 1;
  drawing_update_title(drawing);
}

void drawing_update_title(VorpixDrawing *drawing) {
  GString *title = g_string_new(nullptr);
  if (drawing->untitled) {
    g_string_append(title, _("Untitled"));
  } else {
    gchar *base = g_filename_display_basename(drawing->filename->str);
    g_string_append(title, base);
    g_free(base);
  }
  if (drawing->modified) g_string_append(title, _(" (modified)"));
  g_string_append(title, _(" - vorpix"));
  if (GTK_IS_WINDOW(drawing->toplevel))
    gtk_window_set_title(GTK_WINDOW(drawing->toplevel), title->str);
  g_string_free(title, TRUE);
  // The title shows what Revert needs: a file of its own and changes since.
  GladeXML *xml = drawing->toplevel ? glade_get_widget_tree(drawing->toplevel) : nullptr;
  if (GtkWidget *revert = xml ? glade_xml_get_widget(xml, kRevertItem) : nullptr)
    gtk_widget_set_sensitive(revert, !drawing->untitled && drawing->modified);
}

void drawing_modified(VorpixDrawing *drawing) {
  drawing_modified_area(drawing, GdkRectangle{0, 0, drawing->width, drawing->height});
}

void drawing_modified_area(VorpixDrawing *drawing, GdkRectangle area) {
  history_drawing_modified(drawing);
  if (!drawing->modified) {
    drawing->modified = 1;
    drawing_update_title(drawing);
  }
  drawing_changed(drawing, area);
}

GdkRectangle drawing_line_area(int x1, int y1, int x2, int y2, int line_width) {
  // Half the width each side (a projecting cap reaches as far), and a pixel
  // for the rasterizer's rounding.
  const int reach = std::max(line_width, 1) / 2 + 1;
  const int left = std::min(x1, x2) - reach, top = std::min(y1, y2) - reach;
  return {left, top, std::max(x1, x2) + reach + 1 - left, std::max(y1, y2) + reach + 1 - top};
}

void drawing_add_change_watch(DrawingChangeFunc func, gpointer data) {
  change_watches.emplace_back(func, data);
}

void drawing_remove_change_watch(DrawingChangeFunc func, gpointer data) {
  auto it = std::find(change_watches.begin(), change_watches.end(), ChangeWatch(func, data));
  if (it != change_watches.end()) change_watches.erase(it);
}

void drawing_changed(VorpixDrawing *drawing, GdkRectangle area) {
  GdkRectangle picture = {0, 0, drawing->width, drawing->height};
  GdkRectangle part;
  if (area.width <= 0 || area.height <= 0 || !gdk_rectangle_intersect(&area, &picture, &part))
    return;
  // A watch may remove itself while it is called.
  const std::vector<ChangeWatch> watches = change_watches;
  for (const ChangeWatch &watch : watches) watch.first(drawing, &part, watch.second);
}

GdkGC *drawing_paint_gc(VorpixDrawing *drawing) {
  if (!drawing->paint_gc) return drawing->gc;
  GdkGCValues values;
  gdk_gc_get_values(drawing->gc, &values);
  // The pixels of the shared GC are the screen's, without alpha bits.
  values.foreground.pixel |= kOpaqueBits;
  values.background.pixel |= kOpaqueBits;
  gdk_gc_set_values(drawing->paint_gc, &values,
                    static_cast<GdkGCValuesMask>(
                        GDK_GC_FOREGROUND | GDK_GC_BACKGROUND | GDK_GC_FUNCTION | GDK_GC_FILL |
                        GDK_GC_LINE_WIDTH | GDK_GC_LINE_STYLE | GDK_GC_CAP_STYLE |
                        GDK_GC_JOIN_STYLE));
  return drawing->paint_gc;
}

int drawing_in_bounds(VorpixDrawing *drawing, int x, int y) {
  return x >= 0 && x <= drawing->width && y >= 0 && y <= drawing->height;
}

void drawing_clamp_point(VorpixDrawing *drawing, int *x, int *y) {
  *x = std::clamp(*x, 0, drawing->width);
  *y = std::clamp(*y, 0, drawing->height);
}

VorpixImage *drawing_create_image(VorpixDrawing *drawing) {
  GdkRectangle area = {0, 0, drawing->width, drawing->height};
  return image_new_from_pixmap(drawing->backing_pixmap, area);
}

int drawing_save(VorpixDrawing *drawing) {
  // A copy: saving renames the drawing, which rewrites filename.
  gchar *name = g_strdup(drawing->filename->str);
  if (drawing->untitled && g_file_test(name, G_FILE_TEST_EXISTS)) {
    DisplayName shown(name);
    GtkWidget *dialog = gtk_message_dialog_new(
        parent_window(drawing), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO,
        _("The file %s already exists.\n\nDo you want to overwrite it?"), shown.get());
    if (run_and_destroy(dialog) == GTK_RESPONSE_NO) {
      g_free(name);
      return 0;
    }
  }
  int written = drawing_save_as(drawing, name);
  g_free(name);
  return written;
}

int drawing_save_as(VorpixDrawing *drawing, const char *filename) {
  g_assert(drawing);
  VorpixImage *image = drawing_create_image(drawing);
  if (!image) {
    size_dialog_show_no_memory(parent_window(drawing), _("save the picture"));
    return 0;
  }
  GError *error = nullptr;
  gboolean written = FALSE;
  // Encoding runs off the main thread; the window cannot close meanwhile.
  GtkWidget *window = drawing->toplevel;
  const WorkEnd end =
      work_run(window, work_command_name(window, "save_menu"), WORK_CLOSE_REFUSED, [&] {
        written = image_write(image, filename, &error);
        return 0;
      });
  image_free(image);
  if (end == WORK_NO_MEMORY && !error)
    g_set_error_literal(&error, G_FILE_ERROR, G_FILE_ERROR_NOMEM, g_strerror(ENOMEM));
  if (written) {
    drawing->modified = 0;
    drawing_set_filename(drawing, filename);
    recovery_drawing_saved(drawing);
    file_record_recent(filename);
    return 1;
  }
  DisplayName shown(filename);
  GtkWidget *dialog = gtk_message_dialog_new(
      parent_window(drawing), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK,
      _("Failed to save file %s.\n\n%s"), shown.get(),
      error && error->message ? error->message : "");
  run_and_destroy(dialog);
  g_clear_error(&error);
  return 0;
}

int drawing_prompt_to_save(VorpixDrawing *drawing) {
  // A command still working on the picture is a change not yet saved.
  if (!drawing->modified && !work_busy(drawing->toplevel)) return 0;
  DisplayName shown(drawing->filename->str);
  GtkWidget *dialog = gtk_message_dialog_new(
      parent_window(drawing), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE,
      _("Do you want to save the changes you made to \"%s\"?\n"
        "Your changes will be lost if you don't save them."),
      shown.get());
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), GTK_STOCK_DISCARD, GTK_RESPONSE_NO,
                         GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_SAVE, GTK_RESPONSE_YES,
                         nullptr);
  // Return saves; nothing but the discard button itself gives the changes up.
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES);
  gtk_widget_grab_focus(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES));
  int response = run_and_destroy(dialog);
  while (gtk_events_pending()) gtk_main_iteration();

  if (response == GTK_RESPONSE_NO) return 0;
  if (response != GTK_RESPONSE_YES) return 1;  // cancel, Escape, the window manager's close
  // A drawing without a name of its own is saved where the user says.
  const int written = drawing->untitled ? file_save_drawing_as(drawing) : drawing_save(drawing);
  return written ? 0 : 1;
}

void drawing_clear(VorpixDrawing *drawing) { fill_with_background(drawing); }

void drawing_clear_selection(VorpixDrawing *drawing, VorpixPointArray *outline) {
  int n = point_array_size(outline);
  if (n < 3) return;
  GdkGC *gc = drawing->gc;
  gdk_gc_set_clip_origin(gc, 0, 0);
  GdkRectangle clip = {0, 0, drawing->width, drawing->height};
  gdk_gc_set_clip_rectangle(gc, &clip);

  GdkGCValues values;
  gdk_gc_get_values(gc, &values);
  gdk_gc_set_foreground(gc, &values.background);
  GdkPoint *points = point_array_data(outline);
  gdk_draw_polygon(drawing->backing_pixmap, drawing_paint_gc(drawing), TRUE, points, n);
  gdk_gc_set_foreground(gc, &values.foreground);
  GdkRectangle box;
  point_array_bounding_rectangle(outline, &box);
  drawing_changed(drawing, box);
}

int drawing_take_image(VorpixDrawing *drawing, const VorpixImage *image, int over_background) {
  // The old picture goes only once the server has given a pixmap for the
  // new one; if it refuses, the drawing stays as it was.
  GdkPixmap *old = drawing->backing_pixmap;
  if (!try_create_pixmap(drawing, image_width(image), image_height(image))) return 0;
  history_pixmap_released(drawing, old);
  VorpixImage *shown = const_cast<VorpixImage *>(image);
  if (over_background) {
    fill_with_background(drawing);
    GdkRectangle all = {0, 0, drawing->width, drawing->height};
    image_render(shown, drawing->backing_pixmap, 0, 0, all);
  } else {
    image_draw_on_pixmap(shown, &drawing->backing_pixmap, drawing_paint_gc(drawing));
  }
  return 1;
}

int drawing_take_placed(VorpixDrawing *drawing, int width, int height, int x, int y,
                        const GdkRegion *kept) {
  GdkPixmap *old = drawing->backing_pixmap;
  const GdkRectangle placed = {x, y, drawing->width, drawing->height};
  if (!try_create_pixmap(drawing, width, height)) return 0;
  // What keeps an old pixel, in the new picture's coordinates.
  const GdkRectangle whole = {0, 0, width, height};
  GdkRegion *copied = gdk_region_rectangle(&placed);
  if (kept) {
    GdkRegion *inside = gdk_region_copy(kept);
    gdk_region_offset(inside, x, y);
    gdk_region_intersect(copied, inside);
    gdk_region_destroy(inside);
  }
  GdkRegion *shown = gdk_region_rectangle(&whole);
  gdk_region_intersect(copied, shown);

  // The rest is the background, painted as a clear paints it.
  gdk_region_subtract(shown, copied);
  GdkRectangle *rects = nullptr;
  int count = 0;
  gdk_region_get_rectangles(shown, &rects, &count);
  if (count > 0) {
    GdkGCValues values;
    gdk_gc_get_values(drawing->gc, &values);
    gdk_gc_set_foreground(drawing->gc, &values.background);
    GdkGC *paint = drawing_paint_gc(drawing);
    for (int i = 0; i < count; i++)
      gdk_draw_rectangle(drawing->backing_pixmap, paint, TRUE, rects[i].x, rects[i].y,
                         rects[i].width, rects[i].height);
    gdk_gc_set_foreground(drawing->gc, &values.foreground);
  }
  g_free(rects);
  gdk_region_destroy(shown);

  GdkRectangle box;
  gdk_region_get_clipbox(copied, &box);
  if (box.width > 0 && box.height > 0) {
    GdkGC *copy = gdk_gc_new(drawing->backing_pixmap);
    gdk_gc_set_exposures(copy, FALSE);
    gdk_gc_set_clip_region(copy, copied);
    gdk_draw_drawable(drawing->backing_pixmap, copy, old, box.x - x, box.y - y, box.x, box.y,
                      box.width, box.height);
    g_object_unref(copy);
  }
  gdk_region_destroy(copied);
  history_pixmap_released(drawing, old);
  return 1;
}

int drawing_rotate(VorpixDrawing *drawing, int degrees, const char *command) {
  // Quarter turns of the image buffer count counter-clockwise, free turns
  // clockwise; the size command counts every turn clockwise.
  const int turn = is_right_angle(degrees) ? (360 - degrees) % 360 : degrees;
  if (drawing_rotate_by(drawing, turn, command) != DRAWING_SIZE_DONE) return 0;
  drawing_modified(drawing);
  return 1;
}

void drawing_copy_to_desktop(VorpixDrawing *drawing) {
  GdkWindow *root = gdk_get_default_root_window();
  if (drawing->has_alpha) {
    // The desktop has no alpha: it gets the picture over white.
    VorpixImage *image = drawing_create_image(drawing);
    if (!image) return;
    image_over_colour(image, 255, 255, 255);
    GdkPixmap *flat = gdk_pixmap_new(root, drawing->width, drawing->height, -1);
    image_draw_on_pixmap(image, &flat, drawing->toplevel->style->white_gc);
    image_free(image);
    gdk_window_set_back_pixmap(root, flat, FALSE);
    g_object_unref(flat);
  } else {
    gdk_window_set_back_pixmap(root, drawing->backing_pixmap, FALSE);
  }
  gdk_window_clear(root);
  gdk_flush();
}
