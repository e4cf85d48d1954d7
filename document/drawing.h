// The drawing: the picture of one main window, held in a server-side backing
// pixmap, with its file name and modified state.
#pragma once

#include <gtk/gtk.h>

struct VorpixImage;
struct VorpixPointArray;

struct VorpixDrawing {
  GtkWidget *toplevel;         // not owned: the main window, whose title shows the state
  GdkWindow *window;           // not owned: the drawing area's window
  GdkPixmap *backing_pixmap;   // owned: exactly width by height pixels; depth 32 with alpha
  gint32 modified;             // 1 once changed since created, loaded or saved
  GdkGC *gc;                   // one reference held on the canvas's shared GC
  GString *filename;           // owned; "untitled.png" while untitled
  gint32 untitled;             // 1 while filename is the default name
  gint32 width;
  gint32 height;
  GdkGC *paint_gc;             // owned, pictures with alpha only: gc's settings, opaque colours
  gint32 has_alpha;            // 1 when the picture keeps transparency (opened with some)
};

// Creations return a drawing owned by the caller (normally handed to a canvas).
// A width or height of 0 takes both from the drawing area's window.  Null
// when the X server refuses a pixmap of that size.
VorpixDrawing *drawing_new_blank(GtkWidget *drawing_area, GdkGC *gc, int width, int height);
// Whether the X server can hold a blank picture of that size for window now.
bool drawing_blank_fits(GdkWindow *window, int width, int height);
// Null when the file cannot be read or its picture cannot be held; no message.
// The picture is decoded in the helper process (document/decoder.h), which
// holds the drawing area's window meanwhile; *error (error may be null) tells
// a cancelled decode from a failed one.
VorpixDrawing *drawing_new_from_file(GtkWidget *drawing_area, GdkGC *gc, const char *filename,
                                     GError **error = nullptr);
// Null when the desktop cannot be captured.
VorpixDrawing *drawing_new_from_desktop(GtkWidget *drawing_area, GdkGC *gc);
void drawing_destroy(VorpixDrawing *drawing);

void drawing_set_filename(VorpixDrawing *drawing, const char *filename);
// A picture brought back after a crash: it takes the name of the file it came
// from (untitled when filename is null or empty) and counts as modified, so
// Save writes it there.
void drawing_set_recovered(VorpixDrawing *drawing, const char *filename);
void drawing_update_title(VorpixDrawing *drawing);
// The whole picture changed: as drawing_modified_area with the whole picture.
void drawing_modified(VorpixDrawing *drawing);
// A part of the picture changed: sets the modified flag (retitling the window
// on the first change), tells the undo history, and reports the area, cut to
// the picture, through drawing_changed.  An empty area marks the drawing
// modified and reports nothing.
void drawing_modified_area(VorpixDrawing *drawing, GdkRectangle area);

// The area a line from (x1, y1) to (x2, y2) of that width can cover, caps
// and joins included.
GdkRectangle drawing_line_area(int x1, int y1, int x2, int y2, int line_width);

// Everything that shows or keeps a copy of pictures learns of changed
// rectangles here.  A watch is called for every drawing's changes, with the
// area in picture pixels, never empty and within the picture.
using DrawingChangeFunc = void (*)(VorpixDrawing *drawing, const GdkRectangle *area,
                                   gpointer data);
void drawing_add_change_watch(DrawingChangeFunc func, gpointer data);
void drawing_remove_change_watch(DrawingChangeFunc func, gpointer data);
// Reports a changed area to the watches without marking the drawing
// modified (clearing, a paste piece lifted off its place).
void drawing_changed(VorpixDrawing *drawing, GdkRectangle area);
// The GC that paints on the backing pixmap with the settings of gc: gc
// itself for an opaque picture; for one with alpha a GC of its depth given
// gc's settings now, colours opaque.  Marks on the window still use gc.
GdkGC *drawing_paint_gc(VorpixDrawing *drawing);
// Both upper ends count as inside: outlines run along pixel edges.
int drawing_in_bounds(VorpixDrawing *drawing, int x, int y);
// Moves (*x, *y) to the nearest position drawing_in_bounds accepts.
void drawing_clamp_point(VorpixDrawing *drawing, int *x, int *y);
// A new RGBA image of the whole picture; the caller frees it.
VorpixImage *drawing_create_image(VorpixDrawing *drawing);
// Release the old pixmap first; renews the GC's clip for the new size.
void drawing_create_pixmap(VorpixDrawing *drawing, int width, int height);
// Takes pixmap (width by height, of the backing pixmap's depth) as the
// picture and hands the old backing pixmap to the caller; renews the GC's
// clip.  The window is not touched.
GdkPixmap *drawing_swap_pixmap(VorpixDrawing *drawing, GdkPixmap *pixmap, int width, int height);

// 1 when the file was written, 0 otherwise (the user has been told why).
int drawing_save(VorpixDrawing *drawing);
int drawing_save_as(VorpixDrawing *drawing, const char *filename);
// Asks whether to save unsaved changes.  1 when the caller must stop and
// change nothing (cancel, Escape, the prompt closed, a save that did not
// happen), 0 when it may go on (nothing to save, saved, or discarded).  A
// drawing without a name of its own is saved through the save-as chooser.
int drawing_prompt_to_save(VorpixDrawing *drawing);

void drawing_clear(VorpixDrawing *drawing);
void drawing_clear_selection(VorpixDrawing *drawing, VorpixPointArray *outline);
// Turns by a menu's angle (right angles counter-clockwise, others clockwise)
// and marks the drawing modified: 1.  0, the drawing unchanged, when the
// result would pass the size limits or its memory cannot be had.
// command as for drawing_rotate_by.
int drawing_rotate(VorpixDrawing *drawing, int degrees, const char *command = "rotate_by_menu");
// Makes image the picture, in a new pixmap of its size; with over_background
// its transparent pixels show the GC's background colour.  0, the drawing
// unchanged, when the server refuses the pixmap.  Does not mark the drawing
// modified; the window is not touched.
int drawing_take_image(VorpixDrawing *drawing, const VorpixImage *image, int over_background);
// Makes the picture width by height, the old one placed with its top-left
// corner at (x, y) (negative where it is cut off); what it does not cover,
// and every old pixel outside kept (old picture coordinates; null keeps
// them all), takes the GC's background colour.  All on the server: no pixel
// comes to the program.  0, the drawing unchanged, when the server refuses
// the pixmap.  Does not mark the drawing modified.
int drawing_take_placed(VorpixDrawing *drawing, int width, int height, int x, int y,
                        const GdkRegion *kept);
void drawing_copy_to_desktop(VorpixDrawing *drawing);
