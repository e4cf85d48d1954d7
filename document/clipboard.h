// The desktop clipboard: cut and copy offer the selected area to other
// programs in every format GdkPixbuf can write (PNG first, JPEG last), encoded
// only when a program asks; paste fetches a picture from whoever owns the
// CLIPBOARD.  One record per process holds the last copied or fetched
// picture with its outline.
#pragma once

#include <gtk/gtk.h>

struct VorpixCanvas;
struct VorpixImage;
struct VorpixPointArray;

struct VorpixClipboard {
  VorpixImage *image;         // owned, or null: the last copied or fetched picture
  VorpixPointArray *points;   // owned: image's outline, where it was selected
  GSList *formats;            // owned list of every GdkPixbufFormat, preferred first
  GtkTargetEntry *targets;    // owned: one per MIME type of every writable format
  int n_targets;
  char **savers;              // owned, null-terminated: savers[info] encodes target info
};

// The process-wide record, created on the first call.  It stays owned by
// this module and lives for the whole process, whichever canvas asked first.
VorpixClipboard *canvas_clipboard(VorpixCanvas *canvas);

// Commit the current tool's edit; with a selection outline of 3 or more
// points, take the selected area and claim the desktop clipboard.  Cut then
// clears the area in the background colour.
void canvas_cut(VorpixCanvas *canvas);
void canvas_copy(VorpixCanvas *canvas);
// False, the clipboard as it was, when the memory for the copy cannot be had.
bool canvas_clipboard_copy_selection(VorpixCanvas *canvas);

// Get function of the claimed clipboard: encodes the picture for target info.
void canvas_clipboard_send_buffer(GtkClipboard *gtk_clipboard, GtkSelectionData *selection_data,
                                  guint info, gpointer owner);
// Frees the record with everything it holds; the next canvas_clipboard makes
// a fresh one.
void canvas_clipboard_free(gpointer record);
// Orders GdkPixbufFormats: PNG first, then the library's order, GIF, JPEG.
gint canvas_clipboard_compare_formats(gconstpointer a, gconstpointer b);
// Replaces the record's picture with one from the desktop clipboard, unless
// this very canvas owns it or nothing readable is offered.  Runs nested main
// loops while waiting for the owner; prints what it checks on stdout.
void canvas_clipboard_fetch(VorpixCanvas *canvas);
// A new picture (one reference for the caller) decoded from the data, or null
// with a warning for data that is not a readable, reasonably sized image.
GdkPixbuf *paste_selection_data_get_pixbuf(GtkSelectionData *selection);
