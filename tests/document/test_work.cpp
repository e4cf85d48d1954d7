// Long commands run their pixel work on a thread: the windows keep working,
// the window under work shows the command and takes no painting input, and
// the result is the one the command gives without a thread.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/drawing_size.h"
#include "document/history.h"
#include "document/work.h"
#include "imaging/image_parallel.h"
#include "panels/status_bar.h"
#include "shell/util.h"
#include "shell/window.h"
#include "tests/harness/canvas_helpers.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"
#include "tools/tool_palette.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::MainWindowTest;
using vorpix_test::pump;
using vorpix_test::ScratchDir;

namespace {

// Calls *f (kept by the caller) from the main loop, as soon as it is idle:
// inside a command's work once that runs the loop.
void call_when_idle(std::function<void()> *f) {
  g_idle_add([](gpointer data) { return (*static_cast<std::function<void()> *>(data))(), FALSE; },
             f);
}

class WorkTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    work_set_grace_ms(0);
  }
  void TearDown() override {
    work_set_grace_ms(kDefaultGrace);
    MainWindowTest::TearDown();
  }

  std::vector<guint32> picture_of(VorpixDrawing *d) const {
    return vorpix_test::drawable_pixels(d->backing_pixmap, d->width, d->height);
  }
  bool sensitive(const char *name) const { return GTK_WIDGET_IS_SENSITIVE(widget(name)); }
  // A pen stroke across the drawing area of w.
  void stroke(GtkWidget *w) {
    GtkWidget *a = canvas_of(w)->drawing_area;
    vorpix_test::send_button(a, GDK_BUTTON_PRESS, 10, 10, 1, 0);
    vorpix_test::send_motion(a, 60, 40, GDK_BUTTON1_MASK);
    vorpix_test::send_button(a, GDK_BUTTON_RELEASE, 60, 40, 1, GDK_BUTTON1_MASK);
  }

  const guint kDefaultGrace = work_grace_ms();
};

TEST_F(WorkTest, WindowUnderWorkRepaintsShowsTheCommandAndTakesNoPaintingInput) {
  GtkWidget *other = open_window();
  GtkWidget *bar = status_bar_lookup(window);
  const std::vector<guint32> before = picture_of(drawing());
  const std::vector<guint32> other_before = picture_of(canvas_of(other)->drawing);
  std::atomic<bool> release{false};
  bool probed = false;
  std::function<void()> probe = [&] {
    EXPECT_TRUE(work_busy(window));
    EXPECT_FALSE(work_busy(other));
    EXPECT_STREQ(status_bar_text(bar, STATUS_PROGRESS), "Oil Paint");
    EXPECT_GE(status_bar_progress(bar), 0);
    for (const char *menu : {"image_menu_item", "edit_menu_item", "effects_menu_item"})
      EXPECT_FALSE(sensitive(menu)) << menu;
    EXPECT_TRUE(sensitive("close_window_menu"));
    stroke(window);
    key('t');  // the text tool's key
    stroke(other);
    // Damage shown in the window is repainted from the picture.
    gdk_draw_rectangle(area->window, area->style->black_gc, TRUE, 0, 0, 30, 30);
    gdk_window_invalidate_rect(area->window, nullptr, FALSE);
    gdk_window_process_updates(area->window, FALSE);
    EXPECT_EQ(window_pixel(5, 5), before[5 * drawing()->width + 5]);
    probed = release = true;
  };
  call_when_idle(&probe);
  const WorkEnd end = work_run(window, "Oil Paint", WORK_CLOSE_DROPS, [&] {
    while (!release) g_usleep(1000);
    return 7;
  });
  ASSERT_TRUE(probed);
  EXPECT_EQ(end, WORK_DONE);
  EXPECT_EQ(picture_of(drawing()), before) << "the stroke under work painted";
  EXPECT_NE(picture_of(canvas_of(other)->drawing), other_before) << "the other window froze";
  EXPECT_EQ(canvas->tool, tool_palette_get_tool(window, "pen"));
  // Afterwards the window is its own again.
  EXPECT_STREQ(status_bar_text(bar, STATUS_PROGRESS), "");
  EXPECT_TRUE(sensitive("image_menu_item"));
  EXPECT_FALSE(work_busy(window));
  stroke(window);
  EXPECT_NE(picture_of(drawing()), before);
}

// Each long command gives under work exactly what it gives at once, as one
// undo step; saving writes the same bytes.
TEST_F(WorkTest, CommandsUnderWorkGiveTheirImmediateResultAsOneStep) {
  ScratchDir dir;
  auto activate = [](const char *name) {
    return [name](VorpixCanvas *c) {
      gtk_menu_item_activate(GTK_MENU_ITEM(lookup_widget(c->toplevel, name)));
    };
  };
  struct Case {
    const char *what;
    std::function<void(VorpixCanvas *)> run;
  } cases[] = {
      {"oil paint", activate("oil_paint")},
      {"rotate 45", activate("rotate_p45_menu")},
      {"scale", [](VorpixCanvas *c) {
         VorpixDrawing *d = c->drawing;
         history_begin(c);
         ASSERT_EQ(drawing_scale(d, d->width / 2 + 3, d->height * 2, IMAGE_SCALE_SMOOTH),
                   DRAWING_SIZE_DONE);
         drawing_modified(d);
         history_end(c);
       }},
  };
  for (const Case &c : cases) {
    std::vector<guint32> results[2];
    std::string saved[2];
    for (int grace : {0, 60000}) {
      const int i = grace ? 1 : 0;
      work_set_grace_ms(static_cast<guint>(grace));
      GtkWidget *w = open_window();
      VorpixDrawing *d = canvas_of(w)->drawing;
      vorpix_test::paint_pattern(d);
      const std::vector<guint32> original = picture_of(d);
      c.run(canvas_of(w));
      pump();
      results[i] = picture_of(d);
      const std::string path = dir.file(std::string(c.what) + std::to_string(i) + ".png");
      ASSERT_EQ(drawing_save_as(d, path.c_str()), 1) << c.what;
      EXPECT_EQ(d->modified, 0);
      saved[i] = vorpix_test::file_contents(path);
      ASSERT_EQ(history_undo(canvas_of(w)), 1) << c.what;
      EXPECT_EQ(picture_of(d), original) << c.what;
      EXPECT_EQ(history_undo(canvas_of(w)), 0) << c.what << ": more than one step";
      gtk_widget_destroy(w);
    }
    EXPECT_NE(results[0], std::vector<guint32>()) << c.what;
    EXPECT_EQ(results[0], results[1]) << c.what;
    EXPECT_EQ(saved[0], saved[1]) << c.what;
  }
}

// Closed under a command, the window asks (though its drawing is
// unmodified), goes, and nothing of it is touched afterwards; closed under a
// save, it stays until the file is written.  The other windows go on.
TEST_F(WorkTest, ClosingUnderACommandDropsItsResultButASaveEndsFirst) {
  ScratchDir dir;
  const std::string path = dir.file("saved.png");
  image_parallel_set_threads(1);  // long enough to be closed under
  for (const char *command : {"oil_paint", "rotate_p45_menu", "save"}) {
    const bool saving = std::string(command) == "save";
    GtkWidget *w = open_window();
    VorpixCanvas *c = canvas_of(w);
    canvas_set_drawing(c, drawing_new_blank(c->drawing_area, c->gc, 2048, 2048));
    vorpix_test::paint_pattern(c->drawing);
    vorpix_test::LogCapture objects("GLib-GObject"), toolkit("Gtk");
    DialogAnswerer dialogs;
    dialogs.answer(GTK_RESPONSE_NO);  // discard
    bool busy_at_close = false;
    std::string shown;  // beside the progress bar: the command's own menu item
    const std::string want = work_command_name(w, saving ? "save_menu" : command);
    std::function<void()> close = [&] {
      busy_at_close = work_busy(w);
      shown = status_bar_text(status_bar_lookup(w), STATUS_PROGRESS);
      vorpix_test::send_delete(w);
    };
    call_when_idle(&close);
    if (saving)
      EXPECT_EQ(drawing_save_as(c->drawing, path.c_str()), 1);
    else
      gtk_menu_item_activate(GTK_MENU_ITEM(lookup_widget(w, command)));
    pump();
    EXPECT_TRUE(busy_at_close) << command;
    EXPECT_EQ(shown, want) << command;
    EXPECT_NE(want, "") << command;
    EXPECT_EQ(dialogs.answered(), saving ? 0 : 1) << command;
    EXPECT_EQ(g_list_find(window_list(), w) != nullptr, saving) << command;
    EXPECT_EQ(objects.messages(), std::vector<std::string>()) << command;
    EXPECT_EQ(toolkit.messages(), std::vector<std::string>()) << command;
  }
  image_parallel_set_threads(0);
  EXPECT_TRUE(g_file_test(path.c_str(), G_FILE_TEST_EXISTS));
  const std::vector<guint32> before = picture_of(drawing());
  stroke(window);
  EXPECT_NE(picture_of(drawing()), before);
}

}  // namespace
