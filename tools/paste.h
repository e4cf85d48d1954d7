// The paste tool and paste mode.  Pasting floats the clipboard's picture over
// the drawing: it is painted into the backing pixmap at once, the pixels it
// covered are restored from a snapshot each time it moves, and the selection
// outline travels with it.  Paste mode ends on a press outside the piece,
// Escape, or another tool; the piece stays where it was last put.
#pragma once

#include "document/canvas.h"

struct VorpixImage;

struct PasteTool : VorpixTool {
  VorpixImage *snapshot;        // owned, or null: the drawing when pasting began
  VorpixImage *image;           // owned, or null: the floating picture
  gint32 placed;                // 1 once the picture has been put down; never reset
  gint32 last_x, last_y;        // top-left corner of the last placement
  gint32 offset_x, offset_y;    // grab offset: picture corner minus pointer
  bool blended;                 // the picture has partial alpha: composited, not cut at a mask
};

// The canvas's paste tool (the canvas owns it and calls its destroy).  name
// is kept, not copied.
VorpixTool *paste_create(const char *name);
// Puts the picture down with its top-left corner at (x, y) plus the grab
// offset, restoring the previous place from the snapshot first.
void paste_move(VorpixTool *tool, int x, int y);

// Makes the canvas's paste tool current, remembering the current tool;
// nothing happens while already pasting.
void canvas_begin_paste_mode(VorpixCanvas *canvas);
// Brings back the remembered tool when the paste tool is current.
void canvas_end_paste_mode(VorpixCanvas *canvas);
