// Drag and drop onto a main window, done for real: a second window of this
// process offers files or a picture as a drag source, and xdotool drags from
// it to the vorpix window through the X server, as a user would.
#include <glib/gstdio.h>
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "panels/status_bar.h"
#include "tests/harness/process.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::ChildProcess;
using vorpix_test::DialogAnswerer;
using vorpix_test::MainWindowTest;
using vorpix_test::pump;
using vorpix_test::run_for;
using vorpix_test::TempDir;
using vorpix_test::write_png;

namespace {

constexpr guint32 kRed = 0xff0000;
constexpr guint32 kWhite = 0xffffff;
constexpr guint32 kBlue = 0x0000ff;
constexpr int kSourceSide = 80;
constexpr int kBlankSide = 300;
// Only against a hang: a drag that never ends fails the test.
constexpr int kGiveUpMs = 20000;
constexpr int kNoAnswer = -1;

// What the drag source offers: a list of URIs, or bytes under a MIME type.
struct Offer {
  std::string target;
  std::vector<std::string> uris;
  std::string bytes;
};

struct Source {
  const Offer *offer;
  bool ended;
};

void on_source_drag_data_get(GtkWidget *, GdkDragContext *, GtkSelectionData *data, guint, guint,
                             gpointer user) {
  const Offer *offer = static_cast<Source *>(user)->offer;
  if (offer->target == "text/uri-list") {
    std::vector<gchar *> uris;
    for (const std::string &uri : offer->uris) uris.push_back(const_cast<gchar *>(uri.c_str()));
    uris.push_back(nullptr);
    gtk_selection_data_set_uris(data, uris.data());
  } else {
    gtk_selection_data_set(data, gdk_atom_intern(offer->target.c_str(), FALSE), 8,
                           reinterpret_cast<const guchar *>(offer->bytes.data()),
                           static_cast<gint>(offer->bytes.size()));
  }
}

void on_source_drag_end(GtkWidget *, GdkDragContext *, gpointer user) {
  static_cast<Source *>(user)->ended = true;
}

std::string uri_of(const std::string &path) {
  gchar *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string text = uri;
  g_free(uri);
  return text;
}

// The screen position of a point of a realized widget.
GdkPoint on_screen(GtkWidget *widget, int x, int y) {
  gint origin_x = 0, origin_y = 0;
  gdk_window_get_origin(widget->window, &origin_x, &origin_y);
  if (GTK_WIDGET_NO_WINDOW(widget)) {
    origin_x += widget->allocation.x;
    origin_y += widget->allocation.y;
  }
  return GdkPoint{origin_x + x, origin_y + y};
}

class DropTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ASSERT_TRUE(dir_.ok());
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    source_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(source_), kSourceSide, kSourceSide);
    gtk_window_move(GTK_WINDOW(source_), 1100, 100);
    gtk_widget_show(source_);
    pump();
  }
  void TearDown() override {
    if (source_) gtk_widget_destroy(source_);
    MainWindowTest::TearDown();
  }

  // Offers offer from the source window and drags it with button 1 onto the
  // drawing area; the main loop runs throughout, and until the source has
  // seen the drag end and the drop has been dealt with.
  void drag_onto_window(const Offer &offer) {
    GtkTargetEntry entry = {const_cast<gchar *>(offer.target.c_str()), 0, 0};
    gtk_drag_source_set(source_, GDK_BUTTON1_MASK, &entry, 1, GDK_ACTION_COPY);
    Source source = {&offer, false};
    const gulong get = g_signal_connect(source_, "drag-data-get",
                                        G_CALLBACK(on_source_drag_data_get), &source);
    const gulong end =
        g_signal_connect(source_, "drag-end", G_CALLBACK(on_source_drag_end), &source);
    pump();
    const GdkPoint from = on_screen(source_, kSourceSide / 2, kSourceSide / 2);
    const GdkPoint to = on_screen(area, 200, 150);
    auto move = [](int x, int y) {
      return std::vector<std::string>{"mousemove", std::to_string(x), std::to_string(y), "sleep",
                                      "0.2"};
    };
    // Small steps past the toolkit's threshold first, so the source sees a
    // drag begin; then across, and a last step on the target.
    std::vector<std::string> argv = {"/usr/bin/xdotool"};
    auto add = [&argv](const std::vector<std::string> &words) {
      argv.insert(argv.end(), words.begin(), words.end());
    };
    add(move(from.x, from.y));
    add({"mousedown", "1", "sleep", "0.2"});
    add(move(from.x - 10, from.y + 10));
    add(move(from.x - 30, from.y + 20));
    add(move((from.x + to.x) / 2, (from.y + to.y) / 2));
    add(move(to.x + 5, to.y));
    add(move(to.x, to.y));
    add({"mouseup", "1"});
    ChildProcess xdotool;
    ASSERT_TRUE(xdotool.start(argv, dir_.path(), dir_.file("xdotool.log")));
    const gint64 give_up = g_get_monotonic_time() + gint64(kGiveUpMs) * 1000;
    while ((!xdotool.exited() || !source.ended) && g_get_monotonic_time() < give_up) run_for(10);
    g_signal_handler_disconnect(source_, get);
    g_signal_handler_disconnect(source_, end);
    gtk_drag_source_unset(source_);
    ASSERT_TRUE(xdotool.exited()) << xdotool.ending();
    EXPECT_EQ(xdotool.exit_status(), 0);
    ASSERT_TRUE(source.ended) << "the drag never ended";
    pump();  // the drop's work runs from an idle
  }

  Offer files(const std::vector<std::string> &uris) const {
    return Offer{"text/uri-list", uris, {}};
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
    const char *opened;   // the file that replaced the picture, or null
    std::string message;  // the error dialog's text, or empty
  };
  const Case cases[] = {
      {"unmodified", {uri_of(first)}, false, kNoAnswer, first.c_str(), ""},
      {"modified, discarded", {uri_of(first)}, true, GTK_RESPONSE_NO, first.c_str(), ""},
      {"modified, cancelled", {uri_of(first)}, true, GTK_RESPONSE_CANCEL, nullptr, ""},
      {"only the first of two", {uri_of(first), uri_of(second)}, false, kNoAnswer, first.c_str(),
       ""},
      {"not a picture", {uri_of(broken)}, false, kNoAnswer, nullptr,
       "Cannot open file " + broken + "."},
      {"a folder", {uri_of(folder)}, false, kNoAnswer, nullptr,
       "Cannot open file " + folder + "."},
      {"not a local file", {remote, uri_of(first)}, true, kNoAnswer, nullptr,
       "Cannot open file " + remote + "."},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, kBlankSide, kBlankSide));
    if (c.modified) drawing_modified(drawing());
    pump();
    DialogAnswerer answers;
    if (c.prompt != kNoAnswer) answers.answer(c.prompt);
    if (!c.message.empty()) answers.answer(GTK_RESPONSE_OK);
    drag_onto_window(files(c.uris));
    EXPECT_EQ(answers.pending(), 0);
    EXPECT_EQ(answers.answered(), (c.prompt != kNoAnswer) + !c.message.empty());
    if (!c.message.empty()) {
      ASSERT_FALSE(answers.texts().empty());
      EXPECT_EQ(answers.texts().back(), c.message);
    }
    if (c.opened) {
      EXPECT_EQ(std::string(drawing()->filename->str), c.opened);
      EXPECT_EQ(drawing()->width, 30);
      EXPECT_EQ(pixel(29, 19), kRed);
      EXPECT_FALSE(drawing()->modified);
    } else {
      EXPECT_TRUE(drawing()->untitled);
      EXPECT_EQ(drawing()->width, kBlankSide);
      EXPECT_EQ(pixel(29, 19), kWhite);
      EXPECT_EQ(bool(drawing()->modified), c.modified);
    }
    EXPECT_FALSE(pasting());
  }
}

TEST_F(DropTest, DroppedPictureIsPastedOrRefusedAsTheClipboardsWouldBe) {
  const std::string path = dir_.file("piece.png");
  write_png(path, 6, 4, kRed);
  struct Case {
    const char *name;
    std::string bytes;
    const char *refusal;  // the status bar's reason, or null: pasted
  };
  const Case cases[] = {
      {"png", vorpix_test::file_contents(path), nullptr},
      {"garbage", std::string("\x89PNG\r\n\x1a\n garbage", 17),
       "Nothing to paste: the clipboard holds no picture"},
      {"nothing", "", "Nothing to paste: the clipboard holds no picture"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    vorpix_test::LogCapture log;  // the decoder's warning about garbage
    drag_onto_window(Offer{"image/png", {}, c.bytes});
    EXPECT_EQ(pasting(), c.refusal == nullptr);
    EXPECT_TRUE(drawing()->untitled);
    if (c.refusal) {
      EXPECT_EQ(status_message(), c.refusal);
      EXPECT_FALSE(drawing()->modified);
      EXPECT_EQ(pixel(0, 0), kWhite);
      continue;
    }
    // The piece floats at the visible top-left corner.
    EXPECT_EQ(status_message(), "");
    EXPECT_EQ(pixel(0, 0), kRed);
    EXPECT_EQ(pixel(5, 3), kRed);
    EXPECT_EQ(pixel(6, 4), kWhite);
    // Put down, it is one change of the picture.
    key(GDK_Escape);
    EXPECT_FALSE(pasting());
    EXPECT_TRUE(drawing()->modified);
    EXPECT_EQ(pixel(5, 3), kRed);
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, kBlankSide, kBlankSide));
  }
}

}  // namespace

namespace {

TEST_F(DropTest, DroppedPictureTakesThePlaceOfAPieceStillFloating) {
  const std::string red = dir_.file("red.png"), blue = dir_.file("blue.png");
  write_png(red, 6, 4, kRed);
  write_png(blue, 3, 3, kBlue);
  drag_onto_window(Offer{"image/png", {}, vorpix_test::file_contents(red)});
  ASSERT_TRUE(pasting());
  drag_onto_window(Offer{"image/png", {}, vorpix_test::file_contents(blue)});
  EXPECT_TRUE(pasting());
  // The red piece was put down where it floated; the blue one floats over it.
  EXPECT_EQ(pixel(2, 2), kBlue);
  EXPECT_EQ(pixel(5, 3), kRed);
  key(GDK_Escape);
  EXPECT_EQ(pixel(2, 2), kBlue);
  EXPECT_EQ(pixel(5, 3), kRed);
}

// A drop while the window asks something waits for no prompt of its own.
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
    drag_onto_window(files({uri_of(second)}));
    second_prompts = nested.answered();
    gtk_grab_remove(source_);
  });
  drag_onto_window(files({uri_of(first)}));
  EXPECT_EQ(answers.answered(), 1);
  EXPECT_EQ(std::string(drawing()->filename->str), first);
  EXPECT_EQ(drawing()->width, 30);
  // Nothing of the refused drop is left to happen later.
  pump();
  EXPECT_EQ(std::string(drawing()->filename->str), first);
  EXPECT_EQ(answers.answered(), 1);
  EXPECT_EQ(second_prompts, 0);
}

}  // namespace
