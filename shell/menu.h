// Handlers of the menu items, toolbar buttons and option widgets of a main
// window, connected by name from the interface description.  Each finds the
// canvas of its own window through the emitting widget and keeps no state.
#pragma once

#include <gtk/gtk.h>

// Opens filename in the window of widget as Open does, with the save prompt
// first; 1 when the file replaced the drawing.  Used by recent files and by
// files dropped on the window.
int menu_open_path(GtkWidget *widget, const char *filename);

extern "C" {
// File commands.
void on_save_menu_activate(GtkWidget *widget, gpointer user_data);
void on_save_button_clicked(GtkWidget *widget, gpointer user_data);
void on_save_as_menu_activate(GtkWidget *widget, gpointer user_data);
void on_save_as_button_clicked(GtkWidget *widget, gpointer user_data);
void on_new_file_menu_activate(GtkWidget *widget, gpointer user_data);
void on_new_button_clicked(GtkWidget *widget, gpointer user_data);
void on_open_menu_activate(GtkWidget *widget, gpointer user_data);
void on_open_button_clicked(GtkWidget *widget, gpointer user_data);
void on_print_menu_activate(GtkWidget *widget, gpointer user_data);
void on_print_button_clicked(GtkWidget *widget, gpointer user_data);
void on_print_preview_activate(GtkWidget *widget, gpointer user_data);
// Reloads a named, modified drawing's file after asking, as one undo step;
// the item is sensitive only for such a drawing.
void on_revert_menu_activate(GtkWidget *item, gpointer user_data);

// Edit commands.  Undo and redo work on the window's own history; the
// items and toolbar buttons are sensitive only when there is something to
// undo or redo.
void on_undo_menu_activate(GtkWidget *widget, gpointer user_data);
void on_redo_menu_activate(GtkWidget *widget, gpointer user_data);
void on_undo_button_clicked(GtkWidget *widget, gpointer user_data);
void on_redo_button_clicked(GtkWidget *widget, gpointer user_data);
void on_clear_menu_activate(GtkWidget *widget, gpointer user_data);
void on_select_all_activate(GtkWidget *widget, gpointer user_data);

// Image commands.  Effects and rotation set the modified flag; flips leave it
// alone.  The effect is the one named by the item's widget name (an
// effect_table name); any other name is a broken invariant.
void on_image_effect_activate(GtkWidget *item, gpointer user_data);
void on_flip_x_axis_menu_activate(GtkWidget *item, gpointer user_data);
void on_flip_y_axis_menu_activate(GtkWidget *item, gpointer user_data);
// The angle comes from the item's name, "rotate_%c%d_menu": the letter p
// gives 360 minus the number, any other letter the number itself.
void on_rotate_menu_activate(GtkWidget *item, gpointer user_data);
// The picture size commands: each one undo step under the busy cursor that
// marks the drawing modified and empties the outline; a size beyond the
// limits gets "Invalid width or height values" and changes nothing.  Crop
// needs a selection (its item is sensitive only then); the others ask first.
void on_crop_menu_activate(GtkWidget *item, gpointer user_data);
void on_canvas_size_menu_activate(GtkWidget *item, gpointer user_data);
void on_scale_image_menu_activate(GtkWidget *item, gpointer user_data);
void on_rotate_by_menu_activate(GtkWidget *item, gpointer user_data);
void on_get_desktop_activate(GtkWidget *widget, gpointer user_data);
void on_change_background_menu_activate(GtkWidget *widget, gpointer user_data);
void on_set_as_background_centered_activate(GtkWidget *widget, gpointer user_data);
void on_set_as_background_titled_activate(GtkWidget *widget, gpointer user_data);

// The line width entry: a width of 1 or more goes to the window's shared GC;
// anything else puts the current width back into the entry.
void on_line_width_combo_combo_entry_changed(GtkEditable *entry, gpointer user_data);
// Enter in the line width entry, or a width picked from the combo's list,
// gives the drawing area the keyboard again.
void on_line_width_combo_entry_activate(GtkEntry *entry, gpointer user_data);
void on_line_width_combo_changed(GtkComboBox *combo, gpointer user_data);
// The font picker's font goes to the window's text tool.
void on_fontpicker_font_set(GtkFontButton *button, gpointer user_data);

// Connected by the interface description; they do nothing.
void on_print_setup_activate(GtkWidget *widget, gpointer user_data);
void on_reset_menu_activate(GtkWidget *widget, gpointer user_data);
void on_invert_menu_activate(GtkWidget *widget, gpointer user_data);
void on_windows_menu_item_activate(GtkWidget *widget, gpointer user_data);
void on_small_label_realize(GtkWidget *widget, gpointer user_data);
void on_line_width_combo_add(GtkContainer *combo, GtkWidget *child, gpointer user_data);
void on_line_width_combo_check_resize(GtkContainer *combo, gpointer user_data);
void on_fontpicker_realize(GtkWidget *widget, gpointer user_data);
void on_fontpicker_map(GtkWidget *widget, gpointer user_data);
// Returns FALSE so the event goes on to other handlers.
gboolean on_fontpicker_map_event(GtkWidget *widget, GdkEvent *event, gpointer user_data);
void on_font_button_clicked(GtkWidget *widget, gpointer user_data);
void on_bold_button_clicked(GtkWidget *widget, gpointer user_data);
void on_italic_button_clicked(GtkWidget *widget, gpointer user_data);
void on_underline_button_clicked(GtkWidget *widget, gpointer user_data);

// Clipboard commands: cut and copy the selected area, paste into a floating piece.
void on_cut_menu_activate(GtkWidget *widget, gpointer user_data);
void on_copy_menu_activate(GtkWidget *widget, gpointer user_data);
void on_paste_menu_activate(GtkWidget *widget, gpointer user_data);
}
