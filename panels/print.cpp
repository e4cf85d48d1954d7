#include "panels/print.h"

#include <cairo.h>

#include "imaging/image.h"

namespace {

constexpr int kPages = 1;
constexpr guint32 kOpaque = 0xff;

// The user's choices of the last successful print; one reference held.
GtkPrintSettings *saved_settings = nullptr;

void begin_print(GtkPrintOperation *operation, GtkPrintContext *, gpointer) {
  gtk_print_operation_set_n_pages(operation, kPages);
}

// One pixel over white paper, in Cairo's RGB24: a native-endian 32-bit word,
// the colour composited with straight alpha and rounded as
// image_over_colour does (the opaque pixels of a drawing unchanged).
guint32 rgb24_over_white(const guchar *pixel, bool has_alpha) {
  const guint32 alpha = has_alpha ? pixel[3] : kOpaque;
  auto over = [alpha](guint32 sample) {
    return (sample * alpha + kOpaque * (kOpaque - alpha) + kOpaque / 2) / kOpaque;
  };
  return kOpaque << 24 | over(pixel[0]) << 16 | over(pixel[1]) << 8 | over(pixel[2]);
}

}  // namespace

GtkPrintOperation *print_operation_new(VorpixImage *image, const char *job_name) {
  GtkPrintOperation *print = gtk_print_operation_new();
  g_assert(print);
  g_signal_connect(print, "draw_page", G_CALLBACK(draw_page), image);
  g_signal_connect(print, "begin_print", G_CALLBACK(begin_print), image);
  if (saved_settings) {
    // A copy, so nothing a later run does to its settings reaches the saved ones.
    GtkPrintSettings *settings = gtk_print_settings_copy(saved_settings);
    gtk_print_operation_set_print_settings(print, settings);
    g_object_unref(settings);
  }
  gtk_print_operation_set_job_name(print, job_name);
  return print;
}

void print_keep_settings(GtkPrintOperation *operation, GtkPrintOperationResult result) {
  if (result != GTK_PRINT_OPERATION_RESULT_APPLY) return;
  GtkPrintSettings *settings = gtk_print_operation_get_print_settings(operation);
  if (!settings) return;
  if (saved_settings) g_object_unref(saved_settings);
  saved_settings = gtk_print_settings_copy(settings);
}

GtkPrintSettings *print_saved_settings() { return saved_settings; }

void do_print(VorpixImage *image, const char *job_name) {
  GtkPrintOperation *print = print_operation_new(image, job_name);
  // Errors and cancellation are the dialog's business; they only keep the
  // settings saved before.
  GtkPrintOperationResult result =
      gtk_print_operation_run(print, GTK_PRINT_OPERATION_ACTION_PRINT_DIALOG, nullptr, nullptr);
  print_keep_settings(print, result);
  g_object_unref(print);
}

void do_print_preview(VorpixImage *, const char *) {}

cairo_surface_t *print_surface_new(const VorpixImage *image) {
  g_return_val_if_fail(image != nullptr, nullptr);
  const int width = image_width(image);
  const int height = image_height(image);
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return surface;
  const int rowstride = image_rowstride(image);
  const int pixelsize = image_pixelsize(image);
  const bool has_alpha = gdk_pixbuf_get_has_alpha(image_pixbuf(image));
  const guchar *pixels = image_pixels(image);
  cairo_surface_flush(surface);
  unsigned char *data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; y++) {
    const guchar *row = pixels + static_cast<size_t>(y) * rowstride;
    guint32 *out = reinterpret_cast<guint32 *>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < width; x++) out[x] = rgb24_over_white(row + x * pixelsize, has_alpha);
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

void draw_page(GtkPrintOperation *, GtkPrintContext *context, gint, gpointer data) {
  VorpixImage *image = static_cast<VorpixImage *>(data);
  g_assert(image);
  cairo_t *cr = gtk_print_context_get_cairo_context(context);
  cairo_surface_t *surface = print_surface_new(image);
  // Without memory for the pixels the page stays blank.
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    // One image pixel per unit of the context's own coordinates: no scaling.
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);
    // The context lets go of the picture; the page keeps what it needs.
    cairo_set_source_rgb(cr, 0, 0, 0);
  }
  cairo_surface_destroy(surface);
}
