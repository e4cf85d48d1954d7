// A main window whose undo history the tests drive through the Edit menu's
// items, with the pen as the current tool.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "shell/util.h"
#include "tests/harness/window_fixture.h"

namespace vorpix_test {

constexpr guint32 kBlack = 0x000000;
constexpr guint32 kWhite = 0xffffff;

class HistoryWindowTest : public MainWindowTest {
 protected:
  std::vector<guint32> pixels() const {
    pump();
    return vorpix_test::drawable_pixels(drawing()->backing_pixmap, drawing()->width,
                                        drawing()->height);
  }

  void activate(GtkWidget *item) {
    gtk_menu_item_activate(GTK_MENU_ITEM(item));
    pump();
  }
  void activate(const char *name) { activate(widget(name)); }
  void undo() { activate("undo_menu"); }
  void redo() { activate("redo_menu"); }
  bool sensitive(GtkWidget *w, const char *name) const {
    return GTK_WIDGET_SENSITIVE(lookup_widget(w, name));
  }
  bool can_undo() const { return sensitive(window, "undo_menu"); }
  bool can_redo() const { return sensitive(window, "redo_menu"); }

  // A pen dot: one press and release of the current tool (the pen).
  void dot(int x, int y) { click(x, y); }

  // A blank white drawing of that size in place of the window's.
  void replace_drawing(int width, int height) {
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, width, height));
    pump();
  }

  void accelerator(guint keyval, guint state) {
    vorpix_test::send_key(window, GDK_KEY_PRESS, keyval, nullptr, state);
    vorpix_test::send_key(window, GDK_KEY_RELEASE, keyval, nullptr, state);
    pump();
  }
};

}  // namespace vorpix_test
