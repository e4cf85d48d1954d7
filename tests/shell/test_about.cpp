// The about dialog, opened from a real menu bar, and the XPM image handler.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "shell/about.h"

namespace {

void pump() {
  while (gtk_events_pending()) gtk_main_iteration();
}

// The about dialogs currently open that are transient for parent.
std::vector<GtkAboutDialog *> about_dialogs_for(GtkWindow *parent) {
  std::vector<GtkAboutDialog *> found;
  GList *toplevels = gtk_window_list_toplevels();
  for (GList *l = toplevels; l; l = l->next) {
    if (GTK_IS_ABOUT_DIALOG(l->data) &&
        gtk_window_get_transient_for(GTK_WINDOW(l->data)) == parent)
      found.push_back(GTK_ABOUT_DIALOG(l->data));
  }
  g_list_free(toplevels);
  return found;
}

// A "Help" entry in a menu bar whose menu holds an "About" item wired to
// the handler.  The menu bar goes into container when one is given.
GtkWidget *build_help_menu(GtkWidget *container, GtkWidget **menubar_out = nullptr) {
  GtkWidget *menubar = gtk_menu_bar_new();
  GtkWidget *help = gtk_menu_item_new_with_label("Help");
  GtkWidget *menu = gtk_menu_new();
  GtkWidget *about = gtk_menu_item_new_with_label("About");
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), about);
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(help), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(menubar), help);
  g_signal_connect(about, "activate", G_CALLBACK(on_about_menu_activate), nullptr);
  if (container) gtk_container_add(GTK_CONTAINER(container), menubar);
  if (menubar_out) *menubar_out = menubar;
  return about;
}

TEST(AboutDialog, OpensOverTheMainWindowWithNameAndVersion) {
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget *vbox = gtk_vbox_new(FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), vbox);
  GtkWidget *about = build_help_menu(vbox);
  gtk_widget_show_all(window);
  pump();

  gtk_menu_item_activate(GTK_MENU_ITEM(about));
  pump();

  std::vector<GtkAboutDialog *> dialogs = about_dialogs_for(GTK_WINDOW(window));
  ASSERT_EQ(dialogs.size(), 1u);
  GtkAboutDialog *dialog = dialogs[0];
  EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(dialog)));
  EXPECT_STREQ(gtk_about_dialog_get_version(dialog), "0.3.4");
  EXPECT_STREQ(gtk_widget_get_name(GTK_WIDGET(dialog)), "vorpix-2");
  // What the dialog shows as the program's name.
  EXPECT_STREQ(gtk_about_dialog_get_program_name(dialog), "vorpix-2");
  // No link to a place that does not exist.
  EXPECT_EQ(gtk_about_dialog_get_website(dialog), nullptr);
  EXPECT_NE(std::string(gtk_about_dialog_get_license(dialog)).find("GNU General Public License"),
            std::string::npos);
  EXPECT_NE(std::string(gtk_about_dialog_get_license(dialog)).find("version 2"),
            std::string::npos);
  EXPECT_GT(std::string(gtk_about_dialog_get_copyright(dialog)).size(), 0u);
  EXPECT_GT(std::string(gtk_about_dialog_get_comments(dialog)).size(), 0u);
  const gchar *const *authors = gtk_about_dialog_get_authors(dialog);
  ASSERT_NE(authors, nullptr);
  int n = 0;
  while (authors[n]) ++n;
  EXPECT_EQ(n, 3);

  // Choosing About again brings back the same dialog.
  gtk_widget_hide(GTK_WIDGET(dialog));
  gtk_menu_item_activate(GTK_MENU_ITEM(about));
  pump();
  dialogs = about_dialogs_for(GTK_WINDOW(window));
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0], dialog);
  EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(dialog)));

  // The dialog belongs to its window and goes with it.
  gpointer weak_dialog = dialog;
  g_object_add_weak_pointer(G_OBJECT(dialog), &weak_dialog);
  gtk_widget_destroy(window);
  pump();
  EXPECT_EQ(weak_dialog, nullptr);
}

TEST(AboutDialog, MenuBarOutsideAWindowGivesADialogWithoutParent) {
  GtkWidget *menubar = nullptr;
  GtkWidget *about = build_help_menu(nullptr, &menubar);
  g_object_ref_sink(menubar);
  ASSERT_TRUE(about_dialogs_for(nullptr).empty());

  gtk_menu_item_activate(GTK_MENU_ITEM(about));
  pump();

  std::vector<GtkAboutDialog *> dialogs = about_dialogs_for(nullptr);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_STREQ(gtk_about_dialog_get_version(dialogs[0]), "0.3.4");
  gtk_widget_hide(GTK_WIDGET(dialogs[0]));

  gtk_widget_destroy(menubar);
  g_object_unref(menubar);
}

// A 4 by 3 picture: red and blue columns, a transparent corner.
const char *const kXpm[] = {
    "4 3 3 1",
    "r c #FF0000",
    "b c #0000FF",
    ". c None",
    "rrbb",
    "rrbb",
    "rrb.",
};

class AboutPixmapTest : public ::testing::Test {
 protected:
  void show_image(gpointer data) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    image_ = gtk_image_new();
    g_signal_connect(image_, "realize", G_CALLBACK(on_about_dialog_pixmap_realize), data);
    gtk_container_add(GTK_CONTAINER(window_), image_);
    gtk_widget_show_all(window_);
    pump();
  }
  void TearDown() override {
    if (window_) gtk_widget_destroy(window_);
    pump();
  }

  GtkWidget *window_ = nullptr;
  GtkWidget *image_ = nullptr;
};

TEST_F(AboutPixmapTest, WithoutDataTheImageStaysEmpty) {
  show_image(nullptr);
  EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(image_)), GTK_IMAGE_EMPTY);
}

TEST_F(AboutPixmapTest, XpmDataBecomesTheImage) {
  show_image(const_cast<char **>(kXpm));
  ASSERT_EQ(gtk_image_get_storage_type(GTK_IMAGE(image_)), GTK_IMAGE_PIXMAP);

  GdkPixmap *pixmap = nullptr;
  GdkBitmap *mask = nullptr;
  gtk_image_get_pixmap(GTK_IMAGE(image_), &pixmap, &mask);
  ASSERT_NE(pixmap, nullptr);
  EXPECT_NE(mask, nullptr);
  gint w = 0, h = 0;
  gdk_drawable_get_size(pixmap, &w, &h);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 3);

  GdkPixbuf *pixbuf = gdk_pixbuf_get_from_drawable(nullptr, pixmap, gdk_colormap_get_system(), 0,
                                                   0, 0, 0, 4, 3);
  ASSERT_NE(pixbuf, nullptr);
  const guchar *row = gdk_pixbuf_get_pixels(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  EXPECT_EQ(row[0], 0xFF);  // red at (0, 0)
  EXPECT_EQ(row[2], 0x00);
  EXPECT_EQ(row[2 * channels + 0], 0x00);  // blue at (2, 0)
  EXPECT_EQ(row[2 * channels + 2], 0xFF);
  g_object_unref(pixbuf);

  // Only the image keeps the pixmap: the handler dropped its own reference.
  EXPECT_EQ(G_OBJECT(pixmap)->ref_count, 1u);
  EXPECT_EQ(G_OBJECT(mask)->ref_count, 1u);
}

}  // namespace
