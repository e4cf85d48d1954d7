// Whole-picture commands on a picture at the size limit, with the address
// space limited so that their memory cannot be had: each says so and leaves
// the picture, its undo history, the clipboard, the file and the other
// windows as they were.  The limit is set in a child process (this program
// run again for one disabled test), so that nothing else runs short.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/clipboard.h"
#include "document/drawing.h"
#include "document/history.h"
#include "imaging/image.h"
#include "tests/harness/process.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::pump;

namespace {

// 2^28 pixels, the most a picture may have: 1 GiB as RGBA.
constexpr int kSide = 16384;
constexpr gsize kPictureBytes = gsize(kSide) * kSide * 4;
// What is left over the limit: enough for a dialog, less than the fill's
// bookkeeping (32 MiB) and far less than a copy of the picture.
constexpr gsize kSpare = gsize(24) << 20;
constexpr char kChildTest[] = "MemoryChild.DISABLED_CommandsRunningShortChangeNothing";

struct Colored {
  GdkRectangle area;
  guint32 rgb;
};
// Corners and middle of different colours: a flip, a turn, an effect or a
// fill changes at least one of the sampled pixels.
const Colored kPattern[] = {{{0, 0, 200, 100}, 0xff0000},
                            {{kSide - 300, kSide - 300, 300, 300}, 0x0000ff},
                            {{kSide / 2 - 50, kSide / 2 - 50, 100, 100}, 0x00ff00}};
const GdkPoint kSamples[] = {{10, 10},          {150, 50},           {kSide - 10, 10},
                             {10, kSide - 10},  {kSide - 10, kSide - 10}, {kSide / 2, kSide / 2},
                             {kSide / 2, 10},   {1000, 1000}};

gsize address_space_bytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) return gsize(std::stoull(line.substr(7))) * 1024;
  return 0;
}

// Limits the address space to what is used now plus spare for the guard's life.
class AddressSpaceLimit {
 public:
  explicit AddressSpaceLimit(gsize spare) {
    image_release_kept_memory();
    getrlimit(RLIMIT_AS, &old_);
    struct rlimit limit = old_;
    limit.rlim_cur = address_space_bytes() + spare;
    ok_ = address_space_bytes() > 0 && setrlimit(RLIMIT_AS, &limit) == 0;
  }
  ~AddressSpaceLimit() {
    setrlimit(RLIMIT_AS, &old_);
    image_release_kept_memory();
  }
  bool ok() const { return ok_; }

 private:
  struct rlimit old_ = {};
  bool ok_ = false;
};

class MemoryChild : public vorpix_test::MainWindowTest {
 public:
  using MainWindowTest::canvas;
  using MainWindowTest::click;
  using MainWindowTest::click_button;

 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, kSide, kSide));
    GdkGC *gc = gdk_gc_new(drawing()->backing_pixmap);
    for (const Colored &c : kPattern) {
      GdkColor color = {0, guint16((c.rgb >> 16) * 257), guint16((c.rgb >> 8 & 0xff) * 257),
                        guint16((c.rgb & 0xff) * 257)};
      gdk_gc_set_rgb_fg_color(gc, &color);
      gdk_draw_rectangle(drawing()->backing_pixmap, gc, TRUE, c.area.x, c.area.y, c.area.width,
                         c.area.height);
    }
    g_object_unref(gc);
    pump();
  }


 public:
  void activate(const char *name) {
    GtkWidget *item = widget(name);
    ASSERT_TRUE(item && GTK_IS_MENU_ITEM(item)) << name;
    gtk_menu_item_activate(GTK_MENU_ITEM(item));
  }

 protected:
  std::vector<guint32> samples() const {
    std::vector<guint32> result;
    for (const GdkPoint &p : kSamples) result.push_back(pixel(p.x, p.y));
    return result;
  }
};

struct MemoryCase {
  const char *name;
  gsize spare;
  std::function<void(MemoryChild *)> command;
  const char *message;
};

TEST_F(MemoryChild, DISABLED_CommandsRunningShortChangeNothing) {
  vorpix_test::TempDir dir;
  const std::string saved = dir.file("kept.png");
  vorpix_test::write_png(saved, 3, 2, 0x123456);
  const std::string saved_bytes = vorpix_test::file_contents(saved);
  drawing_set_filename(drawing(), saved.c_str());

  GtkWidget *other = open_window();
  VorpixDrawing *other_drawing = canvas_of(other)->drawing;
  const std::vector<guint32> other_pixels = vorpix_test::drawable_pixels(
      other_drawing->backing_pixmap, other_drawing->width, other_drawing->height);

  canvas_select_all(canvas);
  pump();
  const std::vector<guint32> before = samples();
  const int undo_steps = history_undo_steps(canvas);
  VorpixClipboard *clipboard = canvas_clipboard(canvas);
  const VorpixImage *clipboard_image = clipboard->image;

  const gsize one_copy = kPictureBytes + kSpare;
  const std::vector<MemoryCase> cases = {
      {"copy", kSpare, [](MemoryChild *t) { canvas_copy(t->canvas); },
       "Not enough memory to copy the selection."},
      {"cut", kSpare, [](MemoryChild *t) { canvas_cut(t->canvas); },
       "Not enough memory to cut the selection."},
      {"save_menu", kSpare, [](MemoryChild *t) { t->activate("save_menu"); },
       "Not enough memory to save the picture."},
      {"flip_y_axis_menu", kSpare, [](MemoryChild *t) { t->activate("flip_y_axis_menu"); },
       "Not enough memory to flip the picture."},
      {"flip_x_axis_menu", one_copy, [](MemoryChild *t) { t->activate("flip_x_axis_menu"); },
       "Not enough memory to flip the picture."},
      {"rotate_p90_menu", kSpare, [](MemoryChild *t) { t->activate("rotate_p90_menu"); },
       "Not enough memory to rotate the picture."},
      {"rotate_n90_menu", one_copy, [](MemoryChild *t) { t->activate("rotate_n90_menu"); },
       "Not enough memory to rotate the picture."},
      {"convert_to_greyscale", kSpare,
       [](MemoryChild *t) { t->activate("convert_to_greyscale"); },
       "Not enough memory to apply Convert to Greyscale."},
      {"sharpen", one_copy, [](MemoryChild *t) { t->activate("sharpen"); },
       "Not enough memory to apply Sharpen."},
      {"fill", kSpare,
       [](MemoryChild *t) {
         t->click_button("fill_button");
         t->click(50, 50);
       },
       "Not enough memory to fill the area."},
  };
  for (const MemoryCase &c : cases) {
    SCOPED_TRACE(std::string(c.name) + " with " + std::to_string(c.spare >> 20) + " MiB spare");
    DialogAnswerer answerer;
    answerer.answer(GTK_RESPONSE_OK);
      {
      AddressSpaceLimit limit(c.spare);
      ASSERT_TRUE(limit.ok());
      c.command(this);
      for (int i = 0; i < 50 && answerer.answered() == 0; i++) vorpix_test::run_for(20);
    }
    pump();
    ASSERT_EQ(answerer.texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(drawing()->width, kSide);
    EXPECT_EQ(drawing()->height, kSide);
    EXPECT_EQ(samples(), before);
    EXPECT_EQ(history_undo_steps(canvas), undo_steps);
    EXPECT_EQ(history_redo_steps(canvas), 0);
    EXPECT_EQ(clipboard->image, clipboard_image);
    EXPECT_EQ(drawing()->modified, 0);
  }
  EXPECT_EQ(vorpix_test::file_contents(saved), saved_bytes);
  EXPECT_EQ(vorpix_test::drawable_pixels(other_drawing->backing_pixmap, other_drawing->width,
                                         other_drawing->height),
            other_pixels);
}

TEST(MenuMemoryTest, CommandsRunningShortOfMemoryTellTheUserAndChangeNothing) {
  gchar *self = g_file_read_link("/proc/self/exe", nullptr);
  ASSERT_NE(self, nullptr);
  vorpix_test::TempDir dir;
  const std::string log = dir.file("child.log");
  vorpix_test::ChildProcess child;
  ASSERT_TRUE(child.start({self, "--gtest_also_run_disabled_tests",
                           std::string("--gtest_filter=") + kChildTest},
                          dir.path(), log));
  g_free(self);
  for (int i = 0; i < 5000 && !child.exited(); i++) g_usleep(100 * 1000);
  const std::string output = vorpix_test::file_contents(log);
  EXPECT_TRUE(child.exited()) << output;
  EXPECT_EQ(child.exit_status(), 0) << child.ending() << "\n" << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

class RotationLimitTest : public vorpix_test::MainWindowTest {};

// 45 degrees of 32767 by 1 would be about 23171 by 23171, 2 GiB of RGBA.
TEST_F(RotationLimitTest, FreeTurnPastTheLimitsIsRefusedWithTheMessage) {
  canvas_set_drawing(canvas, drawing_new_blank(area, canvas->gc, 32767, 1));
  pump();
  const std::vector<guint32> before =
      vorpix_test::drawable_pixels(drawing()->backing_pixmap, 32767, 1);
  for (const char *item : {"rotate_n45_menu", "rotate_p45_menu"}) {
    SCOPED_TRACE(item);
    DialogAnswerer answerer;
    answerer.answer(GTK_RESPONSE_OK);
    gtk_menu_item_activate(GTK_MENU_ITEM(widget(item)));
    pump();
    EXPECT_EQ(answerer.texts(),
              std::vector<std::string>{"Not enough memory to rotate the picture."});
    EXPECT_EQ(drawing()->width, 32767);
    EXPECT_EQ(drawing()->height, 1);
    EXPECT_EQ(drawing()->modified, 0);
    EXPECT_EQ(history_undo_steps(canvas), 0);
  }
  EXPECT_EQ(vorpix_test::drawable_pixels(drawing()->backing_pixmap, 32767, 1), before);
  // The same through Rotate By, whose dialog takes the angle.
  DialogAnswerer answerer;
  answerer.answer(GTK_RESPONSE_OK, [](GtkWidget *dialog) {
    GtkWidget *angle = vorpix_test::find_named(dialog, "rotate_angle");
    ASSERT_NE(angle, nullptr);
    gtk_entry_set_text(GTK_ENTRY(angle), "45");
  });
  answerer.answer(GTK_RESPONSE_OK);
  gtk_menu_item_activate(GTK_MENU_ITEM(widget("rotate_by_menu")));
  pump();
  ASSERT_EQ(answerer.answered(), 2);
  EXPECT_EQ(answerer.texts().back(), "Not enough memory to rotate the picture.");
  EXPECT_EQ(drawing()->width, 32767);
}

}  // namespace
