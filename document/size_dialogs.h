// The dialogs of the picture size commands: canvas size, scale, rotate, the
// revert and enlarge-on-paste questions, and the messages that refuse a size.
//
// Every dialog is modal to the given window, takes its defaults from the
// arguments (the picture as it is when the dialog opens), keeps its numbers
// within the size limits as they are typed, and is gone when the function
// returns.  A function returning true has filled in its results.
#pragma once

#include <gtk/gtk.h>

#include "imaging/image_size.h"

// Width and height from 1 to the side limit, and the anchor (ImageAnchor,
// top-left at first).
bool size_dialog_canvas_size(GtkWindow *parent, int width, int height, int *new_width,
                             int *new_height, int *anchor);
// Width and height in pixels or as a percentage, linked by "Keep aspect
// ratio" (on at first), and the kind of scaling (smooth at first).
bool size_dialog_scale(GtkWindow *parent, int width, int height, int *new_width, int *new_height,
                       ImageScaleKind *kind);
// An angle from -360 to 360 degrees, positive clockwise.
bool size_dialog_rotate(GtkWindow *parent, double *degrees);

// True when the user answers Revert for the drawing's file name.
bool size_dialog_confirm_revert(GtkWindow *parent, const char *filename);
// True when the user answers Enlarge.
bool size_dialog_ask_enlarge(GtkWindow *parent);

// "Invalid width or height values".
void size_dialog_show_invalid(GtkWindow *parent);
// "Not enough memory to %s." with what the command was to do.
void size_dialog_show_no_memory(GtkWindow *parent, const char *what);
// The same once the main loop is idle: for a pointer event's handler, which
// must not run a dialog before its button is released.
void size_dialog_show_no_memory_soon(GtkWindow *parent, const char *what);
