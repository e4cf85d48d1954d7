#include "document/history.h"

#include <glade/glade.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <deque>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "tools/selection.h"

namespace {

// The menu items and toolbar buttons of undo and redo.
constexpr const char *kUndoWidgets[] = {"undo_menu", "undo_button"};
constexpr const char *kRedoWidgets[] = {"redo_menu", "redo_button"};

// A whole picture kept on the server.
struct Step {
  GdkPixmap *pixmap;  // owned
  int width;
  int height;
  gsize bytes;
};

struct History {
  VorpixCanvas *canvas;
  GdkGC *copy_gc = nullptr;   // owned: plain copies, whatever the shared GC is doing
  Step pending = {};          // the picture before the change in progress, if any
  std::deque<Step> undo;      // oldest first
  std::deque<Step> redo;      // the next one to redo at the back
  bool pointer_down = false;  // a press is waiting for its release
  int group = 0;              // nonzero inside history_begin_group
  int unchanged = 0;          // nonzero while changes are not recorded
  bool missed = false;        // the picture could not be copied at the last begin
};

// One per canvas alive; few windows, so a list does.
std::vector<History *> histories;

History *find(VorpixCanvas *canvas) {
  for (History *h : histories)
    if (h->canvas == canvas) return h;
  return nullptr;
}

History *find_or_create(VorpixCanvas *canvas) {
  if (History *h = find(canvas)) return h;
  History *h = new History();
  h->canvas = canvas;
  histories.push_back(h);
  return h;
}

gsize bytes_per_pixel(GdkDrawable *drawable) {
  int depth = gdk_drawable_get_depth(drawable);
  if (depth > 16) return 4;
  if (depth > 8) return 2;
  return 1;
}

gsize bytes_of(GdkDrawable *drawable, int width, int height) {
  return static_cast<gsize>(width) * static_cast<gsize>(height) * bytes_per_pixel(drawable);
}

// Releases a pixmap the server may have refused, which raises an error of
// its own.
void unref_trapped(GdkPixmap *pixmap) {
  gdk_error_trap_push();
  g_object_unref(pixmap);
  gdk_flush();
  gdk_error_trap_pop();
}

void release(Step &step) {
  if (step.pixmap) g_object_unref(step.pixmap);
  step = Step{};
}

void release_all(std::deque<Step> &steps) {
  for (Step &step : steps) release(step);
  steps.clear();
}

// A copy of the whole picture, or an empty step when it is too big to keep
// or the server refuses a pixmap for it.
Step copy_picture(History *h, VorpixDrawing *drawing) {
  GdkPixmap *source = drawing->backing_pixmap;
  if (!source) return Step{};
  const gsize bytes = bytes_of(source, drawing->width, drawing->height);
  if (bytes > kHistoryMaxBytes) return Step{};
  if (!h->copy_gc) {
    h->copy_gc = gdk_gc_new(source);
    gdk_gc_set_exposures(h->copy_gc, FALSE);
  }
  gdk_error_trap_push();
  GdkPixmap *pixmap = gdk_pixmap_new(source, drawing->width, drawing->height, -1);
  if (pixmap)
    gdk_draw_drawable(pixmap, h->copy_gc, source, 0, 0, 0, 0, drawing->width, drawing->height);
  gdk_flush();
  if (gdk_error_trap_pop() != 0 || !pixmap) {
    if (pixmap) unref_trapped(pixmap);
    return Step{};
  }
  return Step{pixmap, drawing->width, drawing->height, bytes};
}

gsize held(const History *h) {
  gsize total = 0;
  for (const Step &step : h->undo) total += step.bytes;
  for (const Step &step : h->redo) total += step.bytes;
  return total;
}

// Oldest undo steps first; then redo steps from the far end.
void enforce_bound(History *h) {
  gsize total = held(h);
  while (total > kHistoryMaxBytes && !h->undo.empty()) {
    total -= h->undo.front().bytes;
    release(h->undo.front());
    h->undo.pop_front();
  }
  while (total > kHistoryMaxBytes && !h->redo.empty()) {
    total -= h->redo.front().bytes;
    release(h->redo.front());
    h->redo.pop_front();
  }
}

// The Undo and Redo items and buttons of the canvas's window are sensitive
// exactly when there is something to undo or redo.
void update_items(History *h) {
  GtkWidget *toplevel = h->canvas->toplevel;
  GladeXML *xml = toplevel ? glade_get_widget_tree(toplevel) : nullptr;
  if (!xml) return;
  for (const char *name : kUndoWidgets)
    if (GtkWidget *widget = glade_xml_get_widget(xml, name))
      gtk_widget_set_sensitive(widget, !h->undo.empty());
  for (const char *name : kRedoWidgets)
    if (GtkWidget *widget = glade_xml_get_widget(xml, name))
      gtk_widget_set_sensitive(widget, !h->redo.empty());
}

void drop_redo(History *h) {
  if (h->redo.empty()) return;
  release_all(h->redo);
  update_items(h);
}

void push_pending(History *h) {
  h->undo.push_back(h->pending);
  h->pending = Step{};
  release_all(h->redo);
  enforce_bound(h);
  update_items(h);
}

void take_pending(History *h) {
  if (h->pending.pixmap) return;
  h->pending = copy_picture(h, h->canvas->drawing);
  h->missed = !h->pending.pixmap;
}

void forget_pending(History *h) {
  release(h->pending);
  h->missed = false;
}

void clear_all(History *h) {
  forget_pending(h);
  release_all(h->undo);
  release_all(h->redo);
}

// Shows step's picture in place of the current one, which goes onto to.
void exchange(History *h, std::deque<Step> &from, std::deque<Step> &to) {
  VorpixCanvas *canvas = h->canvas;
  VorpixDrawing *drawing = canvas->drawing;
  forget_pending(h);
  h->pointer_down = false;

  Step step = from.back();
  from.pop_back();
  const bool resized = step.width != drawing->width || step.height != drawing->height;

  // The outline is drawn by inverting the window's pixels: take it off
  // before the window is repainted from another picture.
  VorpixSelection *selection = canvas->selection;
  const int flashing = selection->flashing;
  selection_disable_flash(selection);
  const int old_width = drawing->width, old_height = drawing->height;
  GdkPixmap *old = drawing_swap_pixmap(drawing, step.pixmap, step.width, step.height);
  Step replaced = {old, old_width, old_height, bytes_of(old, old_width, old_height)};
  // A picture too big to keep cannot come back; it must not push out the
  // steps that can.
  if (replaced.bytes > kHistoryMaxBytes)
    release(replaced);
  else
    to.push_back(replaced);
  if (resized)
    canvas_resize(canvas);
  else
    canvas_redraw(canvas);
  if (flashing) selection_enable_flash(selection);

  h->unchanged++;
  drawing_modified(drawing);
  h->unchanged--;
  enforce_bound(h);
  update_items(h);
}

}  // namespace

void history_begin(VorpixCanvas *canvas) {
  g_return_if_fail(canvas != nullptr);
  History *h = find_or_create(canvas);
  if (h->group) return;
  take_pending(h);
}

void history_end(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h || h->group) return;
  forget_pending(h);
}

void history_record(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h || h->unchanged) return;
  if (h->pending.pixmap) {
    push_pending(h);
  } else if (h->missed) {
    // A change the history could not keep a copy for: the steps before it
    // no longer lead back from the picture shown.
    clear_all(h);
    update_items(h);
  } else {
    drop_redo(h);
  }
}

void history_drawing_modified(VorpixDrawing *drawing) {
  for (History *h : histories) {
    if (h->canvas->drawing != drawing) continue;
    history_record(h->canvas);
    return;
  }
}

void history_pointer_press(VorpixCanvas *canvas) {
  History *h = find_or_create(canvas);
  h->pointer_down = true;
  history_begin(canvas);
}

void history_pointer_motion(VorpixCanvas *canvas) {
  History *h = find_or_create(canvas);
  if (h->pointer_down) return;
  h->pointer_down = true;
  history_begin(canvas);
}

void history_pointer_release(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h) return;
  h->pointer_down = false;
  history_end(canvas);
}

void history_begin_group(VorpixCanvas *canvas) {
  g_return_if_fail(canvas != nullptr);
  History *h = find_or_create(canvas);
  if (!h->group) take_pending(h);
  h->group++;
}

void history_end_group(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h || !h->group) return;
  if (--h->group == 0) forget_pending(h);
}

void history_clear(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h) return;
  clear_all(h);
  h->pointer_down = false;
  update_items(h);
}

void history_release(VorpixCanvas *canvas) {
  auto it = std::find_if(histories.begin(), histories.end(),
                         [canvas](History *h) { return h->canvas == canvas; });
  if (it == histories.end()) return;
  History *h = *it;
  histories.erase(it);
  clear_all(h);
  if (h->copy_gc) g_object_unref(h->copy_gc);
  delete h;
}

int history_undo(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h || h->undo.empty()) return 0;
  exchange(h, h->undo, h->redo);
  return 1;
}

int history_redo(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h || h->redo.empty()) return 0;
  exchange(h, h->redo, h->undo);
  return 1;
}

int history_undo_steps(VorpixCanvas *canvas) {
  History *h = find(canvas);
  return h ? static_cast<int>(h->undo.size()) : 0;
}

int history_redo_steps(VorpixCanvas *canvas) {
  History *h = find(canvas);
  return h ? static_cast<int>(h->redo.size()) : 0;
}

gsize history_bytes(VorpixCanvas *canvas) {
  History *h = find(canvas);
  return h ? held(h) : 0;
}

gsize history_picture_bytes(VorpixDrawing *drawing) {
  return bytes_of(drawing->backing_pixmap, drawing->width, drawing->height);
}

HistoryUnchanged::HistoryUnchanged(VorpixCanvas *canvas) : canvas_(canvas) {
  if (History *h = find(canvas_)) h->unchanged++;
}

HistoryUnchanged::~HistoryUnchanged() {
  if (History *h = find(canvas_)) h->unchanged = std::max(0, h->unchanged - 1);
}
