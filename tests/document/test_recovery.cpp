// Autosave and recovery: modified drawings written to a private folder, the
// files going with the changes they kept, and pictures left by a vorpix
// killed with SIGKILL brought back at the next start, one process never
// touching another's files.
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "document/drawing_size.h"
#include "document/recovery.h"
#include "shell/recovery_prompt.h"
#include "shell/window.h"
#include "tests/harness/process.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::MainWindowTest;
using vorpix_test::run_command;
using vorpix_test::TempDir;

namespace {

constexpr int kPeriodSeconds = 1;
constexpr int kWaitMs = 8000;  // for an autosave or a window, on a loaded machine
constexpr guint32 kPictureColour = 0x3366cc;

std::vector<std::string> files_ending(const std::string &folder, const char *suffix) {
  std::vector<std::string> found;
  if (GDir *dir = g_dir_open(folder.c_str(), 0, nullptr)) {
    while (const char *name = g_dir_read_name(dir))
      if (g_str_has_suffix(name, suffix)) found.push_back(folder + "/" + name);
    g_dir_close(dir);
  }
  return found;
}

int mode_of(const std::string &path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 0777) : -1;
}

// 0xRRGGBB of every pixel of a picture file; empty when it cannot be read.
std::vector<guint32> file_pixels(const std::string &path, int *width = nullptr) {
  std::vector<guint32> pixels;
  GdkPixbuf *pixbuf = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
  if (!pixbuf) return pixels;
  const int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  for (int y = 0; y < h; y++) {
    const guchar *row = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf);
    for (int x = 0; x < w; x++) {
      const guchar *p = row + x * channels;
      pixels.push_back(guint32(p[0]) << 16 | guint32(p[1]) << 8 | p[2]);
    }
  }
  if (width) *width = w;
  g_object_unref(pixbuf);
  return pixels;
}

std::vector<guint32> drawing_pixels(VorpixDrawing *drawing) {
  return vorpix_test::drawable_pixels(drawing->backing_pixmap, drawing->width, drawing->height);
}

std::string key_string(const std::string &key_path, const char *key) {
  GKeyFile *keys = g_key_file_new();
  std::string value;
  if (g_key_file_load_from_file(keys, key_path.c_str(), G_KEY_FILE_NONE, nullptr)) {
    gchar *text = g_key_file_get_string(keys, "Recovery", key, nullptr);
    value = text ? text : "";
    g_free(text);
  }
  g_key_file_free(keys);
  return value;
}

std::string uri_of(const std::string &path) {
  gchar *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string result = uri;
  g_free(uri);
  return result;
}

// An answer's action keeping the pictures a recovery question lists.
DialogAnswerer::Action list_into(std::string *listed) {
  return [listed](GtkWidget *dialog) {
    gchar *text = nullptr;
    g_object_get(dialog, "secondary-text", &text, nullptr);
    *listed = text ? text : "";
    g_free(text);
  };
}

// Runs the main loop until cond holds; false after kWaitMs.
bool loop_until(const std::function<bool()> &cond) {
  for (int waited = 0; waited < kWaitMs; waited += 50) {
    if (cond()) return true;
    vorpix_test::run_for(50);
  }
  return cond();
}

// Paints a rectangle straight into the backing pixmap and says so, as a tool does.
void paint_something(VorpixDrawing *drawing) {
  gdk_draw_rectangle(drawing->backing_pixmap, drawing->toplevel->style->black_gc, TRUE, 10, 10,
                     20, 5);
  drawing_modified_area(drawing, GdkRectangle{10, 10, 20, 5});
}

// Each test autosaves every second into a folder of its own.
class AutosaveTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    folder_ = dir_.file("cache/vorpix/recovery");
    ASSERT_TRUE(recovery_start(folder_.c_str(), kPeriodSeconds));
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    recovery_stop();
  }
  std::vector<std::string> pictures() const { return files_ending(folder_, ".png"); }
  std::vector<std::string> keys() const { return files_ending(folder_, ".key"); }

  TempDir dir_;
  std::string folder_;
};

TEST_F(AutosaveTest, ChangeIsWrittenPrivatelyWithinThePeriodAndRewrittenAfterTheNext) {
  const std::string file = dir_.file("picture.png");
  ASSERT_TRUE(drawing_save_as(drawing(), file.c_str()));
  vorpix_test::run_for(kPeriodSeconds * 1500);
  EXPECT_TRUE(pictures().empty()) << "an unmodified drawing was autosaved";

  drag(40, 40, 120, 90);
  ASSERT_TRUE(loop_until([&] { return keys().size() == 1; })) << "no autosave after a change";
  EXPECT_EQ(mode_of(folder_), 0700);
  ASSERT_EQ(pictures().size(), 1u);
  EXPECT_EQ(mode_of(pictures()[0]), 0600);
  EXPECT_EQ(mode_of(keys()[0]), 0600);
  EXPECT_EQ(key_string(keys()[0], "File"), uri_of(file));
  EXPECT_EQ(key_string(keys()[0], "Title"), title());
  EXPECT_EQ(file_pixels(pictures()[0]), drawing_pixels(drawing()));

  // A later change replaces the copy: the file follows the picture.
  const std::vector<guint32> first = file_pixels(pictures()[0]);
  drag(200, 150, 260, 40);
  ASSERT_TRUE(loop_until([&] { return file_pixels(pictures()[0]) != first; }));
  EXPECT_EQ(file_pixels(pictures()[0]), drawing_pixels(drawing()));
  EXPECT_EQ(pictures().size(), 1u);
}

// What may become of a drawing's changes; each must take its files away.
struct Ending {
  const char *name;
  std::function<void(GtkWidget *window, VorpixDrawing *drawing)> act;
};

TEST_F(AutosaveTest, FilesGoWhenTheChangesAreSavedRevertedOrDiscarded) {
  const std::vector<Ending> endings = {
      {"saved", [](GtkWidget *, VorpixDrawing *d) { EXPECT_TRUE(drawing_save(d)); }},
      {"reverted",
       [this](GtkWidget *w, VorpixDrawing *d) {
         EXPECT_EQ(drawing_revert(d, canvas_of(w)->drawing_area), DRAWING_SIZE_DONE);
       }},
      {"closed after Discard",
       [](GtkWidget *w, VorpixDrawing *) {
         DialogAnswerer answerer;
         answerer.answer(GTK_RESPONSE_NO);
         on_close_window_activate(w, nullptr);
         EXPECT_EQ(answerer.answered(), 1);
       }},
  };
  for (const Ending &ending : endings) {
    SCOPED_TRACE(ending.name);
    GtkWidget *other = open_window();
    VorpixDrawing *d = canvas_of(other)->drawing;
    ASSERT_TRUE(drawing_save_as(d, dir_.file(std::string(ending.name) + ".png").c_str()));
    paint_something(d);
    recovery_autosave_now();
    recovery_wait();
    ASSERT_EQ(keys().size(), 1u);
    ending.act(other, d);
    recovery_autosave_now();
    recovery_wait();
    EXPECT_TRUE(keys().empty());
    EXPECT_TRUE(pictures().empty());
  }
}

TEST_F(AutosaveTest, WriteInFlightDoesNotBringFilesBackAfterASave) {
  ASSERT_TRUE(drawing_save_as(drawing(), dir_.file("picture.png").c_str()));
  paint_something(drawing());
  ASSERT_EQ(recovery_autosave_now(), 1);
  ASSERT_TRUE(drawing_save(drawing()));  // before the worker is done
  recovery_wait();
  EXPECT_TRUE(keys().empty());
  EXPECT_TRUE(pictures().empty());
  EXPECT_TRUE(files_ending(folder_, ".part").empty());
}

// --- A real vorpix, killed

// vorpix on a picture, autosaving every second into cache; killed with
// SIGKILL when the object goes.
class Program {
 public:
  Program(const std::string &picture, const std::string &cache, const std::string &cwd) {
    gchar **env = g_get_environ();
    env = g_environ_setenv(env, "XDG_CACHE_HOME", cache.c_str(), TRUE);
    env = g_environ_setenv(env, "VORPIX_AUTOSAVE_SECONDS", "1", TRUE);
    std::vector<std::string> environment;
    for (gchar **e = env; *e; e++) environment.push_back(*e);
    g_strfreev(env);
    const std::string binary = std::string(VORPIX_BINARY_DIR) + "/vorpix";
    started_ = process_.start({binary, picture}, environment, cwd, cwd + "/vorpix.log");
  }

  // The program's main window, as xdotool names it; "" when none came.
  std::string window() {
    for (int waited = 0; started_ && waited < kWaitMs && !process_.exited(); waited += 100) {
      auto found = run_command(
          {"xdotool", "search", "--onlyvisible", "--pid", std::to_string(process_.pid())});
      gchar **ids = g_strsplit(found.out.c_str(), "\n", -1);
      std::string main_window;
      for (gchar **id = ids; *id && main_window.empty(); id++) {
        auto name = run_command({"xdotool", "getwindowname", *id});
        if (**id && name.ok() && name.out.find(" - vorpix") != std::string::npos) main_window = *id;
      }
      g_strfreev(ids);
      if (!main_window.empty()) return main_window;
      g_usleep(100000);
    }
    return "";
  }

  // A pen stroke on the picture, as a user's mouse makes it.
  bool stroke(const std::string &window) {
    return run_command({"xdotool", "mousemove", "--window", window, "250", "200", "mousedown",
                        "1", "mousemove", "--window", window, "300", "230", "mousemove",
                        "--window", window, "350", "260", "mouseup", "1"})
        .ok();
  }

  void kill_hard() {
    kill(process_.pid(), SIGKILL);
    for (int waited = 0; waited < kWaitMs && !process_.exited(); waited += 20) g_usleep(20000);
  }

  bool alive() { return started_ && !process_.exited(); }

 private:
  vorpix_test::ChildProcess process_;
  bool started_ = false;
};

std::vector<std::string> wait_for_keys(const std::string &folder, size_t count) {
  std::vector<std::string> found;
  for (int waited = 0; waited < kWaitMs; waited += 50) {
    found = files_ending(folder, ".key");
    if (found.size() >= count) break;
    g_usleep(50000);
  }
  return found;
}

class LeftPicturesTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    cache_ = dir_.file("cache");
    folder_ = cache_ + "/vorpix/recovery";
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    recovery_stop();
  }

  // A picture file, opened by a vorpix that changes it, autosaves and is
  // killed; its recovery PNG's pixels are returned.
  std::vector<guint32> leave_picture(const std::string &name) {
    const std::string file = dir_.file(name);
    vorpix_test::write_png(file, 320, 240, kPictureColour);
    Program program(file, cache_, dir_.path());
    const std::string window = program.window();
    EXPECT_FALSE(window.empty()) << "vorpix showed no window";
    EXPECT_TRUE(program.stroke(window));
    const std::vector<std::string> keys = wait_for_keys(folder_, 1);
    EXPECT_EQ(keys.size(), 1u) << "no autosave";
    program.kill_hard();
    EXPECT_FALSE(program.alive());
    if (keys.size() != 1) return {};
    const std::string png = keys[0].substr(0, keys[0].size() - 4) + ".png";
    std::vector<guint32> left = file_pixels(png);
    EXPECT_NE(left, file_pixels(file)) << "the stroke did not change the picture";
    return left;
  }

  TempDir dir_;
  std::string cache_, folder_;
};

TEST_F(LeftPicturesTest, KilledProgramsPictureIsKeptByLaterThenRestoredExactly) {
  const std::vector<guint32> left = leave_picture("picture.png");
  ASSERT_FALSE(left.empty());
  ASSERT_TRUE(recovery_start(folder_.c_str(), kPeriodSeconds));
  const std::vector<std::string> files = files_ending(folder_, ".png");
  const std::string bytes = vorpix_test::file_contents(files.at(0));
  const guint windows = g_list_length(window_list());
  DialogAnswerer answerer;
  std::string listed;
  answerer.answer(kRecoveryLater, list_into(&listed));
  EXPECT_EQ(recovery_prompt_run(window), 0);
  EXPECT_EQ(files_ending(folder_, ".png"), files);
  EXPECT_EQ(vorpix_test::file_contents(files[0]), bytes);

  answerer.answer(kRecoveryRestore);
  EXPECT_EQ(recovery_prompt_run(window), 1);
  ASSERT_EQ(answerer.answered(), 2) << "Later did not keep the picture for the next start";
  EXPECT_EQ(answerer.texts()[0],
            "vorpix was stopped before these pictures were saved. Restore them?");
  EXPECT_NE(listed.find("picture.png"), std::string::npos) << listed;
  ASSERT_EQ(g_list_length(window_list()), windows + 1);
  GtkWidget *restored = GTK_WIDGET(window_list()->data);
  VorpixDrawing *d = canvas_of(restored)->drawing;
  EXPECT_EQ(drawing_pixels(d), left);
  EXPECT_STREQ(d->filename->str, dir_.file("picture.png").c_str());
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(restored)), "picture.png (modified) - vorpix");
  // The files are this process's now, until the save.
  EXPECT_EQ(files_ending(folder_, ".key").size(), 1u);
  ASSERT_TRUE(drawing_save(d));
  EXPECT_EQ(file_pixels(dir_.file("picture.png")), left);
  EXPECT_TRUE(files_ending(folder_, ".key").empty());
  EXPECT_TRUE(files_ending(folder_, ".png").empty());
}

TEST_F(LeftPicturesTest, TwoLiveProcessesKeepTheirOwnFilesAndDiscardTakesOnlyTheStopped) {
  const std::string first = dir_.file("first.png"), second = dir_.file("second.png");
  vorpix_test::write_png(first, 320, 240, kPictureColour);
  vorpix_test::write_png(second, 320, 240, kPictureColour);
  Program a(first, cache_, dir_.path()), b(second, cache_, dir_.path());
  const std::string window_a = a.window(), window_b = b.window();
  ASSERT_FALSE(window_a.empty());
  ASSERT_FALSE(window_b.empty());
  // Side by side: without a window manager both open at the corner.
  ASSERT_TRUE(run_command({"xdotool", "windowmove", window_b, "600", "0"}).ok());
  ASSERT_TRUE(a.stroke(window_a));
  ASSERT_TRUE(b.stroke(window_b));
  ASSERT_EQ(wait_for_keys(folder_, 2).size(), 2u);

  // A third process finds nothing while both live.
  ASSERT_TRUE(recovery_start(folder_.c_str(), kPeriodSeconds));
  EXPECT_TRUE(recovery_claim_left_pictures().empty());
  recovery_release_claims();

  a.kill_hard();
  DialogAnswerer answerer;
  std::string listed;
  answerer.answer(kRecoveryDiscard, list_into(&listed));
  EXPECT_EQ(recovery_prompt_run(window), 0);
  EXPECT_NE(listed.find("first.png"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("second.png"), std::string::npos) << listed;
  const std::vector<std::string> kept = files_ending(folder_, ".key");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(key_string(kept[0], "File"), uri_of(second));
  EXPECT_EQ(files_ending(folder_, ".png").size(), 1u);
  EXPECT_TRUE(b.alive());
  // Discarded for good: the next start asks nothing.
  EXPECT_EQ(recovery_prompt_run(window), 0);
  EXPECT_EQ(answerer.answered(), 1);
}

}  // namespace
