// The about dialog.
#include "shell/about.h"

#include <glib/gi18n.h>

namespace {

constexpr const char *kProgramName = "vorpix-2";
constexpr const char *kVersion = "0.3.4";

const gchar *const kAuthors[] = {
    "The vorpix developers",
    "The vorpix translators",
    "The vorpix artists",
    nullptr,
};

const char kLicense[] = N_(
    "vorpix is free software; you can redistribute it and/or modify it under "
    "the terms of the GNU General Public License as published by the Free "
    "Software Foundation; either version 2 of the License, or (at your option) "
    "any later version.\n\n"
    "vorpix is distributed in the hope that it will be useful, but WITHOUT ANY "
    "WARRANTY; without even the implied warranty of MERCHANTABILITY or FITNESS "
    "FOR A PARTICULAR PURPOSE.  See the GNU General Public License for more "
    "details.\n\n"
    "You should have received a copy of the GNU General Public License along "
    "with vorpix; if not, write to the Free Software Foundation, Inc., "
    "51 Franklin Street, Fifth Floor, Boston, MA 02110-1301, USA.");

const char kCopyright[] = N_("Copyright \xc2\xa9 The vorpix developers");

const char kComments[] = N_("A simple paint program for the X Window System");

// The window the about dialog belongs to: the toplevel of the menu bar item
// that the item's menu hangs from, when that really is a toplevel window.
GtkWindow *about_parent(GtkMenuItem *menuitem) {
  GtkWidget *menu = gtk_widget_get_parent(GTK_WIDGET(menuitem));
  if (!GTK_IS_MENU(menu)) return nullptr;
  GtkWidget *attach = gtk_menu_get_attach_widget(GTK_MENU(menu));
  if (!attach) return nullptr;
  GtkWidget *toplevel = gtk_widget_get_toplevel(attach);
  if (!GTK_WIDGET_TOPLEVEL(toplevel) || !GTK_IS_WINDOW(toplevel)) return nullptr;
  return GTK_WINDOW(toplevel);
}

}  // namespace

// The project has no web site of its own, and a link that leads nowhere is
// worse than none.
void on_about_menu_activate(GtkMenuItem *menuitem, gpointer /*user_data*/) {
  // "name" is also GtkWidget's name property, so the dialog would show the
  // application name instead; "program-name" is what it displays.
  gtk_show_about_dialog(about_parent(menuitem),
                        "authors", kAuthors,
                        "license", _(kLicense),
                        "copyright", _(kCopyright),
                        "comments", _(kComments),
                        "name", kProgramName,
                        "program-name", kProgramName,
                        "version", kVersion,
                        NULL);
}

void on_about_dialog_pixmap_realize(GtkWidget *widget, gpointer user_data) {
  if (!user_data) return;

  GtkWidget *dialog = gtk_widget_get_toplevel(widget);
  g_assert(dialog);

  GdkBitmap *mask = nullptr;
  GdkPixmap *gdkpixmap = gdk_pixmap_create_from_xpm_d(dialog->window, &mask, nullptr,
                                                      static_cast<gchar **>(user_data));
  g_assert(gdkpixmap);

  gtk_image_set_from_pixmap(GTK_IMAGE(widget), gdkpixmap, mask);
  g_object_unref(gdkpixmap);
  if (mask) g_object_unref(mask);
}
