// The open, save-as and new-canvas dialogs, driven as a user would: file
// choosers filled in and answered, entries typed into, buttons clicked.
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/file.h"
#include "shell/util.h"
#include "shell/window.h"
#include "tests/harness/hostile_loader.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"
#include "tests/harness/xvfb.h"
#include "tools/selection.h"

using vorpix_test::choose_file;
using vorpix_test::DialogAnswerer;
using vorpix_test::MainWindowTest;
using vorpix_test::pump;
using vorpix_test::ScratchDir;
using vorpix_test::write_png;

namespace {

std::string string_of(gchar *owned) {
  std::string result = owned ? owned : "(null)";
  g_free(owned);
  return result;
}

// The chooser's folder once it has settled (it is changed asynchronously).
std::string settled_folder(GtkWidget *dialog) {
  pump();
  return string_of(gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog)));
}

// Notes when a widget is destroyed.
class DestroyWatch {
 public:
  explicit DestroyWatch(GtkWidget *widget) : widget_(widget) {
    id_ = g_signal_connect(widget, "destroy", G_CALLBACK(&DestroyWatch::on_destroy), this);
  }
  ~DestroyWatch() {
    if (!destroyed_) g_signal_handler_disconnect(widget_, id_);
  }
  bool destroyed() const { return destroyed_; }

 private:
  static void on_destroy(GtkWidget *, gpointer self) {
    static_cast<DestroyWatch *>(self)->destroyed_ = true;
  }
  GtkWidget *widget_;
  gulong id_ = 0;
  bool destroyed_ = false;
};

std::string entry_text(GtkWidget *dialog, const char *name) {
  return gtk_entry_get_text(GTK_ENTRY(lookup_widget(dialog, name)));
}

void type_size(GtkWidget *dialog, const char *width, const char *height) {
  gtk_entry_set_text(GTK_ENTRY(lookup_widget(dialog, "new_canvas_width_text_entry")), width);
  gtk_entry_set_text(GTK_ENTRY(lookup_widget(dialog, "new_canvas_height_text_entry")), height);
}

void press_button(GtkWidget *dialog, const char *button) {
  gtk_button_clicked(GTK_BUTTON(lookup_widget(dialog, button)));
  pump();
}

// Cancels a dialog that is still up (a timeout callback).
gboolean give_up(gpointer dialog) {
  EXPECT_TRUE(GTK_WIDGET_VISIBLE(GTK_WIDGET(dialog)));
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  return FALSE;
}

class FileDialogTest : public MainWindowTest {
 protected:
  void paint_block(guint16 red) {
    GdkGC *gc = gdk_gc_new(drawing()->backing_pixmap);
    GdkColor color = {0, red, 0, 0};
    gdk_gc_set_rgb_fg_color(gc, &color);
    gdk_draw_rectangle(drawing()->backing_pixmap, gc, TRUE, 0, 0, 20, 20);
    g_object_unref(gc);
    drawing_modified(drawing());
  }
};

// --- Open

TEST_F(FileDialogTest, OpenStartsInTheCurrentDirectoryThenInTheDrawingsOwn) {
  ScratchDir scratch;
  std::string folder, title;
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *d) {
    title = gtk_window_get_title(GTK_WINDOW(d));
    EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(d)), GTK_FILE_CHOOSER_ACTION_OPEN);
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(d)), GTK_WINDOW(window));
    folder = settled_folder(d);
  });
  file_open_dialog(canvas);
  ASSERT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(title, "Open image");
  EXPECT_EQ(folder, scratch.path());

  ASSERT_EQ(g_mkdir(scratch.file("pictures").c_str(), 0755), 0);
  write_png(scratch.file("pictures/cat.png"), 8, 8, 0x112233);
  drawing_set_filename(drawing(), scratch.file("pictures/cat.png").c_str());
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *d) { folder = settled_folder(d); });
  file_open_dialog(canvas);
  EXPECT_EQ(folder, scratch.file("pictures"));

  // A name without a directory part lives in the current directory.
  drawing_set_filename(drawing(), "cat.png");
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *d) { folder = settled_folder(d); });
  file_open_dialog(canvas);
  EXPECT_EQ(folder, scratch.path());
}

TEST_F(FileDialogTest, OpeningAFileReplacesTheDrawing) {
  ScratchDir scratch;
  std::string path = scratch.file("photo.png");
  write_png(path, 64, 48, 0x3366cc);
  paint_block(0xffff);
  VorpixDrawing *old = drawing();

  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) { choose_file(d, path); });
  file_open_dialog(canvas);
  pump();
  ASSERT_NE(drawing(), old);
  EXPECT_EQ(drawing()->width, 64);
  EXPECT_EQ(drawing()->height, 48);
  EXPECT_EQ(pixel(5, 5), 0x3366ccu);
  EXPECT_STREQ(title(), "photo.png - vorpix");
  EXPECT_EQ(drawing()->modified, 0);
  EXPECT_STREQ(drawing()->filename->str, path.c_str());
}

TEST_F(FileDialogTest, UnreadableFileIsReportedWithItsFullPathAndKeepsThePicture) {
  ScratchDir scratch;
  std::string path = scratch.file("broken.png");
  ASSERT_TRUE(g_file_set_contents(path.c_str(), "not a picture", -1, nullptr));
  paint_block(0xffff);
  VorpixDrawing *old = drawing();

  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) { choose_file(d, path); });
  GtkWindow *parent = nullptr;
  bool modal = false;
  dialogs.answer(GTK_RESPONSE_OK, [&](GtkWidget *d) {
    parent = gtk_window_get_transient_for(GTK_WINDOW(d));
    modal = gtk_window_get_modal(GTK_WINDOW(d));
  });
  file_open_dialog(canvas);
  ASSERT_EQ(dialogs.answered(), 2);
  EXPECT_EQ(dialogs.texts()[1], "Cannot open file " + path + ".");
  EXPECT_EQ(parent, GTK_WINDOW(window));
  EXPECT_TRUE(modal);
  EXPECT_EQ(drawing(), old);
  EXPECT_EQ(pixel(5, 5), 0xff0000u);
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
}

TEST_F(FileDialogTest, UnreadableFileNotNamedInUtf8IsReportedReadably) {
  ScratchDir scratch;
  std::string path = scratch.file("broken-caf\xe9.png");  // Latin-1
  ASSERT_TRUE(g_file_set_contents(path.c_str(), "not a picture", -1, nullptr));
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) { choose_file(d, path); });
  dialogs.answer(GTK_RESPONSE_OK);
  file_open_dialog(canvas);
  ASSERT_EQ(dialogs.answered(), 2);
  EXPECT_EQ(dialogs.texts()[1],
            "Cannot open file " + scratch.path() + "/broken-caf\xef\xbf\xbd.png.");
}

TEST_F(FileDialogTest, CancellingTheOpenDialogChangesNothing) {
  ScratchDir scratch;
  std::string path = scratch.file("photo.png");
  write_png(path, 64, 48, 0x3366cc);
  paint_block(0xffff);
  VorpixDrawing *old = drawing();
  DialogAnswerer dialogs;
  // Even with a file chosen, cancel opens nothing.
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *d) { choose_file(d, path); });
  file_open_dialog(canvas);
  pump();
  EXPECT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(drawing(), old);
  EXPECT_EQ(drawing()->width, 640);
  EXPECT_STREQ(title(), "Untitled (modified) - vorpix");
}

TEST_F(FileDialogTest, WindowClosedWhileTheOpenDialogRunsOpensNothing) {
  ScratchDir scratch;
  std::string path = scratch.file("photo.png");
  write_png(path, 64, 48, 0x3366cc);
  // The command holds the drawing area while it runs, as the menu does.
  g_object_ref(area);
  VorpixCanvas *held = canvas;
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) {
    choose_file(d, path);
    gtk_widget_destroy(window);
  });
  dialogs.answer(GTK_RESPONSE_OK);  // a "Cannot open file" message, if one came
  // Using the closed window shows as toolkit criticals about a freed object.
  vorpix_test::LogCapture gtk_log("Gtk"), gobject_log("GLib-GObject");
  file_open_dialog(held);
  pump();
  EXPECT_EQ(dialogs.answered(), 1);
  EXPECT_TRUE(gtk_log.messages().empty()) << gtk_log.messages().front();
  EXPECT_TRUE(gobject_log.messages().empty()) << gobject_log.messages().front();
  g_object_unref(area);
}

// --- Save as

TEST_F(FileDialogTest, SaveAsProposesUntitledPngInTheCurrentDirectory) {
  ScratchDir scratch;
  paint_block(0xffff);
  std::string title_seen, proposed;
  bool confirms = false;
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) {
    title_seen = gtk_window_get_title(GTK_WINDOW(d));
    GtkFileChooser *chooser = GTK_FILE_CHOOSER(d);
    EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_SAVE);
    confirms = gtk_file_chooser_get_do_overwrite_confirmation(chooser);
    pump();
    proposed = string_of(gtk_file_chooser_get_filename(chooser));
  });
  file_save_as_dialog(canvas);
  pump();
  EXPECT_EQ(title_seen, "Save as");
  EXPECT_TRUE(confirms);
  EXPECT_EQ(proposed, scratch.file("untitled.png"));

  // Accepting the proposal writes the picture there and names the drawing.
  GdkPixbuf *saved = gdk_pixbuf_new_from_file(scratch.file("untitled.png").c_str(), nullptr);
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(saved), 640);
  EXPECT_EQ(gdk_pixbuf_get_pixels(saved)[0], 0xff);
  g_object_unref(saved);
  EXPECT_STREQ(title(), "untitled.png - vorpix");
  EXPECT_EQ(drawing()->untitled, 0);
}

TEST_F(FileDialogTest, SaveAsProposesTheDrawingsOwnNameAndFolder) {
  ScratchDir scratch;
  ASSERT_EQ(g_mkdir(scratch.file("work").c_str(), 0755), 0);
  std::string path = scratch.file("work/sketch.png");
  drawing_set_filename(drawing(), path.c_str());
  std::string proposed;
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *d) {
    pump();
    proposed = string_of(gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d)));
  });
  file_save_as_dialog(canvas);
  EXPECT_EQ(proposed, path);
  // Cancelled: nothing written.
  EXPECT_FALSE(g_file_test(path.c_str(), G_FILE_TEST_EXISTS));
}

// The text of the first visible entry in widget (a save chooser's name entry).
std::string entry_text_in(GtkWidget *widget) {
  if (GTK_IS_ENTRY(widget) && GTK_WIDGET_VISIBLE(widget)) return gtk_entry_get_text(GTK_ENTRY(widget));
  std::string found;
  if (GTK_IS_CONTAINER(widget)) {
    GList *children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList *node = children; node && found.empty(); node = node->next)
      found = entry_text_in(GTK_WIDGET(node->data));
    g_list_free(children);
  }
  return found;
}

TEST_F(FileDialogTest, SaveAsOfADrawingNamedNotInUtf8ProposesAUsableName) {
  ScratchDir scratch;
  drawing_set_filename(drawing(), scratch.file("caf\xe9.png").c_str());  // Latin-1
  std::string proposed;
  DialogAnswerer dialogs;
  dialogs.act([&](GtkWidget *d) {
    pump();
    proposed = entry_text_in(d);
    // The chooser refuses a name that is not UTF-8 with a message of its own.
    bool usable = g_utf8_validate(proposed.c_str(), -1, nullptr);
    gtk_dialog_response(GTK_DIALOG(d), usable ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
  });
  file_save_as_dialog(canvas);
  ASSERT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(proposed, "caf\xef\xbf\xbd.png");
  const std::string saved = scratch.file("caf\xef\xbf\xbd.png");
  EXPECT_TRUE(g_file_test(saved.c_str(), G_FILE_TEST_EXISTS));
  EXPECT_STREQ(drawing()->filename->str, saved.c_str());
}

TEST_F(FileDialogTest, ChoosingAnExistingFileAsksBeforeReplacingIt) {
  ScratchDir scratch;
  std::string path = scratch.file("keep.png");
  ASSERT_TRUE(g_file_set_contents(path.c_str(), "old contents", -1, nullptr));
  paint_block(0xffff);

  DialogAnswerer dialogs;
  GtkWidget *chooser = nullptr;
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) {
    chooser = d;
    choose_file(d, path);
  });
  // The chooser's question: do not replace.  The chooser then stays up, and
  // is given up a little later.
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *) { g_timeout_add(100, &give_up, chooser); });
  file_save_as_dialog(canvas);
  ASSERT_EQ(dialogs.answered(), 2);
  EXPECT_NE(dialogs.texts()[1].find("already exists"), std::string::npos) << dialogs.texts()[1];
  gchar *contents = nullptr;
  ASSERT_TRUE(g_file_get_contents(path.c_str(), &contents, nullptr, nullptr));
  EXPECT_STREQ(contents, "old contents");
  g_free(contents);
  EXPECT_EQ(drawing()->modified, 1);

  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) { choose_file(d, path); });
  dialogs.answer(GTK_RESPONSE_ACCEPT);  // replace
  file_save_as_dialog(canvas);
  pump();
  GdkPixbuf *saved = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(saved), 640);
  g_object_unref(saved);
  EXPECT_STREQ(title(), "keep.png - vorpix");
}

// --- New canvas

TEST_F(FileDialogTest, NewCanvasDialogProposesTheCurrentSizeAndCancelKeepsAll) {
  drawing_rotate(drawing(), 90);
  canvas_resize(canvas);
  VorpixDrawing *old = drawing();
  GtkWidget *dialog = file_new_dialog(canvas);
  pump();
  ASSERT_NE(dialog, nullptr);
  EXPECT_STREQ(gtk_widget_get_name(dialog), "new_canvas_window");
  EXPECT_TRUE(GTK_WIDGET_VISIBLE(dialog));
  EXPECT_FALSE(gtk_window_get_modal(GTK_WINDOW(dialog)));
  EXPECT_EQ(entry_text(dialog, "new_canvas_width_text_entry"), "480");
  EXPECT_EQ(entry_text(dialog, "new_canvas_height_text_entry"), "640");

  DestroyWatch watch(dialog);
  press_button(dialog, "new_canvas_cancel_button");
  EXPECT_TRUE(watch.destroyed());
  EXPECT_EQ(drawing(), old);
}

TEST_F(FileDialogTest, NewCanvasAcceptsTheLimitsAndGivesAWhiteUntitledPicture) {
  paint_block(0xffff);
  canvas_select_all(canvas);
  ASSERT_GE(selection_num_points(canvas->selection), 3);

  GtkWidget *dialog = file_new_dialog(canvas);
  DestroyWatch watch(dialog);
  type_size(dialog, "4096", "1");
  press_button(dialog, "new_canvas_ok_button");
  EXPECT_TRUE(watch.destroyed());
  EXPECT_EQ(drawing()->width, 4096);
  EXPECT_EQ(drawing()->height, 1);
  for (guint32 value : vorpix_test::drawable_pixels(drawing()->backing_pixmap, 4096, 1))
    ASSERT_EQ(value, 0xffffffu);
  EXPECT_STREQ(title(), "Untitled - vorpix");
  EXPECT_EQ(drawing()->modified, 0);
  EXPECT_EQ(selection_num_points(canvas->selection), 0);

  dialog = file_new_dialog(canvas);
  EXPECT_EQ(entry_text(dialog, "new_canvas_width_text_entry"), "4096");
  type_size(dialog, "1", "4096");
  press_button(dialog, "new_canvas_ok_button");
  EXPECT_EQ(drawing()->width, 1);
  EXPECT_EQ(drawing()->height, 4096);
}

// An X server short of memory refuses the pixmap: the user is told, and the
// picture and the dialog stay for a smaller size.
TEST_F(FileDialogTest, NewCanvasTheServerCannotHoldKeepsThePictureAndTheDialog) {
  VorpixDrawing *old = drawing();
  GtkWidget *dialog = file_new_dialog(canvas);
  DestroyWatch watch(dialog);
  type_size(dialog, "4096", "4096");
  {
    vorpix_test::ServerMemoryLimit limit(16 << 20);
    ASSERT_TRUE(limit.ok());
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_OK);
    press_button(dialog, "new_canvas_ok_button");
    ASSERT_EQ(dialogs.answered(), 1);
    EXPECT_EQ(dialogs.texts().back(), "Not enough memory to make a new picture.");
  }
  EXPECT_FALSE(watch.destroyed());
  EXPECT_EQ(drawing(), old);
  EXPECT_EQ(drawing()->width, 640);
  press_button(dialog, "new_canvas_ok_button");
  EXPECT_TRUE(watch.destroyed());
  EXPECT_EQ(drawing()->width, 4096);
}

TEST_F(FileDialogTest, NewCanvasReadsNumbersLikeScanf) {
  const struct {
    const char *width, *height;
    int expected_width, expected_height;
  } cases[] = {{"300px", "200", 300, 200}, {"  +120", "\t45 x", 120, 45}, {"007", "8.9", 7, 8}};
  for (const auto &c : cases) {
    GtkWidget *dialog = file_new_dialog(canvas);
    type_size(dialog, c.width, c.height);
    press_button(dialog, "new_canvas_ok_button");
    EXPECT_EQ(drawing()->width, c.expected_width) << c.width;
    EXPECT_EQ(drawing()->height, c.expected_height) << c.height;
  }
}

TEST_F(FileDialogTest, NewCanvasRefusesSizesOutsideTheRangeAndStaysOpen) {
  const struct {
    const char *width, *height;
  } cases[] = {{"4097", "10"},
               {"10", "4097"},
               {"0", "10"},
               {"-5", "10"},
               {"", "10"},
               {"10", "abc"},
               {"px300", "10"},
               // 2^32 + 100 must not wrap around into the accepted range.
               {"4294967396", "10"}};
  for (const auto &c : cases) {
    DialogAnswerer dialogs;
    VorpixDrawing *old = drawing();
    GtkWidget *dialog = file_new_dialog(canvas);
    DestroyWatch watch(dialog);
    type_size(dialog, c.width, c.height);
    GtkWindow *parent = nullptr;
    bool modal = false;
    dialogs.answer(GTK_RESPONSE_OK, [&](GtkWidget *d) {
      parent = gtk_window_get_transient_for(GTK_WINDOW(d));
      modal = gtk_window_get_modal(GTK_WINDOW(d));
    });
    press_button(dialog, "new_canvas_ok_button");
    ASSERT_EQ(dialogs.answered(), 1) << c.width << " x " << c.height;
    EXPECT_EQ(dialogs.texts().back(), "Invalid width or height values");
    EXPECT_EQ(parent, GTK_WINDOW(dialog));
    EXPECT_TRUE(modal);
    EXPECT_FALSE(watch.destroyed());
    EXPECT_EQ(entry_text(dialog, "new_canvas_width_text_entry"), c.width);
    EXPECT_EQ(entry_text(dialog, "new_canvas_height_text_entry"), c.height);
    EXPECT_EQ(drawing(), old);
    press_button(dialog, "new_canvas_cancel_button");
    EXPECT_TRUE(watch.destroyed());
  }
}

TEST_F(FileDialogTest, SeveralNewCanvasDialogsEachActOnTheirOwnWindow) {
  GtkWidget *other = open_window();
  GtkWidget *mine = file_new_dialog(canvas);
  GtkWidget *second_mine = file_new_dialog(canvas);
  GtkWidget *theirs = file_new_dialog(canvas_of(other));

  type_size(theirs, "30", "40");
  press_button(theirs, "new_canvas_ok_button");
  EXPECT_EQ(canvas_of(other)->drawing->width, 30);
  EXPECT_EQ(drawing()->width, 640);

  type_size(mine, "50", "60");
  press_button(mine, "new_canvas_ok_button");
  EXPECT_EQ(drawing()->width, 50);
  EXPECT_EQ(canvas_of(other)->drawing->width, 30);

  type_size(second_mine, "70", "80");
  press_button(second_mine, "new_canvas_ok_button");
  EXPECT_EQ(drawing()->height, 80);
  EXPECT_EQ(canvas_of(other)->drawing->height, 40);
}

TEST_F(FileDialogTest, DestroyingAMainWindowClosesItsNewCanvasDialogsOnly) {
  GtkWidget *other = open_window();
  GtkWidget *theirs = file_new_dialog(canvas_of(other));
  GtkWidget *theirs_too = file_new_dialog(canvas_of(other));
  GtkWidget *mine = file_new_dialog(canvas);
  DestroyWatch theirs_watch(theirs), theirs_too_watch(theirs_too), mine_watch(mine);

  // One of them went first: its connection to the main window must be gone.
  press_button(theirs_too, "new_canvas_cancel_button");
  ASSERT_TRUE(theirs_too_watch.destroyed());

  gtk_widget_destroy(other);
  pump();
  EXPECT_TRUE(theirs_watch.destroyed());
  EXPECT_FALSE(mine_watch.destroyed());

  type_size(mine, "33", "44");
  press_button(mine, "new_canvas_ok_button");
  EXPECT_TRUE(mine_watch.destroyed());
  EXPECT_EQ(drawing()->width, 33);
}

TEST_F(FileDialogTest, MainWindowClosingUnderTheInvalidSizeMessageIsHarmless) {
  GtkWidget *other = open_window();
  GtkWidget *theirs = file_new_dialog(canvas_of(other));
  DestroyWatch watch(theirs);
  type_size(theirs, "0", "0");
  DialogAnswerer dialogs;
  dialogs.act([&](GtkWidget *) { gtk_widget_destroy(other); });
  press_button(theirs, "new_canvas_ok_button");
  EXPECT_EQ(dialogs.answered(), 1);
  EXPECT_TRUE(watch.destroyed());
  EXPECT_EQ(drawing()->width, 640);
}

TEST_F(FileDialogTest, DestroyingADialogWindowWithoutARecordIsHarmless) {
  GtkWidget *bare = create_new_canvas_window();
  DestroyWatch watch(bare);
  gtk_widget_destroy(bare);
  EXPECT_TRUE(watch.destroyed());
}

// --- What the choosers offer

const bool loader_installed = vorpix_test::install_hostile_loader();

std::string hostile_file(const char *name) {
  return std::string(VORPIX_SOURCE_DIR) + "/tests/data/hostile/" + name;
}

bool filter_accepts(GtkFileFilter *filter, const char *name, const char *mime_type) {
  GtkFileFilterInfo info = {};
  info.contains = static_cast<GtkFileFilterFlags>(GTK_FILE_FILTER_DISPLAY_NAME |
                                                  GTK_FILE_FILTER_MIME_TYPE);
  info.display_name = name;
  info.mime_type = mime_type;
  return gtk_file_filter_filter(filter, &info);
}

TEST_F(FileDialogTest, OpenShowsAllPicturesFirstThenAllFiles) {
  std::vector<std::string> names, current;
  bool pictures_take_every_readable_type = true, pictures_take_text = true, all_take_text = false;
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *d) {
    GtkFileChooser *chooser = GTK_FILE_CHOOSER(d);
    GSList *filters = gtk_file_chooser_list_filters(chooser);
    for (GSList *node = filters; node; node = node->next)
      names.push_back(gtk_file_filter_get_name(GTK_FILE_FILTER(node->data)));
    ASSERT_EQ(g_slist_length(filters), 2u);
    auto *pictures = GTK_FILE_FILTER(filters->data);
    auto *all = GTK_FILE_FILTER(filters->next->data);
    g_slist_free(filters);
    current.push_back(gtk_file_filter_get_name(gtk_file_chooser_get_filter(chooser)));
    GSList *formats = gdk_pixbuf_get_formats();
    for (GSList *node = formats; node; node = node->next) {
      gchar **types = gdk_pixbuf_format_get_mime_types(static_cast<GdkPixbufFormat *>(node->data));
      for (gchar **type = types; type && *type; type++)
        if (!filter_accepts(pictures, "picture", *type)) pictures_take_every_readable_type = false;
      g_strfreev(types);
    }
    g_slist_free(formats);
    pictures_take_text = filter_accepts(pictures, "notes.txt", "text/plain");
    all_take_text = filter_accepts(all, "notes.txt", "text/plain");
  });
  file_open_dialog(canvas);
  ASSERT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(names, (std::vector<std::string>{"All pictures", "All files"}));
  EXPECT_EQ(current, std::vector<std::string>{"All pictures"});
  EXPECT_TRUE(pictures_take_every_readable_type);
  EXPECT_FALSE(pictures_take_text);
  EXPECT_TRUE(all_take_text);
}

// The size of what the open chooser's preview shows; 0 by 0 when it shows
// nothing (and is inactive).
std::pair<int, int> shown_preview(GtkFileChooser *chooser) {
  GtkWidget *preview = gtk_file_chooser_get_preview_widget(chooser);
  if (!preview || !GTK_IS_IMAGE(preview)) return {-1, -1};
  GdkPixbuf *shown = gtk_image_get_storage_type(GTK_IMAGE(preview)) == GTK_IMAGE_PIXBUF
                         ? gtk_image_get_pixbuf(GTK_IMAGE(preview))
                         : nullptr;
  if (gtk_file_chooser_get_preview_widget_active(chooser) != (shown != nullptr)) return {-2, -2};
  return shown ? std::make_pair(gdk_pixbuf_get_width(shown), gdk_pixbuf_get_height(shown))
               : std::make_pair(0, 0);
}

// Previews are decoded in the helper too: a loader that crashes, reaches
// out or hangs gives no preview and leaves the dialog working.
TEST_F(FileDialogTest, OpenPreviewIsASmallThumbnailAndNothingForBrokenOrHugeFiles) {
  ASSERT_TRUE(loader_installed);
  ScratchDir scratch;
  write_png(scratch.file("wide.png"), 300, 150, 0x00ff00);
  write_png(scratch.file("small.png"), 20, 10, 0x00ff00);
  // An XPM's size is known only once read whole: it is scaled afterwards.
  std::string xpm = "/* XPM */\nstatic char *p[] = {\"200 100 1 1\", \"a c #00FF00\"";
  for (int y = 0; y < 100; y++) xpm += ",\n\"" + std::string(200, 'a') + "\"";
  ASSERT_TRUE(g_file_set_contents(scratch.file("wide.xpm").c_str(), (xpm + "};\n").c_str(), -1,
                                  nullptr));
  for (const char *action : {"abort", "socket"})
    vorpix_test::write_hostile_file(scratch.file(std::string(action) + ".vxh"), action);
  // Ten levels of ten uses each: the SVG loader works for seconds on it.
  std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' "
                    "xmlns:xlink='http://www.w3.org/1999/xlink' width='9' height='9'><defs>"
                    "<rect id='a0' width='1' height='1'/>";
  for (int level = 1; level <= 10; level++) {
    svg += "<g id='a" + std::to_string(level) + "'>";
    for (int i = 0; i < 10; i++) svg += "<use xlink:href='#a" + std::to_string(level - 1) + "'/>";
    svg += "</g>";
  }
  svg += "</defs><use xlink:href='#a10'/></svg>";
  ASSERT_TRUE(g_file_set_contents(scratch.file("bomb.svg").c_str(), svg.c_str(), -1, nullptr));
  struct Case {
    std::string path;
    int width, height;  // -1: any size up to the limit, or none
  };
  const std::vector<Case> cases = {
      {scratch.file("wide.png"), 128, 64},
      {scratch.file("small.png"), 20, 10},
      {scratch.file("wide.xpm"), 128, 64},
      {scratch.file("abort.vxh"), 0, 0},
      {scratch.file("socket.vxh"), 0, 0},
      {scratch.file("bomb.svg"), 0, 0},
      {hostile_file("huge.png"), 0, 0},
      {hostile_file("many_pixels.png"), 0, 0},
      {hostile_file("zero_size.png"), 0, 0},
      {hostile_file("random.png"), 0, 0},
      {hostile_file("empty.png"), 0, 0},
      {hostile_file("tall.png"), 1, 128},
      {hostile_file("truncated.png"), -1, -1},
      {hostile_file("truncated.jpg"), -1, -1},
      {hostile_file("truncated.gif"), -1, -1},
      {scratch.path(), 0, 0},       // a folder
      {scratch.file("gone.png"), 0, 0},
      {"/dev/zero", 0, 0},           // would never end
  };
  std::vector<std::pair<int, int>> seen;
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_CANCEL, [&](GtkWidget *d) {
    GtkFileChooser *chooser = GTK_FILE_CHOOSER(d);
    for (const Case &c : cases) {
      const gint64 start = g_get_monotonic_time();
      file_show_preview(chooser, c.path.c_str());
      seen.push_back(shown_preview(chooser));
      // A preview gives up after 2 s.
      EXPECT_LT(g_get_monotonic_time() - start, 3500 * 1000) << c.path;
    }
    file_show_preview(chooser, nullptr);
    seen.push_back(shown_preview(chooser));
  });
  file_open_dialog(canvas);
  ASSERT_EQ(dialogs.answered(), 1);
  ASSERT_EQ(seen.size(), cases.size() + 1);
  for (size_t i = 0; i < cases.size(); i++) {
    const Case &c = cases[i];
    if (c.width >= 0) {
      EXPECT_EQ(seen[i], std::make_pair(c.width, c.height)) << c.path;
    }
    EXPECT_GE(seen[i].first, 0) << c.path;
    EXPECT_LE(seen[i].first, 128) << c.path;
    EXPECT_LE(seen[i].second, 128) << c.path;
  }
  EXPECT_EQ(seen.back(), std::make_pair(0, 0));
}

TEST_F(FileDialogTest, SaveAsFileTypeChoiceSetsTheExtension) {
  ScratchDir scratch;
  std::string active_label, after_choice, without_extension;
  DialogAnswerer dialogs;
  dialogs.answer(GTK_RESPONSE_ACCEPT, [&](GtkWidget *d) {
    GtkFileChooser *chooser = GTK_FILE_CHOOSER(d);
    GtkWidget *extra = gtk_file_chooser_get_extra_widget(chooser);
    ASSERT_NE(extra, nullptr);
    GtkWidget *combo = vorpix_test::find_named(extra, "save_type_combo");
    ASSERT_TRUE(combo && GTK_IS_COMBO_BOX(combo));
    active_label = string_of(gtk_combo_box_get_active_text(GTK_COMBO_BOX(combo)));
    // The entries in order: find the two this test chooses.
    int jpeg = -1, bmp = -1;
    GtkTreeModel *model = gtk_combo_box_get_model(GTK_COMBO_BOX(combo));
    GtkTreeIter iter;
    for (int i = 0; gtk_tree_model_iter_nth_child(model, &iter, nullptr, i); i++) {
      gchar *label = nullptr;
      gtk_tree_model_get(model, &iter, 0, &label, -1);
      if (g_str_has_prefix(label, "JPEG (")) jpeg = i;
      if (g_str_has_prefix(label, "BMP (")) bmp = i;
      g_free(label);
    }
    ASSERT_GE(jpeg, 0);
    ASSERT_GE(bmp, 0);

    gtk_file_chooser_set_current_name(chooser, "sketch");
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), bmp);
    pump();
    without_extension = string_of(gtk_file_chooser_get_filename(chooser));
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), jpeg);
    pump();
    after_choice = string_of(gtk_file_chooser_get_filename(chooser));
  });
  file_save_as_dialog(canvas);
  pump();
  ASSERT_EQ(dialogs.answered(), 1);
  EXPECT_TRUE(g_str_has_prefix(active_label.c_str(), "PNG (*.png")) << active_label;
  EXPECT_EQ(without_extension, scratch.file("sketch.bmp"));
  EXPECT_EQ(after_choice, scratch.file("sketch.jpeg"));
  GdkPixbufFormat *format = gdk_pixbuf_get_file_info(after_choice.c_str(), nullptr, nullptr);
  ASSERT_NE(format, nullptr);
  EXPECT_STREQ(string_of(gdk_pixbuf_format_get_name(format)).c_str(), "jpeg");
  EXPECT_STREQ(drawing()->filename->str, after_choice.c_str());
}

}  // namespace
