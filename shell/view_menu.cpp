#include "shell/view_menu.h"

#include "document/canvas.h"
#include "document/view.h"

namespace {

VorpixView *view_of(GtkWidget *widget) { return canvas_lookup(widget)->view; }

void change_level(GtkWidget *widget, int step) {
  VorpixView *view = view_of(widget);
  view_set_level(view, view->level + step);
}

}  // namespace

void on_zoom_in_menu_activate(GtkWidget *widget, gpointer) { change_level(widget, 1); }

void on_zoom_out_menu_activate(GtkWidget *widget, gpointer) { change_level(widget, -1); }

void on_normal_size_menu_activate(GtkWidget *widget, gpointer) {
  view_set_level(view_of(widget), view_normal_level());
}

void on_best_fit_menu_activate(GtkWidget *widget, gpointer) {
  VorpixView *view = view_of(widget);
  view_set_level(view, view_best_fit_level(view));
}

void on_show_grid_menu_toggled(GtkCheckMenuItem *item, gpointer) {
  view_set_show_grid(view_of(GTK_WIDGET(item)), gtk_check_menu_item_get_active(item));
}
