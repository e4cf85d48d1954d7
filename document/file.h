// The file dialogs of a main window: open (the chosen file replaces the
// window's drawing), save as (the drawing is written under the chosen name)
// and the non-modal new-canvas dialog (a blank drawing of the size entered
// replaces the window's drawing).  Each acts on the canvas it was started from.
#pragma once

#include <gtk/gtk.h>

struct VorpixCanvas;
struct VorpixDrawing;

// One per open new-canvas dialog; attached as "user_data" to the dialog
// window and its OK and cancel buttons, freed when the window is destroyed.
struct VorpixNewCanvasDialog {
  GtkWidget *window;        // the dialog's "new_canvas_window"
  GtkWidget *width_entry;   // "new_canvas_width_text_entry" (an editable)
  GtkWidget *height_entry;  // "new_canvas_height_text_entry" (an editable)
  VorpixCanvas *canvas;     // not owned: the canvas whose drawing OK replaces
};

// Modal file chooser; the chosen file replaces the canvas's drawing, or an
// error dialog says it cannot be opened and the old drawing stays.
void file_open_dialog(VorpixCanvas *canvas);
// Modal file chooser (with overwrite confirmation) proposing the drawing's
// name; the drawing is written under the chosen name.  Commits the current
// tool's pending edit first.  1 when the file was written; 0 when the user
// cancelled or the write failed (the user has been told why).
int file_save_as_dialog(VorpixCanvas *canvas);
// The same chooser for a drawing alone, parented on its main window: how the
// save prompt saves a drawing that has no name of its own yet.
int file_save_drawing_as(VorpixDrawing *drawing);
// Shows a new-canvas dialog proposing the drawing's size and returns at once.
// The returned window is borrowed: the dialog destroys itself on OK with valid
// values, on cancel, when closed, and when the canvas's main window goes.
GtkWidget *file_new_dialog(VorpixCanvas *canvas);
// The shared end of every way of opening a file (the open chooser, recent
// files, a file dropped on the window): the picture in filename replaces the
// canvas's drawing, or "Cannot open file %s." is shown and the old drawing
// stays.  1 when the file was opened.  No save prompt here.
int file_open_path(VorpixCanvas *canvas, const char *filename);
// Tells the desktop's recently used list (GtkRecentManager) of a picture
// opened or written; files the image loaders do not recognise are left out.
void file_record_recent(const char *filename);
// The open chooser's preview of filename (null: none): a thumbnail at most
// 128 pixels on a side, or nothing for a file the size-limited loader
// refuses.  The chooser calls it for the file under the cursor.
void file_show_preview(GtkFileChooser *chooser, const char *filename);
// The modal "Cannot open file %s." message on the canvas's window.
void file_show_cannot_open(VorpixCanvas *canvas, const char *filename);

extern "C" {
void on_new_canvas_ok_button_clicked(GtkWidget *button, gpointer user_data);
void on_new_canvas_cancel_button_clicked(GtkWidget *button, gpointer user_data);
// Also reached by the unused "new_canvas_window" of every main-window load,
// which carries no record.
void on_new_canvas_window_destroy(GtkWidget *window, gpointer user_data);
}
