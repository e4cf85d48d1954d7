// Window-level test support: main windows built from the interface
// description, input synthesized through the toolkit's own event path, pixels
// read back from the drawing's backing pixmap, and modal dialogs answered
// programmatically.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "tests/harness/events.h"

struct VorpixCanvas;
struct VorpixDrawing;

namespace vorpix_test {

// The widget named name (gtk_widget_set_name) inside root, root included;
// null when there is none.
GtkWidget *find_named(GtkWidget *root, const char *name);

// 0xRRGGBB of one pixel of a drawable, or of every pixel (row-major).
guint32 drawable_pixel(GdkDrawable *drawable, int x, int y);
std::vector<guint32> drawable_pixels(GdkDrawable *drawable, int width, int height);

// Chooses path in a file chooser as a user would (a save chooser gets its
// folder and name), waiting until the chooser reports it: selection in an
// open chooser waits for the folder to load.
void choose_file(GtkWidget *chooser, const std::string &path);

// Waits, in the caller's (dialog's) loop, until a print dialog can print,
// that is until a printer is selected; false after ten seconds.
bool wait_until_printable(GtkWidget *dialog);

// Answers modal dialogs as they appear.  Each queued answer is given to the
// next new visible GtkDialog (or GtkWindow with a dialog type hint); the
// optional action runs first (to fill in a file chooser, say).  Messages of
// answered message dialogs are recorded.
class DialogAnswerer {
 public:
  using Action = std::function<void(GtkWidget *dialog)>;
  DialogAnswerer();
  ~DialogAnswerer();
  void answer(int response, Action before = nullptr);
  // A dialog answered with a custom action only (e.g. a non-modal window).
  void act(Action action);
  int answered() const { return answered_; }
  int pending() const { return static_cast<int>(queue_.size()); }
  const std::vector<std::string> &texts() const { return texts_; }
  const std::vector<std::string> &titles() const { return titles_; }

 private:
  static gboolean poll(gpointer self);
  struct Entry {
    bool respond;
    int response;
    Action action;
  };
  std::deque<Entry> queue_;
  std::vector<std::string> texts_;
  std::vector<std::string> titles_;
  int answered_ = 0;
  guint source_ = 0;
};

// Records the log messages of one domain (the program's own, the default
// domain, unless another is named) while alive.
class LogCapture {
 public:
  explicit LogCapture(const char *domain = nullptr);
  ~LogCapture();
  bool contains(const std::string &needle) const;
  const std::vector<std::string> &messages() const { return messages_; }

 private:
  static void handler(const gchar *domain, GLogLevelFlags level, const gchar *message,
                      gpointer self);
  std::vector<std::string> messages_;
  std::string domain_;
  guint id_;
};

// A fresh main window per test; every main window is destroyed afterwards
// without prompts.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A further main window (its canvas, etc. through the accessors below).
  GtkWidget *open_window();
  VorpixCanvas *canvas_of(GtkWidget *window) const;

  GtkWidget *widget(const char *name) const;  // in the test's main window
  VorpixDrawing *drawing() const;
  const char *title() const;

  // Input on the drawing area of the test's main window.
  void press(double x, double y, guint button = 1, GdkEventType type = GDK_BUTTON_PRESS);
  void release(double x, double y, guint button = 1);
  void motion(double x, double y, guint state = GDK_BUTTON1_MASK);
  void click(double x, double y);                          // press and release
  void drag(double x0, double y0, double x1, double y1);  // press, motion, release
  void key(guint keyval, const char *text = nullptr);      // press and release

  // Clicks a button of the test's main window (a tool palette button, say).
  void click_button(const char *name);
  // Clicks the tool palette's filled toggle, which tells every tool of the window.
  void toggle_filled();
  // Presses colour palette swatch index (0 to NUM_PALETTES - 1): button 3
  // makes its colour the background, any other the foreground.
  void press_swatch(int index, guint button = 1);

  guint32 pixel(int x, int y) const;         // from the backing pixmap
  guint32 window_pixel(int x, int y) const;  // from the drawing area's window

  GtkWidget *window = nullptr;
  VorpixCanvas *canvas = nullptr;
  GtkWidget *area = nullptr;
};

}  // namespace vorpix_test
