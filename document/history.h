// Undo and redo: per window, two stacks of server-side copies of what each
// change replaced.
//
// A step keeps only the pixels of the bounding rectangle of the areas its
// change reported (through the drawing's change watches); a change of size,
// or of every pixel (effects, flips, rotations, Revert), keeps the whole
// picture.  The pixels come from a copy of the picture as it was when the
// last step was closed, kept on the server and brought up to date over the
// changed rectangle only; it is taken at the first history_begin and is not
// counted in the bound.  A change or undo of the whole picture leaves it to
// be taken again when the main loop is next idle, or at the next
// history_begin if that comes first, so the command itself does not wait for
// a copy of its result.  An action that changes nothing leaves no step.  No
// pixel comes back to the program.  The undo and redo stacks of one window
// together never hold more than kHistoryMaxBytes: the oldest steps go first.
#pragma once

#include <gdk/gdk.h>
#include <glib.h>

struct VorpixCanvas;
struct VorpixDrawing;

// The pixels held, width times height times the bytes a pixel of the
// pixmap's depth takes.
constexpr gsize kHistoryMaxBytes = gsize{256} << 20;

// Something that may change the picture starts: the changes since the last
// step (if any) become one, and the changes from here on make the next.
// Inside a group (paste mode) this does nothing.
void history_begin(VorpixCanvas *canvas);
// As history_begin, for a command that replaces the pixmap without painting
// on it (crop, canvas size, scaling, rotations): the pixmap it gives up
// through history_pixmap_released is the picture before, so no copy of the
// picture needs to be made first.
void history_begin_replacing(VorpixCanvas *canvas);
// The action is over: its changes become one step.  Nothing inside a group.
void history_end(VorpixCanvas *canvas);
// Any pixel of the picture may have changed, its size too (a replaced
// pixmap): the step keeps the whole picture before.
void history_record(VorpixCanvas *canvas);
// Called by drawing_modified_area: the picture of drawing changed; the area
// comes through the change watch.  The first change after history_begin
// opens an undo step (counted from then on); it drops the redo steps.
void history_drawing_modified(VorpixDrawing *drawing);

// The drawing replaced pixmap, its picture before, by another: the history
// takes the reference and frees it once the main loop is idle, so that the
// server's freeing of a big picture does not hold up the command.
void history_pixmap_released(VorpixDrawing *drawing, GdkPixmap *pixmap);

// Pointer actions on the drawing area: a press begins one, a motion begins
// one when none is open (a drag that outlived an undo), a release ends it.
void history_pointer_press(VorpixCanvas *canvas);
void history_pointer_motion(VorpixCanvas *canvas);
void history_pointer_release(VorpixCanvas *canvas);

// Everything between the two is one step (the placements of paste mode).
void history_begin_group(VorpixCanvas *canvas);
void history_end_group(VorpixCanvas *canvas);

// The drawing was replaced: both stacks are emptied.
void history_clear(VorpixCanvas *canvas);
// The canvas is going away: releases everything held for it.
void history_release(VorpixCanvas *canvas);

// Put back the picture before the last step (after the undone one); 1 when
// there was a step.  Marks the drawing modified and repaints; a size change
// resizes the canvas, which empties the selection outline.
int history_undo(VorpixCanvas *canvas);
int history_redo(VorpixCanvas *canvas);

int history_undo_steps(VorpixCanvas *canvas);
int history_redo_steps(VorpixCanvas *canvas);
// Bytes held by both stacks, counted as for kHistoryMaxBytes.
gsize history_bytes(VorpixCanvas *canvas);
// What one copy of the drawing's picture counts.
gsize history_picture_bytes(VorpixDrawing *drawing);

// While alive, changes reported for the canvas's drawing are not recorded:
// for the callers that mark the drawing modified without changing a pixel.
class HistoryUnchanged {
 public:
  explicit HistoryUnchanged(VorpixCanvas *canvas);
  ~HistoryUnchanged();
  HistoryUnchanged(const HistoryUnchanged &) = delete;
  HistoryUnchanged &operator=(const HistoryUnchanged &) = delete;

 private:
  VorpixCanvas *canvas_;
};
