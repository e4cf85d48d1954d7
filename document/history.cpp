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

// What undoing or redoing one step puts back, kept on the server.  A whole
// step is a picture of its own size; a part step holds the pixels of area
// of a picture of width by height.
struct Step {
  GdkPixmap *pixmap;  // owned
  GdkRectangle area;  // the part held; the whole picture for a whole step
  int width;          // the picture's size when the step was taken
  int height;
  bool whole;
  gsize bytes;
};

struct History {
  VorpixCanvas *canvas;
  GdkGC *copy_gc = nullptr;  // owned: plain copies, whatever the shared GC is doing
  int copy_depth = 0;        // the depth copy_gc serves
  // The picture as it was when the last step was closed, so that only the
  // changed part has to be copied into a step.  Null until the first
  // action, after a change of the whole picture until the main loop is idle
  // or the next action begins, and whenever it could not be kept in step
  // with the picture.
  GdkPixmap *shadow = nullptr;  // owned
  // Pictures the drawing gave up, freed when the main loop is idle.
  std::vector<GdkPixmap *> released;  // owned
  guint idle = 0;                     // the source that takes the shadow and frees them
  int shadow_width = 0;
  int shadow_height = 0;
  bool changed = false;       // a change since the last step was closed
  bool whole_changed = false;  // ... that may have touched every pixel
  GdkRectangle dirty = {};    // what the reported changes cover, cut to the picture
  std::deque<Step> undo;      // oldest first
  std::deque<Step> redo;      // the next one to redo at the back
  bool pointer_down = false;  // a press is waiting for its release
  int group = 0;              // nonzero inside history_begin_group
  int unchanged = 0;          // nonzero while changes are not recorded
  bool missed = false;        // the picture could not be copied at the last begin
  bool adopting = false;      // the next pixmap released is the shadow (no copy was taken)
};

// One per canvas alive; few windows, so a list does.
std::vector<History *> histories;

History *find(VorpixCanvas *canvas) {
  for (History *h : histories)
    if (h->canvas == canvas) return h;
  return nullptr;
}

History *find_drawing(VorpixDrawing *drawing) {
  for (History *h : histories)
    if (h->canvas->drawing == drawing) return h;
  return nullptr;
}

void on_drawing_changed(VorpixDrawing *drawing, const GdkRectangle *area, gpointer);

History *find_or_create(VorpixCanvas *canvas) {
  if (History *h = find(canvas)) return h;
  // Every changed area reaches the history through the drawing's watches,
  // also those reported without marking the drawing modified.
  if (histories.empty()) drawing_add_change_watch(on_drawing_changed, nullptr);
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

GdkGC *copy_gc(History *h, GdkDrawable *like) {
  // A GC serves drawables of its own depth only (pictures with alpha are 32).
  if (h->copy_gc && h->copy_depth != gdk_drawable_get_depth(like)) {
    g_object_unref(h->copy_gc);
    h->copy_gc = nullptr;
  }
  if (!h->copy_gc) {
    h->copy_depth = gdk_drawable_get_depth(like);
    h->copy_gc = gdk_gc_new(like);
    gdk_gc_set_exposures(h->copy_gc, FALSE);
  }
  return h->copy_gc;
}

void copy_pixels(History *h, GdkPixmap *target, int to_x, int to_y, GdkPixmap *source,
                 GdkRectangle area) {
  gdk_draw_drawable(target, copy_gc(h, source), source, area.x, area.y, to_x, to_y, area.width,
                    area.height);
}

// A new pixmap holding area of source, or null when the server refuses one.
GdkPixmap *copy_area(History *h, GdkPixmap *source, GdkRectangle area) {
  gdk_error_trap_push();
  GdkPixmap *pixmap = gdk_pixmap_new(source, area.width, area.height, -1);
  if (pixmap) copy_pixels(h, pixmap, 0, 0, source, area);
  gdk_flush();
  if (gdk_error_trap_pop() != 0 || !pixmap) {
    if (pixmap) unref_trapped(pixmap);
    return nullptr;
  }
  return pixmap;
}

bool same_depth(GdkDrawable *a, GdkDrawable *b) {
  return gdk_drawable_get_depth(a) == gdk_drawable_get_depth(b);
}

GdkRectangle whole_of(int width, int height) { return GdkRectangle{0, 0, width, height}; }

bool is_empty(const GdkRectangle &area) { return area.width <= 0 || area.height <= 0; }

void forget_changes(History *h) {
  h->changed = false;
  h->whole_changed = false;
  h->dirty = GdkRectangle{};
}

void drop_shadow(History *h) {
  if (h->shadow) g_object_unref(h->shadow);
  h->shadow = nullptr;
  h->shadow_width = h->shadow_height = 0;
  forget_changes(h);
}

// A copy of the whole picture as the shadow; false, with no shadow, when it
// is too big to keep or the server refuses a pixmap for it.
bool take_shadow(History *h) {
  drop_shadow(h);
  VorpixDrawing *drawing = h->canvas->drawing;
  GdkPixmap *source = drawing ? drawing->backing_pixmap : nullptr;
  if (!source) return false;
  if (bytes_of(source, drawing->width, drawing->height) > kHistoryMaxBytes) return false;
  h->shadow = copy_area(h, source, whole_of(drawing->width, drawing->height));
  if (!h->shadow) return false;
  h->shadow_width = drawing->width;
  h->shadow_height = drawing->height;
  return true;
}

void free_released(History *h) {
  for (GdkPixmap *pixmap : h->released) g_object_unref(pixmap);
  h->released.clear();
}

gboolean on_idle(gpointer data) {
  History *h = static_cast<History *>(data);
  h->idle = 0;
  free_released(h);
  // Inside an action the copy would hold some of its changes already.
  if (!h->shadow && !h->missed && !h->group && !h->pointer_down && !h->adopting) take_shadow(h);
  return FALSE;
}

void when_idle(History *h) {
  if (!h->idle) h->idle = g_idle_add_full(G_PRIORITY_LOW, on_idle, h, nullptr);
}

void cancel_idle(History *h) {
  if (h->idle) g_source_remove(h->idle);
  h->idle = 0;
}

// Copying a whole picture costs as much as the command that changed it: the
// copy waits until the main loop is idle, or until the next action needs
// it.  Meanwhile there is nothing to copy from, and no change is lost for
// it: one reported then merely joins the step before.
void take_shadow_later(History *h) {
  drop_shadow(h);
  when_idle(h);
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

// Undo steps, the one still open counted.
int undo_count(const History *h) {
  return static_cast<int>(h->undo.size()) + (h->changed ? 1 : 0);
}

// The Undo and Redo items and buttons of the canvas's window are sensitive
// exactly when there is something to undo or redo.
void update_items(History *h) {
  // A window closed under a running command has no items left.
  if (!canvas_is_open(h->canvas)) return;
  GtkWidget *toplevel = h->canvas->toplevel;
  GladeXML *xml = toplevel ? glade_get_widget_tree(toplevel) : nullptr;
  if (!xml) return;
  for (const char *name : kUndoWidgets)
    if (GtkWidget *widget = glade_xml_get_widget(xml, name))
      gtk_widget_set_sensitive(widget, undo_count(h) > 0);
  for (const char *name : kRedoWidgets)
    if (GtkWidget *widget = glade_xml_get_widget(xml, name))
      gtk_widget_set_sensitive(widget, !h->redo.empty());
}

void drop_redo(History *h) {
  if (h->redo.empty()) return;
  release_all(h->redo);
  update_items(h);
}

void clear_all(History *h) {
  drop_shadow(h);
  h->adopting = false;
  free_released(h);
  cancel_idle(h);
  h->missed = false;
  release_all(h->undo);
  release_all(h->redo);
}

// The changes since the last step become one: the shadow's pixels of the
// area they cover, or the whole shadow for a change of size or of every
// pixel; then the shadow is brought up to the picture.  When the server
// cannot hold the step, the history no longer leads back: it is emptied.
void close_step(History *h) {
  h->adopting = false;
  if (!h->shadow) {
    forget_changes(h);
    return;
  }
  VorpixDrawing *drawing = h->canvas->drawing;
  // A picture that gained or lost its alpha is another picture too.
  const bool resized = h->shadow_width != drawing->width || h->shadow_height != drawing->height ||
                       !same_depth(h->shadow, drawing->backing_pixmap);
  const bool whole = resized || h->whole_changed ||
                     (h->dirty.width == drawing->width && h->dirty.height == drawing->height);
  if (h->changed && whole) {
    // The shadow is the picture before: it becomes the step as it is.
    h->undo.push_back(Step{h->shadow, whole_of(h->shadow_width, h->shadow_height),
                           h->shadow_width, h->shadow_height, true,
                           bytes_of(h->shadow, h->shadow_width, h->shadow_height)});
    h->shadow = nullptr;
    take_shadow_later(h);
  } else if (resized || h->whole_changed) {
    // Changed everywhere without a change recorded: not a step, but the
    // shadow must follow.
    take_shadow_later(h);
  } else if (!is_empty(h->dirty)) {
    const GdkRectangle area = h->dirty;
    if (h->changed) {
      GdkPixmap *before = copy_area(h, h->shadow, area);
      if (!before) {
        clear_all(h);
        update_items(h);
        return;
      }
      h->undo.push_back(Step{before, area, drawing->width, drawing->height, false,
                             bytes_of(before, area.width, area.height)});
    }
    // Areas reported without a change recorded (a paste piece lifted off)
    // are no step, but the shadow follows them too.
    copy_pixels(h, h->shadow, area.x, area.y, drawing->backing_pixmap, area);
  }
  forget_changes(h);
  enforce_bound(h);
  update_items(h);
}

// Keeps a copy of the picture from which the next step's pixels are taken;
// missed when there can be none.
void open_step(History *h) {
  close_step(h);
  h->missed = !h->shadow && !take_shadow(h);
}

// A changed area of the picture.
void note_area(History *h, const GdkRectangle &area) {
  if (h->unchanged || !h->shadow) return;
  GdkRectangle picture = whole_of(h->canvas->drawing->width, h->canvas->drawing->height);
  GdkRectangle part;
  GdkRectangle cut = area;
  if (!gdk_rectangle_intersect(&cut, &picture, &part)) return;
  if (is_empty(h->dirty))
    h->dirty = part;
  else
    gdk_rectangle_union(&h->dirty, &part, &h->dirty);
}

void on_drawing_changed(VorpixDrawing *drawing, const GdkRectangle *area, gpointer) {
  if (History *h = find_drawing(drawing)) note_area(h, *area);
}

// The picture changed; the areas come through the change watch.  The first
// change of a step drops the redo steps.
void note_change(History *h) {
  if (h->unchanged) return;
  if (h->shadow) {
    if (h->changed) return;
    h->changed = true;
    release_all(h->redo);
    update_items(h);
  } else if (h->missed) {
    // A change the history could not keep a copy for: the steps before it
    // no longer lead back from the picture shown.
    clear_all(h);
    update_items(h);
  } else {
    drop_redo(h);
  }
}

// Shows step's pixels in place of the current ones, which go onto to.
void exchange(History *h, std::deque<Step> &from, std::deque<Step> &to) {
  VorpixCanvas *canvas = h->canvas;
  VorpixDrawing *drawing = canvas->drawing;
  h->pointer_down = false;

  Step step = from.back();
  from.pop_back();
  const bool resized = step.width != drawing->width || step.height != drawing->height ||
                       !same_depth(step.pixmap, drawing->backing_pixmap);
  if (!step.whole && resized) {
    // Pixels of another picture: nothing here leads back any more.
    release(step);
    clear_all(h);
    update_items(h);
    return;
  }
  const bool whole = step.whole;
  const GdkRectangle area = step.area;

  // The outline is drawn by inverting the window's pixels: take it off
  // before the window is repainted from another picture.
  VorpixSelection *selection = canvas->selection;
  const int flashing = selection->flashing;
  selection_disable_flash(selection);
  if (whole) {
    const int old_width = drawing->width, old_height = drawing->height;
    GdkPixmap *old = drawing_swap_pixmap(drawing, step.pixmap, step.width, step.height);
    Step replaced = {old, whole_of(old_width, old_height), old_width, old_height, true,
                     bytes_of(old, old_width, old_height)};
    // A picture too big to keep cannot come back; it must not push out the
    // steps that can.
    if (replaced.bytes > kHistoryMaxBytes)
      release(replaced);
    else
      to.push_back(replaced);
    take_shadow_later(h);
    if (resized)
      canvas_resize(canvas);
    else
      canvas_redraw(canvas);
  } else {
    GdkPixmap *current = copy_area(h, drawing->backing_pixmap, area);
    copy_pixels(h, drawing->backing_pixmap, area.x, area.y, step.pixmap,
                whole_of(area.width, area.height));
    if (h->shadow)
      copy_pixels(h, h->shadow, area.x, area.y, step.pixmap, whole_of(area.width, area.height));
    if (current)
      to.push_back(Step{current, area, step.width, step.height, false, step.bytes});
    else
      release_all(to);  // what this step replaced cannot come back
    release(step);
  }
  if (flashing) selection_enable_flash(selection);

  h->unchanged++;
  if (whole)
    drawing_modified(drawing);
  else
    drawing_modified_area(drawing, area);
  h->unchanged--;
  enforce_bound(h);
  update_items(h);
}

}  // namespace

void history_begin(VorpixCanvas *canvas) {
  g_return_if_fail(canvas != nullptr);
  History *h = find_or_create(canvas);
  if (h->group) return;
  open_step(h);
}

void history_begin_replacing(VorpixCanvas *canvas) {
  g_return_if_fail(canvas != nullptr);
  History *h = find_or_create(canvas);
  if (h->group) return;
  close_step(h);
  h->missed = false;
  h->adopting = !h->shadow;
}

void history_end(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h || h->group) return;
  close_step(h);
  h->missed = false;
}

void history_record(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h || h->unchanged) return;
  note_change(h);
  // Nothing says which pixels: any of them.
  if (h->shadow) h->whole_changed = true;
}

void history_drawing_modified(VorpixDrawing *drawing) {
  if (History *h = find_drawing(drawing)) note_change(h);
}

void history_pixmap_released(VorpixDrawing *drawing, GdkPixmap *pixmap) {
  History *h = find_drawing(drawing);
  if (!h) {
    g_object_unref(pixmap);
    return;
  }
  int width = 0, height = 0;
  gdk_drawable_get_size(pixmap, &width, &height);
  if (h->adopting && !h->shadow && bytes_of(pixmap, width, height) <= kHistoryMaxBytes) {
    h->shadow = pixmap;
    h->shadow_width = width;
    h->shadow_height = height;
    h->adopting = false;
  } else {
    // An adopted picture too big to keep: the change cannot be undone, and
    // the history empties at it.
    h->missed = h->missed || h->adopting;
    h->adopting = false;
    h->released.push_back(pixmap);
  }
  when_idle(h);
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
  if (!h->group) open_step(h);
  h->group++;
}

void history_end_group(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h || !h->group) return;
  if (--h->group == 0) {
    close_step(h);
    h->missed = false;
  }
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
  if (histories.empty()) drawing_remove_change_watch(on_drawing_changed, nullptr);
  clear_all(h);
  if (h->copy_gc) g_object_unref(h->copy_gc);
  delete h;
}

int history_undo(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h) return 0;
  close_step(h);
  if (h->undo.empty()) return 0;
  exchange(h, h->undo, h->redo);
  return 1;
}

int history_redo(VorpixCanvas *canvas) {
  History *h = find(canvas);
  if (!h) return 0;
  close_step(h);
  if (h->redo.empty()) return 0;
  exchange(h, h->redo, h->undo);
  return 1;
}

int history_undo_steps(VorpixCanvas *canvas) {
  History *h = find(canvas);
  return h ? undo_count(h) : 0;
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
