#include "tools/paste.h"

#include <glib/gi18n.h>

#include <algorithm>

#include "document/clipboard.h"
#include "document/drawing.h"
#include "document/drawing_size.h"
#include "document/history.h"
#include "document/size_dialogs.h"
#include "document/view.h"
#include "imaging/image.h"
#include "tools/selection.h"

namespace {

constexpr guint kEscapeKey = 0xff1b;

PasteTool *self(VorpixTool *tool) { return static_cast<PasteTool *>(tool); }

// Holds a widget alive (and so the canvas it owns) across nested main loops.
class WidgetRef {
 public:
  explicit WidgetRef(GtkWidget *widget) : widget_(GTK_WIDGET(g_object_ref(widget))) {}
  ~WidgetRef() { g_object_unref(widget_); }
  WidgetRef(const WidgetRef &) = delete;
  WidgetRef &operator=(const WidgetRef &) = delete;

 private:
  GtkWidget *widget_;
};


void show_cursor(VorpixCanvas *canvas, GdkCursor *cursor) {
  canvas->cursor = cursor;
  if (canvas_is_open(canvas)) gdk_window_set_cursor(canvas->drawing->window, cursor);
}

void release_images(PasteTool *paste) {
  if (paste->image) image_free(paste->image);
  if (paste->snapshot) image_free(paste->snapshot);
  paste->image = nullptr;
  paste->snapshot = nullptr;
  paste->blended = false;
}

// Puts back, from the snapshot, what the picture covered at its last place.
void restore_last_place(PasteTool *paste, int dw, int dh) {
  VorpixDrawing *drawing = paste->drawing;
  int ox = std::max(paste->last_x, 0);
  int oy = std::max(paste->last_y, 0);
  if (!paste->snapshot || ox > dw || oy > dh) return;
  int w = image_width(paste->image);
  int h = image_height(paste->image);
  int rw = ox + w < dw ? w : dw - ox;
  int rh = oy + h < dh ? h : dh - oy;
  // The drawing may have been replaced or rotated meanwhile.
  rw = std::min(rw, image_width(paste->snapshot) - ox);
  rh = std::min(rh, image_height(paste->snapshot) - oy);
  if (rw <= 0 || rh <= 0) return;
  GdkRectangle area = {ox, oy, rw, rh};
  image_draw_region_on_pixmap(paste->snapshot, area, &drawing->backing_pixmap, drawing_paint_gc(drawing));
  drawing_changed(drawing, area);
}

void paint_at(PasteTool *paste, int nx, int ny, int dw, int dh) {
  int w = image_width(paste->image);
  int h = image_height(paste->image);
  if (nx > dw || ny > dh || nx + w < 0 || ny + h < 0) return;
  int pw = nx + w < dw ? w : dw - nx;
  int ph = ny + h < dh ? h : dh - ny;
  if (pw <= 0 || ph <= 0) return;
  GdkRectangle dest = {nx, ny, pw, ph};
  VorpixDrawing *drawing = paste->drawing;
  // A piece with partial alpha is blended over the picture; without, the
  // server's one-bit mask gives the same pixels at less cost.  Should the
  // blend fail for memory, the piece is still shown, cut at the mask.
  if (!paste->blended || !image_composite(paste->image, drawing->backing_pixmap, 0, 0, dest))
    image_render(paste->image, drawing->backing_pixmap, 0, 0, dest);
  drawing_modified_area(drawing, dest);
}

// A piece larger than the canvas: the user may grow the canvas right and
// down to hold it, in the background colour.  Paste mode's group makes the
// growth and the placements one step.
void offer_to_enlarge(VorpixCanvas *canvas, const VorpixImage *piece) {
  VorpixDrawing *drawing = canvas->drawing;
  const int width = std::max(drawing->width, image_width(piece));
  const int height = std::max(drawing->height, image_height(piece));
  if (width == drawing->width && height == drawing->height) return;
  GtkWindow *parent = GTK_IS_WINDOW(canvas->toplevel) ? GTK_WINDOW(canvas->toplevel) : nullptr;
  if (!size_dialog_ask_enlarge(parent)) return;
  if (canvas->tool != canvas->paste_tool || !canvas_is_open(canvas)) return;
  drawing = canvas->drawing;
  switch (drawing_resize_canvas(drawing, width, height, IMAGE_ANCHOR_TOP_LEFT)) {
    case DRAWING_SIZE_DONE:
      drawing_modified(drawing);
      canvas_resize(canvas);
      break;
    case DRAWING_SIZE_INVALID:
      size_dialog_show_invalid(parent);
      break;
    default:
      size_dialog_show_no_memory(parent, _("enlarge the canvas"));
      break;
  }
}

// A new piece lands at the picture's top-left corner, or at the top-left of
// the visible part when that corner is scrolled out of view.
GdkPoint landing_corner(const VorpixCanvas *canvas) {
  if (!canvas->view) return GdkPoint{0, 0};
  const GdkRectangle visible = view_visible_area(canvas->view);
  if (visible.width <= 0 || visible.height <= 0) return GdkPoint{0, 0};
  return GdkPoint{visible.x, visible.y};
}

void tool_destroy(VorpixTool *tool) {
  PasteTool *paste = self(tool);
  release_images(paste);
  if (tool->cursor) gdk_cursor_unref(tool->cursor);
  delete paste;
}

void tool_select(VorpixTool *tool) {
  PasteTool *paste = self(tool);
  VorpixCanvas *canvas = tool->canvas;
  VorpixClipboard *clipboard = canvas_clipboard(canvas);
  release_images(paste);
  const bool has_piece =
      clipboard && clipboard->image && point_array_size(clipboard->points) > 0;
  if (has_piece) {
    offer_to_enlarge(canvas, clipboard->image);
    // The question ran a nested main loop, as the fetch did.
    if (canvas->tool != tool || !canvas_is_open(canvas)) return;
  }
  paste->snapshot = drawing_create_image(tool->drawing);
  if (!has_piece) return;
  paste->image = image_new_copy(clipboard->image);
  paste->blended = paste->image && image_has_partial_alpha(paste->image);
  selection_set_points(canvas->selection, clipboard->points);
  const GdkPoint corner = landing_corner(canvas);
  paste_move(tool, corner.x, corner.y);
}

void tool_deselect(VorpixTool *tool) {
  PasteTool *paste = self(tool);
  history_end_group(tool->canvas);
  selection_remove_points(tool->canvas->selection);
  release_images(paste);
  paste->offset_x = 0;
  paste->offset_y = 0;
}

// A press on the piece grabs it; anywhere else ends paste mode.
void press(VorpixTool *tool, int x, int y) {
  PasteTool *paste = self(tool);
  GdkRectangle box;
  point_array_bounding_rectangle(selection_points(tool->canvas->selection), &box);
  if (x >= box.x && x <= box.x + box.width && y >= box.y && y <= box.y + box.height) {
    paste->offset_x = box.x - x;
    paste->offset_y = box.y - y;
  } else {
    canvas_end_paste_mode(tool->canvas);
  }
}

void key_release(VorpixTool *tool, const GdkEventKey *event) {
  if (event->keyval == kEscapeKey) canvas_end_paste_mode(tool->canvas);
}

}  // namespace

VorpixTool *paste_create(const char *name) {
  PasteTool *paste = new PasteTool();
  paste->name = name;
  paste->cursor = gdk_cursor_new(GDK_X_CURSOR);
  paste->destroy = tool_destroy;
  paste->select = tool_select;
  paste->deselect = tool_deselect;
  paste->button_press = press;
  paste->motion = paste_move;
  paste->button_release = paste_move;
  paste->key_release = key_release;
  return paste;
}

void paste_move(VorpixTool *tool, int x, int y) {
  g_return_if_fail(tool != NULL);
  PasteTool *paste = self(tool);
  VorpixSelection *selection = tool->canvas->selection;
  const int nx = x + paste->offset_x;
  const int ny = y + paste->offset_y;
  const int dw = tool->drawing->width;
  const int dh = tool->drawing->height;

  selection_disable_flash(selection);
  if (paste->placed) {
    if (paste->image)
      restore_last_place(paste, dw, dh);
    else
      gdk_beep();
  }
  if (paste->image)
    paint_at(paste, nx, ny, dw, dh);
  else
    gdk_beep();
  selection_move(selection, nx, ny);
  selection_enable_flash(selection);
  paste->placed = 1;
  paste->last_x = nx;
  paste->last_y = ny;
  // Each placement shows at once, whether it came from the pointer or from
  // the paste command.
  if (tool->canvas->view) view_flush(tool->canvas->view);
}

void canvas_begin_paste_mode(VorpixCanvas *canvas) {
  g_return_if_fail(VORPIX_IS_CANVAS(canvas));
  canvas_clipboard(canvas);
  VorpixTool *paste = canvas->paste_tool;
  if (!paste) return;

  if (VorpixTool *current = canvas->tool) {
    if (current->commit_change) current->commit_change(current);
    if (current == paste) return;
    canvas->saved_tool = current;
    if (current->deselect) current->deselect(current);
  } else {
    canvas->saved_tool = nullptr;
  }

  // Closing the window during the fetch must not free the canvas under us.
  WidgetRef keep_area(canvas->drawing_area);
  // Every placement until paste mode ends is one change of the picture.
  history_begin_group(canvas);
  canvas->tool = paste;
  paste->drawing = canvas->drawing;
  paste->canvas = canvas;
  paste->select(paste);
  if (canvas->tool == paste) show_cursor(canvas, paste->cursor);
}

void canvas_end_paste_mode(VorpixCanvas *canvas) {
  g_return_if_fail(VORPIX_IS_CANVAS(canvas));
  VorpixTool *paste = canvas->paste_tool;
  if (!paste || canvas->tool != paste) return;
  paste->deselect(paste);
  VorpixTool *tool = canvas->saved_tool;
  canvas->tool = tool;
  if (!tool) {
    show_cursor(canvas, canvas->arrow_cursor);
    return;
  }
  tool->drawing = canvas->drawing;
  tool->canvas = canvas;
  if (tool->select) tool->select(tool);
  show_cursor(canvas, tool->cursor);
}
