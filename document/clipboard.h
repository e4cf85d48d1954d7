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
// The paste command.  When a window of this program holds the clipboard its
// picture is pasted at once.  Otherwise the owner is asked in the background
// (the window stays usable; the status bar says "Waiting for the
// clipboard…") and paste mode starts when a picture arrives.  When none
// does, paste mode does not start and the status bar says why.  Escape
// (canvas_paste_cancel) ends the wait; it is given up after 5 seconds.  A
// paste while one waits does nothing.
void canvas_paste(VorpixCanvas *canvas);
gboolean canvas_paste_waiting(VorpixCanvas *canvas);
// TRUE when a wait was ended.
gboolean canvas_paste_cancel(VorpixCanvas *canvas);

enum PasteRefusal {
  PASTE_NO_PICTURE,  // nothing, or nothing readable as a picture
  PASTE_TOO_LARGE,   // a picture beyond the size the paste takes
  PASTE_NO_ANSWER,   // the owner did not answer in time
};
// For pictures that come from outside by other ways (a drop): the bytes of
// an encoded picture arrived, offered as mime_type (null or empty: the bytes
// tell), and are pasted as the clipboard's would be, or refused with the
// status bar saying why.  The decode runs the main loop; nothing happens
// when the canvas's window was closed meanwhile.
void canvas_paste_bytes(VorpixCanvas *canvas, const guchar *data, gssize length,
                        const char *mime_type = nullptr);
// A decoded picture (not taken over) becomes the record's and is pasted;
// a piece still floating is put down first.
void canvas_paste_picture(VorpixCanvas *canvas, GdkPixbuf *pixbuf);
// No picture came: the status bar says why; paste mode does not start.
void canvas_paste_refused(VorpixCanvas *canvas, PasteRefusal why);
// A new picture (one reference for the caller) decoded from the data, or null
// with a warning for data that is not a readable, reasonably sized image.
GdkPixbuf *paste_selection_data_get_pixbuf(GtkSelectionData *selection);
