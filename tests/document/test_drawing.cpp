// The drawing document: titles, modified state, saving and its dialogs,
// creation from files and the desktop, rotation.
#include <gtest/gtest.h>
#include <glib/gstdio.h>

#include <functional>
#include <string>
#include <vector>

#include <gdk/gdkkeysyms.h>

#include "document/canvas.h"
#include "document/drawing.h"
#include "imaging/image.h"
#include "shell/util.h"
#include "shell/window.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::file_contents;
using vorpix_test::LogCapture;
using vorpix_test::MainWindowTest;
using vorpix_test::pump;
using vorpix_test::ScratchDir;
using vorpix_test::write_png;

namespace {

class DrawingTest : public MainWindowTest {
 protected:
  void fill(int x, int y, int w, int h, guint16 r, guint16 g, guint16 b) {
    GdkGC *gc = gdk_gc_new(drawing()->backing_pixmap);
    GdkColor color = {0, r, g, b};
    gdk_gc_set_rgb_fg_color(gc, &color);
    gdk_draw_rectangle(drawing()->backing_pixmap, gc, TRUE, x, y, w, h);
    g_object_unref(gc);
  }
};

TEST_F(DrawingTest, TitleFollowsNameAndModifiedState) {
  EXPECT_STREQ(title(), "Untitled - vorpix");
  drawing_modified(drawing());
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");

  drawing_set_filename(drawing(), "/home/user/pictures/cat.png");
  EXPECT_STREQ(title(), "cat.png (modified) - vorpix");
  drawing()->modified = 0;
  drawing_set_filename(drawing(), "dog.png");
  EXPECT_STREQ(title(), "dog.png - vorpix");
  drawing_modified(drawing());
  drawing_modified(drawing());
  EXPECT_STREQ(title(), "dog.png (modified) - vorpix");
}

TEST_F(DrawingTest, EmptyFileNameIsRefused) {
  drawing_set_filename(drawing(), "kept.png");
  LogCapture log;
  drawing_set_filename(drawing(), "");
  EXPECT_TRUE(log.contains("refusing to set empty filename."));
  EXPECT_STREQ(drawing()->filename->str, "kept.png");
  EXPECT_STREQ(title(), "kept.png - vorpix");
}

TEST_F(DrawingTest, InBoundsIncludesBothUpperEnds) {
  EXPECT_TRUE(drawing_in_bounds(drawing(), 0, 0));
  EXPECT_TRUE(drawing_in_bounds(drawing(), 640, 480));
  EXPECT_FALSE(drawing_in_bounds(drawing(), 641, 0));
  EXPECT_FALSE(drawing_in_bounds(drawing(), -1, 0));
  EXPECT_FALSE(drawing_in_bounds(drawing(), 0, 481));
  EXPECT_FALSE(drawing_in_bounds(drawing(), 5, -1));
}

TEST_F(DrawingTest, BlankOfWidthZeroTakesTheAreaSizeWhateverTheHeight) {
  int width, height;
  gdk_drawable_get_size(area->window, &width, &height);
  VorpixDrawing *blank = drawing_new_blank(area, canvas->gc, 0, 77);
  EXPECT_EQ(blank->width, width);
  EXPECT_EQ(blank->height, height);
  drawing_destroy(blank);
}

TEST_F(DrawingTest, NewBlankIsWhiteWhateverTheBackground) {
  GdkColor red = {0, 0xffff, 0, 0};
  gdk_colormap_alloc_color(gdk_colormap_get_system(), &red, FALSE, TRUE);
  gdk_gc_set_background(canvas->gc, &red);
  VorpixDrawing *blank = drawing_new_blank(area, canvas->gc, 30, 20);
  for (guint32 value : vorpix_test::drawable_pixels(blank->backing_pixmap, 30, 20))
    ASSERT_EQ(value, 0xffffffu);
  drawing_clear(blank);
  EXPECT_EQ(vorpix_test::drawable_pixel(blank->backing_pixmap, 29, 19), 0xff0000u);
  EXPECT_EQ(blank->modified, 0);
  drawing_destroy(blank);
}

TEST_F(DrawingTest, SaveAsJpegRenamesAndClearsModified) {
  ScratchDir dir;
  drawing_modified(drawing());
  std::string path = dir.file("y.jpg");
  EXPECT_EQ(drawing_save_as(drawing(), path.c_str()), 1);
  std::string bytes = file_contents(path);
  ASSERT_GE(bytes.size(), 3u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
  EXPECT_STREQ(title(), "y.jpg - vorpix");
  EXPECT_EQ(drawing()->modified, 0);
  EXPECT_EQ(drawing()->untitled, 0);
}

TEST_F(DrawingTest, FailedSaveShowsTheLibraryErrorAndKeepsState) {
  ScratchDir dir;
  drawing_modified(drawing());
  std::string path = dir.file("missing-dir/picture.png");
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_OK);
  EXPECT_EQ(drawing_save_as(drawing(), path.c_str()), 0);
  ASSERT_EQ(dialogs.answered(), 1);
  std::string expected = "Failed to save file " + path + ".\n\n";
  EXPECT_EQ(dialogs.texts()[0].substr(0, expected.size()), expected);
  EXPECT_GT(dialogs.texts()[0].size(), expected.size()) << "the library's message is missing";
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
  EXPECT_EQ(drawing()->untitled, 1);
}

TEST_F(DrawingTest, PromptIsSkippedForAnUnmodifiedDrawing) {
  DialogAnswerer dialogs;
  EXPECT_EQ(drawing_prompt_to_save(drawing()), 0);
  EXPECT_EQ(dialogs.answered(), 0);
}

// A key pressed and released on a dialog, as the user types it.
void type_into(GtkWidget *dialog, guint keyval) {
  vorpix_test::send_key(dialog, GDK_KEY_PRESS, keyval);
  vorpix_test::send_key(dialog, GDK_KEY_RELEASE, keyval);
}

void click_response(GtkWidget *dialog, int response) {
  gtk_button_clicked(GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), response)));
}

// The prompt answered as a user answers it: only the discard button gives the
// changes up; Escape and the window manager's close mean cancel; Return
// saves, the save button having the focus.
TEST_F(DrawingTest, PromptAnsweredByKeysButtonsAndTheWindowManager) {
  ScratchDir dir;
  const std::string path = dir.file("kept.png");
  struct Case {
    const char *answer;
    std::function<void(GtkWidget *)> give;
    int result;
    bool written;
  };
  const Case cases[] = {
      {"Escape", [](GtkWidget *d) { type_into(d, GDK_Escape); }, 1, false},
      {"window manager's close", [](GtkWidget *d) { vorpix_test::send_delete(d); }, 1, false},
      {"cancel button", [](GtkWidget *d) { click_response(d, GTK_RESPONSE_CANCEL); }, 1, false},
      {"discard button", [](GtkWidget *d) { click_response(d, GTK_RESPONSE_NO); }, 0, false},
      {"Return", [](GtkWidget *d) { type_into(d, GDK_Return); }, 0, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.answer);
    g_remove(path.c_str());
    drawing_set_filename(drawing(), path.c_str());
    drawing_modified(drawing());
    std::string focus;
    std::vector<std::string> buttons;
    DialogAnswerer dialogs;
    dialogs.act([&](GtkWidget *d) {
      GtkWidget *focused = gtk_window_get_focus(GTK_WINDOW(d));
      focus = GTK_IS_BUTTON(focused) ? gtk_button_get_label(GTK_BUTTON(focused)) : "no button";
      // In the order shown, left to right.
      GList *children = gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(d)->action_area));
      children = g_list_sort(children, [](gconstpointer a, gconstpointer b) {
        return GTK_WIDGET(a)->allocation.x - GTK_WIDGET(b)->allocation.x;
      });
      for (GList *l = children; l; l = l->next)
        buttons.push_back(gtk_button_get_label(GTK_BUTTON(l->data)));
      g_list_free(children);
      c.give(d);
    });
    EXPECT_EQ(drawing_prompt_to_save(drawing()), c.result);
    ASSERT_EQ(dialogs.answered(), 1);
    EXPECT_EQ(dialogs.texts()[0],
              "Do you want to save the changes you made to \"" + path +
                  "\"?\nYour changes will be lost if you don't save them.");
    EXPECT_EQ(buttons, (std::vector<std::string>{GTK_STOCK_DISCARD, GTK_STOCK_CANCEL, GTK_STOCK_SAVE}));
    EXPECT_EQ(focus, GTK_STOCK_SAVE);
    EXPECT_EQ(g_file_test(path.c_str(), G_FILE_TEST_EXISTS), c.written);
    EXPECT_EQ(drawing()->modified, c.written ? 0 : 1);
  }
}

// Saving from the prompt a drawing without a name of its own asks where:
// nothing is written into the current directory behind the user's back.
TEST_F(DrawingTest, PromptSaveOfAnUntitledDrawingAsksWhere) {
  ScratchDir dir;
  const std::string chosen = dir.file("chosen.png");
  drawing_modified(drawing());
  std::string proposed;
  DialogAnswerer dialogs;
  dialogs.act([](GtkWidget *d) { type_into(d, GDK_Return); });
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *d) {
    ASSERT_TRUE(GTK_IS_FILE_CHOOSER(d));
    EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(d)), GTK_FILE_CHOOSER_ACTION_SAVE);
    gchar *name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d));
    proposed = name ? name : "";
    g_free(name);
  });
  EXPECT_EQ(drawing_prompt_to_save(drawing()), 1) << "a cancelled save-as dialog cancels";
  ASSERT_EQ(dialogs.answered(), 2);
  EXPECT_EQ(proposed, dir.file("untitled.png"));
  EXPECT_FALSE(g_file_test(dir.file("untitled.png").c_str(), G_FILE_TEST_EXISTS));
  EXPECT_EQ(drawing()->modified, 1);

  dialogs.act([](GtkWidget *d) { type_into(d, GDK_Return); });
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) { vorpix_test::choose_file(d, chosen); });
  EXPECT_EQ(drawing_prompt_to_save(drawing()), 0);
  ASSERT_EQ(dialogs.answered(), 4);
  EXPECT_TRUE(g_file_test(chosen.c_str(), G_FILE_TEST_EXISTS));
  EXPECT_FALSE(g_file_test(dir.file("untitled.png").c_str(), G_FILE_TEST_EXISTS));
  EXPECT_STREQ(title(), "chosen.png - vorpix");
}

// Cancelling that save-as dialog cancels the command that asked.
TEST_F(DrawingTest, CancelledSaveAsFromThePromptCancelsTheCommand) {
  ScratchDir dir;
  for (const char *item : {"close_window_menu", "quit_menu", "new_file_menu", "open_menu",
                           "get_desktop"}) {
    SCOPED_TRACE(item);
    drawing_modified(drawing());
    VorpixDrawing *before = drawing();
    DialogAnswerer dialogs;
    dialogs.act([](GtkWidget *d) { type_into(d, GDK_Return); });
    dialogs.answer(GTK_RESPONSE_CANCEL);
    gtk_menu_item_activate(GTK_MENU_ITEM(lookup_widget(window, item)));
    pump();
    EXPECT_EQ(dialogs.answered(), 2);
    ASSERT_EQ(window_list() ? window_list()->data : nullptr, window) << "the window went";
    EXPECT_EQ(drawing(), before);
    EXPECT_EQ(dialogs.pending(), 0);
  }
  EXPECT_FALSE(g_file_test(dir.file("untitled.png").c_str(), G_FILE_TEST_EXISTS));
  GList *toplevels = gtk_window_list_toplevels();
  for (GList *l = toplevels; l; l = l->next)
    EXPECT_FALSE(GTK_WIDGET_VISIBLE(l->data) && l->data != window)
        << gtk_widget_get_name(GTK_WIDGET(l->data)) << " was shown";
  g_list_free(toplevels);
}

TEST_F(DrawingTest, SaveOfANamedDrawingWritesWithoutAQuestion) {
  ScratchDir dir;
  std::string path = dir.file("named.png");
  write_png(path, 3, 3, 0x123456);
  drawing_set_filename(drawing(), path.c_str());
  DialogAnswerer dialogs;
  EXPECT_EQ(drawing_save(drawing()), 1);
  EXPECT_EQ(dialogs.answered(), 0);
  GdkPixbuf *saved = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(saved), 640);
  g_object_unref(saved);
}

TEST_F(DrawingTest, OpensAFileTitledWithItsBaseName) {
  ScratchDir dir;
  std::string path = dir.file("cat.png");
  write_png(path, 30, 20, 0x00ff00);
  VorpixDrawing *opened = drawing_new_from_file(area, canvas->gc, path.c_str());
  ASSERT_NE(opened, nullptr);
  canvas_set_drawing(canvas, opened);
  EXPECT_STREQ(title(), "cat.png - vorpix");
  EXPECT_EQ(opened->width, 30);
  EXPECT_EQ(opened->height, 20);
  EXPECT_EQ(opened->modified, 0);
  EXPECT_EQ(pixel(29, 19), 0x00ff00u);
}

// A name in another encoding than UTF-8 (Latin-1 "caf\xe9.png") is shown
// with a replacement character, never as invalid text.
TEST_F(DrawingTest, FileNameNotInUtf8IsShownReadablyInTitleAndMessages) {
  ScratchDir dir;
  const std::string path = dir.file("caf\xe9.png");
  write_png(path, 10, 10, 0x00ff00);
  VorpixDrawing *opened = drawing_new_from_file(area, canvas->gc, path.c_str());
  ASSERT_NE(opened, nullptr);
  canvas_set_drawing(canvas, opened);
  EXPECT_STREQ(drawing()->filename->str, path.c_str()) << "the name itself is kept";
  EXPECT_STREQ(title(), "caf\xef\xbf\xbd.png - vorpix");

  drawing_modified(drawing());
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_CANCEL);
  EXPECT_EQ(drawing_prompt_to_save(drawing()), 1);
  const std::string missing = dir.file("nowhere/caf\xe9.png");
  dialogs.answer(GTK_RESPONSE_OK);
  EXPECT_EQ(drawing_save_as(drawing(), missing.c_str()), 0);
  ASSERT_EQ(dialogs.answered(), 2);
  for (const std::string &text : dialogs.texts()) {
    EXPECT_TRUE(g_utf8_validate(text.c_str(), -1, nullptr)) << text;
    EXPECT_NE(text.find("caf\xef\xbf\xbd.png"), std::string::npos) << text;
  }
  EXPECT_EQ(dialogs.texts()[1].find("Failed to save file " + dir.path()), 0u);
}

TEST_F(DrawingTest, UnreadableFilesGiveNoDrawingAndLeaveTheTitle) {
  ScratchDir dir;
  std::string garbage = dir.file("garbage.png");
  ASSERT_TRUE(g_file_set_contents(garbage.c_str(), "not a picture at all", -1, nullptr));
  std::string empty = dir.file("empty.png");
  ASSERT_TRUE(g_file_set_contents(empty.c_str(), "", 0, nullptr));
  // Valid, but wider than any X pixmap can be.
  std::string too_wide = dir.file("too_wide.png");
  write_png(too_wide, 32768, 1, 0x000000);
  for (const std::string &name :
       {garbage, empty, too_wide, dir.file("absent.png"), dir.file("")}) {
    EXPECT_EQ(drawing_new_from_file(area, canvas->gc, name.c_str()), nullptr) << name;
  }
  EXPECT_STREQ(title(), "Untitled - vorpix");
}

TEST_F(DrawingTest, RightAngleRotationSwapsTheSizeAndMarksModified) {
  fill(0, 0, 10, 10, 0xffff, 0, 0);  // red at the top-left
  drawing_rotate(drawing(), 90);
  canvas_resize(canvas);
  EXPECT_EQ(drawing()->width, 480);
  EXPECT_EQ(drawing()->height, 640);
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
  // A counter-clockwise quarter turn takes the top-left to the bottom-left.
  EXPECT_EQ(pixel(0, 639), 0xff0000u);
  EXPECT_EQ(pixel(0, 0), 0xffffffu);
}

TEST_F(DrawingTest, FreeRotationUncoversCornersInTheBackgroundColour) {
  GdkColor blue = {0, 0, 0, 0xffff};
  gdk_colormap_alloc_color(gdk_colormap_get_system(), &blue, FALSE, TRUE);
  gdk_gc_set_background(canvas->gc, &blue);
  drawing_rotate(drawing(), 45);
  EXPECT_GT(drawing()->width, 640);
  EXPECT_GT(drawing()->height, 480);
  EXPECT_EQ(pixel(0, 0), 0x0000ffu);
  EXPECT_EQ(pixel(drawing()->width / 2, drawing()->height / 2), 0xffffffu);
  EXPECT_EQ(drawing()->modified, 1);
}

TEST_F(DrawingTest, DesktopCaptureIsUntitledModifiedAndRootSized) {
  VorpixDrawing *desktop = drawing_new_from_desktop(area, canvas->gc);
  ASSERT_NE(desktop, nullptr);
  int width, height;
  gdk_drawable_get_size(gdk_get_default_root_window(), &width, &height);
  EXPECT_EQ(desktop->width, width);
  EXPECT_EQ(desktop->height, height);
  canvas_set_drawing(canvas, desktop);
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
}

TEST_F(DrawingTest, CopyToDesktopTilesThePictureFromTheTopLeft) {
  fill(0, 0, 640, 480, 0, 0xffff, 0);
  fill(360, 420, 10, 10, 0xffff, 0, 0xffff);
  drawing_copy_to_desktop(drawing());
  pump();
  // The main window covers the top-left of the screen; look further out.
  GdkWindow *root = gdk_get_default_root_window();
  EXPECT_EQ(vorpix_test::drawable_pixel(root, 1000 + 2, 900 + 2), 0xff00ffu);
  EXPECT_EQ(vorpix_test::drawable_pixel(root, 1000 - 5, 900 - 5), 0x00ff00u);
  EXPECT_EQ(drawing()->modified, 0);
}

}  // namespace
