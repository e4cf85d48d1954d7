// Printing the picture as one page through the toolkit's print operation,
// rendered with Cairo: unscaled, at the top-left of the printable area.  The
// settings of the last successful print are kept for the next print dialog.
#pragma once

#include <gtk/gtk.h>

struct VorpixImage;

// Runs one print operation with the print dialog and returns when the dialog
// and the printing are done.  image (R, G, B[, A] per pixel) is only read and
// stays the caller's; job_name is usually the drawing's file name.
void do_print(VorpixImage *image, const char *job_name);
// Does nothing.
void do_print_preview(VorpixImage *image, const char *job_name);

// The operation do_print runs, set up but not run: one page showing image
// (borrowed: it must outlive every run), the job name, and a copy of the
// saved settings if there are any.  The caller owns the result.
GtkPrintOperation *print_operation_new(VorpixImage *image, const char *job_name);
// After a run of operation: keeps a copy of its settings for the next print
// when result is GTK_PRINT_OPERATION_RESULT_APPLY (the user printed); any
// other result keeps the settings saved before.
void print_keep_settings(GtkPrintOperation *operation, GtkPrintOperationResult result);
// The saved settings (borrowed), or null before the first successful print.
GtkPrintSettings *print_saved_settings();

// The pixels a page shows of image (R, G, B[, A] per pixel, only read): one
// opaque pixel per image pixel, composited over white as on paper, in an
// image surface of Cairo's RGB24 format.  The caller owns the surface; its
// status is an error when the memory for it cannot be had.
cairo_surface_t *print_surface_new(const VorpixImage *image);
// "draw_page" handler; image is the signal's user data (a VorpixImage): the
// picture of print_surface_new, unscaled, at the top-left of the page.
void draw_page(GtkPrintOperation *operation, GtkPrintContext *context, gint page_nr,
               gpointer image);
