// Drag and drop onto a main window, done for real: a second window of this
// process offers files or a picture as a drag source, and xdotool drags from
// it to the vorpix window through the X server, as a user would.
#include <gdk/gdkkeysyms.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/clipboard.h"
#include "document/drawing.h"
#include "panels/status_bar.h"
#include "tests/harness/process.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using namespace vorpix_test;

namespace {

constexpr guint32 kRed = 0xff0000, kWhite = 0xffffff, kBlue = 0x0000ff;
constexpr int kBlankSide = 300;
constexpr int kNoAnswer = -1;
constexpr gint64 kGiveUpUs = 20 * G_USEC_PER_SEC;  // only against a hang

// What the drag source offers: URIs under text/uri-list, or bytes.
struct Offer {
  std::string target;
  std::vector<std::string> uris;
  std::string bytes;
  bool ended = false;
};

void on_source_drag_data_get(GtkWidget *, GdkDragContext *, GtkSelectionData *data, guint, guint,
                             gpointer user) {
  const Offer *offer = static_cast<Offer *>(user);
  std::vector<gchar *> uris;
  for (const std::string &uri : offer->uris) uris.push_back(const_cast<gchar *>(uri.c_str()));
  uris.push_back(nullptr);
  if (!offer->uris.empty()) gtk_selection_data_set_uris(data, uris.data());
  else
    gtk_selection_data_set(data, gdk_atom_intern(offer->target.c_str(), FALSE), 8,
                           reinterpret_cast<const guchar *>(offer->bytes.data()),
                           static_cast<gint>(offer->bytes.size()));
}

void on_source_drag_end(GtkWidget *, GdkDragContext *, gpointer user) {
  static_cast<Offer *>(user)->ended = true;
}

std::string uri_of(const std::string &path) {
  gchar *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string text = uri;
  g_free(uri);
  return text;
}

class DropTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ASSERT_TRUE(dir_.ok());
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    source_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(source_), 80, 80);
    gtk_window_move(GTK_WINDOW(source_), 1100, 100);
    gtk_widget_show(source_);
    pump();
  }
  void TearDown() override {
    gtk_widget_destroy(source_);
    MainWindowTest::TearDown();
  }

  // Drags offer with button 1 from the source window onto the drawing area,
  // running the main loop until the source has seen the drag end; the
  // drop's own work then runs from an idle.
  void drag_onto_window(Offer offer) {
    GtkTargetEntry entry = {const_cast<gchar *>(offer.target.c_str()), 0, 0};
    gtk_drag_source_set(source_, GDK_BUTTON1_MASK, &entry, 1, GDK_ACTION_COPY);
    const gulong get = g_signal_connect(source_, "drag-data-get",
                                        G_CALLBACK(on_source_drag_data_get), &offer);
    const gulong end =
        g_signal_connect(source_, "drag-end", G_CALLBACK(on_source_drag_end), &offer);
    gint x, y, to_x, to_y;
    gdk_window_get_origin(source_->window, &x, &y);
    gdk_window_get_origin(area->window, &to_x, &to_y);
    x += 40, y += 40, to_x += 200, to_y += 150;
    // Small steps past the toolkit's threshold first, so that a drag begins.
    std::vector<std::string> argv = {"/usr/bin/xdotool"};
    for (const GdkPoint &p : {GdkPoint{x, y}, GdkPoint{-1, 0}, GdkPoint{x - 10, y + 10},
                              GdkPoint{x - 30, y + 20}, GdkPoint{(x + to_x) / 2, (y + to_y) / 2},
                              GdkPoint{to_x + 5, to_y}, GdkPoint{to_x, to_y}}) {
      if (p.x < 0) argv.insert(argv.end(), {"mousedown", "1"});
      else argv.insert(argv.end(), {"mousemove", std::to_string(p.x), std::to_string(p.y)});
      argv.insert(argv.end(), {"sleep", "0.2"});
    }
    argv.insert(argv.end(), {"mouseup", "1"});
    ChildProcess xdotool;
    ASSERT_TRUE(xdotool.start(argv, dir_.path(), dir_.file("xdotool.log")));
    const gint64 give_up = g_get_monotonic_time() + kGiveUpUs;
    while ((!xdotool.exited() || !offer.ended) && g_get_monotonic_time() < give_up) run_for(10);
    g_signal_handler_disconnect(source_, get);
    g_signal_handler_disconnect(source_, end);
    gtk_drag_source_unset(source_);
    ASSERT_EQ(xdotool.exit_status(), 0) << xdotool.ending();
    ASSERT_TRUE(offer.ended) << "the drag never ended";
    pump();
  }

  void new_picture(bool modified) {
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, kBlankSide, kBlankSide));
    if (modified) drawing_modified(drawing());
    pump();
  }
  bool pasting() const { return canvas->tool && canvas->tool == canvas->paste_tool; }
  std::string status_message() const {
    return status_bar_text(status_bar_lookup(window), STATUS_MESSAGE);
  }

  TempDir dir_;
  GtkWidget *source_ = nullptr;
};

TEST_F(DropTest, DroppedFilesOpenAsOpenDoesOrAreReportedWithNothingLost) {
  const std::string first = dir_.file("first.png"), second = dir_.file("second.png");
  const std::string broken = dir_.file("broken.png"), folder = dir_.file("folder");
  write_png(first, 30, 20, kRed);
  write_png(second, 50, 40, kRed);
  ASSERT_TRUE(g_file_set_contents(broken.c_str(), "\x89PNG\r\n\x1a\n not really", -1, nullptr));
  ASSERT_EQ(g_mkdir(folder.c_str(), 0700), 0);
  const std::string remote = "http://example.org/first.png";
  struct Case {
    const char *name;
    std::vector<std::string> uris;
    bool modified;
    int prompt;           // the answer to the save prompt, or kNoAnswer: none comes
    bool opens;           // first replaces the picture
    std::string message;  // the error dialog's text, or empty
  };
  const Case cases[] = {
      {"unmodified", {uri_of(first)}, false, kNoAnswer, true, ""},
      {"modified, discarded", {uri_of(first)}, true, GTK_RESPONSE_NO, true, ""},
      {"modified, cancelled", {uri_of(first)}, true, GTK_RESPONSE_CANCEL, false, ""},
      {"only the first of two", {uri_of(first), uri_of(second)}, false, kNoAnswer, true, ""},
      {"not a picture", {uri_of(broken)}, false, kNoAnswer, false,
       "Cannot open file " + broken + "."},
      {"a folder", {uri_of(folder)}, false, kNoAnswer, false, "Cannot open file " + folder + "."},
      {"not a local file", {remote, uri_of(first)}, true, kNoAnswer, false,
       "Cannot open file " + remote + "."},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    new_picture(c.modified);
    DialogAnswerer answers;
    if (c.prompt != kNoAnswer) answers.answer(c.prompt);
    if (!c.message.empty()) answers.answer(GTK_RESPONSE_OK);
    drag_onto_window(Offer{"text/uri-list", c.uris, {}});
    EXPECT_EQ(answers.pending(), 0);
    EXPECT_EQ(answers.answered(), (c.prompt != kNoAnswer) + !c.message.empty());
    if (!c.message.empty()) {
      EXPECT_EQ(answers.texts().back(), c.message);
    }
    EXPECT_EQ(std::string(drawing()->filename->str), c.opens ? first : "untitled.png");
    EXPECT_EQ(drawing()->width, c.opens ? 30 : kBlankSide);
    EXPECT_EQ(pixel(29, 19), c.opens ? kRed : kWhite);
    EXPECT_EQ(bool(drawing()->modified), c.modified && !c.opens);
    EXPECT_FALSE(pasting());
  }
}

TEST_F(DropTest, DroppedPictureIsPastedOrRefusedAsTheClipboardsWouldBe) {
  const std::string red = dir_.file("red.png"), blue = dir_.file("blue.png");
  write_png(red, 6, 4, kRed);
  write_png(blue, 3, 3, kBlue);
  const std::string blue_bytes = file_contents(blue);
  const char *no_picture = "Nothing to paste: the clipboard holds no picture";
  struct Case {
    const char *name;
    bool over_piece;  // the red piece floats when the drop comes
    std::string bytes;
    const char *refusal;  // the status bar's reason, or null: pasted
  };
  const Case cases[] = {
      {"png", false, blue_bytes, nullptr},
      {"png over a floating piece", true, blue_bytes, nullptr},
      {"garbage", false, std::string("\x89PNG\r\n\x1a\n garbage", 17), no_picture},
      {"nothing", false, "", no_picture},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    new_picture(false);
    const std::string piece = file_contents(red);
    if (c.over_piece)
      canvas_paste_bytes(canvas, reinterpret_cast<const guchar *>(piece.data()),
                         static_cast<gssize>(piece.size()));
    LogCapture log;  // the decoder's warning about garbage
    drag_onto_window(Offer{"image/png", {}, c.bytes});
    EXPECT_EQ(status_message(), c.refusal ? c.refusal : "");
    EXPECT_EQ(pasting(), !c.refusal || c.over_piece);
    // The piece floats at the visible top-left corner, over the red one put
    // down; put down in turn, it is one change of the picture.
    key(GDK_Escape);
    EXPECT_EQ(pixel(2, 2), c.refusal ? kWhite : kBlue);
    EXPECT_EQ(pixel(5, 3), c.over_piece ? kRed : kWhite);
    EXPECT_EQ(bool(drawing()->modified), !c.refusal || c.over_piece);
    EXPECT_TRUE(drawing()->untitled);
  }
}

// A drop while the window asks something is refused, not asked about too.
TEST_F(DropTest, DropWhileTheSavePromptIsUpIsRefused) {
  const std::string first = dir_.file("first.png"), second = dir_.file("second.png");
  write_png(first, 30, 20, kRed);
  write_png(second, 50, 40, kBlue);
  drawing_modified(drawing());
  DialogAnswerer answers;
  int second_prompts = -1;
  answers.answer(GTK_RESPONSE_NO, [&](GtkWidget *) {
    // Another program's window is not held by this one's modal grab.
    gtk_grab_add(source_);
    DialogAnswerer nested;  // for a second prompt, which must not come
    nested.answer(GTK_RESPONSE_CANCEL);
    drag_onto_window(Offer{"text/uri-list", {uri_of(second)}, {}});
    second_prompts = nested.answered();
    gtk_grab_remove(source_);
  });
  drag_onto_window(Offer{"text/uri-list", {uri_of(first)}, {}});
  pump();
  EXPECT_EQ(answers.answered(), 1);
  EXPECT_EQ(second_prompts, 0);
  EXPECT_EQ(std::string(drawing()->filename->str), first);
  EXPECT_EQ(drawing()->width, 30);
}

}  // namespace
