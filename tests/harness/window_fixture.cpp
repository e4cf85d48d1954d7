#include "tests/harness/window_fixture.h"

#include "document/canvas.h"
#include "document/drawing.h"
#include "shell/util.h"
#include "shell/window.h"

namespace vorpix_test {

// A picture with alpha is read with its own (RGBA) colormap: its colour,
// without the alpha.
static GdkColormap *colormap_of(GdkDrawable *drawable) {
  GdkColormap *own = gdk_drawable_get_colormap(drawable);
  return own && gdk_drawable_get_depth(drawable) == 32 ? own : gdk_rgb_get_colormap();
}

std::vector<guint32> drawable_pixels(GdkDrawable *drawable, int width, int height) {
  std::vector<guint32> result;
  GdkPixbuf *pixbuf = gdk_pixbuf_get_from_drawable(nullptr, drawable, colormap_of(drawable), 0,
                                                   0, 0, 0, width, height);
  EXPECT_NE(pixbuf, nullptr);
  if (!pixbuf) return result;
  const guchar *pixels = gdk_pixbuf_get_pixels(pixbuf);
  int stride = gdk_pixbuf_get_rowstride(pixbuf);
  int channels = gdk_pixbuf_get_n_channels(pixbuf);
  result.reserve(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      const guchar *p = pixels + y * stride + x * channels;
      result.push_back((guint32(p[0]) << 16) | (guint32(p[1]) << 8) | p[2]);
    }
  }
  g_object_unref(pixbuf);
  return result;
}

GtkWidget *find_named(GtkWidget *root, const char *name) {
  if (g_strcmp0(gtk_widget_get_name(root), name) == 0) return root;
  if (!GTK_IS_CONTAINER(root)) return nullptr;
  GList *children = gtk_container_get_children(GTK_CONTAINER(root));
  GtkWidget *found = nullptr;
  for (GList *node = children; node && !found; node = node->next)
    found = find_named(GTK_WIDGET(node->data), name);
  g_list_free(children);
  return found;
}

guint32 drawable_pixel(GdkDrawable *drawable, int x, int y) {
  GdkPixbuf *pixbuf = gdk_pixbuf_get_from_drawable(nullptr, drawable, colormap_of(drawable), x,
                                                   y, 0, 0, 1, 1);
  EXPECT_NE(pixbuf, nullptr);
  if (!pixbuf) return 0xDEADBEEF;
  const guchar *p = gdk_pixbuf_get_pixels(pixbuf);
  guint32 value = (guint32(p[0]) << 16) | (guint32(p[1]) << 8) | p[2];
  g_object_unref(pixbuf);
  return value;
}

bool wait_until_printable(GtkWidget *dialog) {
  GtkWidget *print = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  gint64 end = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (g_get_monotonic_time() < end) {
    if (print && GTK_WIDGET_IS_SENSITIVE(print)) return true;
    if (gtk_events_pending())
      gtk_main_iteration();
    else
      g_usleep(1000);
  }
  return false;
}

void choose_file(GtkWidget *dialog, const std::string &path) {
  GtkFileChooser *chooser = GTK_FILE_CHOOSER(dialog);
  if (gtk_file_chooser_get_action(chooser) == GTK_FILE_CHOOSER_ACTION_SAVE) {
    gchar *dir = g_path_get_dirname(path.c_str());
    gchar *base = g_path_get_basename(path.c_str());
    gtk_file_chooser_set_current_folder(chooser, dir);
    gtk_file_chooser_set_current_name(chooser, base);
    g_free(dir);
    g_free(base);
  } else {
    gtk_file_chooser_set_filename(chooser, path.c_str());
  }
  auto chosen = [&] {
    gchar *name = gtk_file_chooser_get_filename(chooser);
    const bool same = name && path == name;
    g_free(name);
    return same;
  };
  const gint64 end = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
  while (g_get_monotonic_time() < end && !chosen()) {
    if (gtk_events_pending())
      gtk_main_iteration();
    else
      g_usleep(1000);
  }
  EXPECT_TRUE(chosen()) << path;
}

// --- DialogAnswerer

DialogAnswerer::DialogAnswerer() = default;

DialogAnswerer::~DialogAnswerer() {
  if (source_) g_source_remove(source_);
}

void DialogAnswerer::answer(int response, Action before) {
  queue_.push_back({true, response, std::move(before)});
  if (!source_) source_ = g_timeout_add(20, &DialogAnswerer::poll, this);
}

void DialogAnswerer::act(Action action) {
  queue_.push_back({false, 0, std::move(action)});
  if (!source_) source_ = g_timeout_add(20, &DialogAnswerer::poll, this);
}

gboolean DialogAnswerer::poll(gpointer data) {
  auto *self = static_cast<DialogAnswerer *>(data);
  if (self->queue_.empty()) {
    self->source_ = 0;
    return FALSE;
  }
  GList *toplevels = gtk_window_list_toplevels();
  GtkWidget *found = nullptr;
  for (GList *node = toplevels; node && !found; node = node->next) {
    GtkWidget *candidate = GTK_WIDGET(node->data);
    if (!GTK_WIDGET_VISIBLE(candidate) || !GTK_WIDGET_MAPPED(candidate)) continue;
    bool dialog_like = GTK_IS_DIALOG(candidate) ||
                       gtk_window_get_type_hint(GTK_WINDOW(candidate)) ==
                           GDK_WINDOW_TYPE_HINT_DIALOG;
    if (!dialog_like) continue;
    // Marked on the object: a freed dialog's address is soon reused.
    if (g_object_get_data(G_OBJECT(candidate), "vorpix-test-answered")) continue;
    found = candidate;
  }
  g_list_free(toplevels);
  if (!found) return TRUE;

  // A file chooser loads its folder in the background, and GTK's chooser
  // reads itself from that load's callback even after it was destroyed:
  // give the load time to finish, as any user would.
  if (GTK_IS_FILE_CHOOSER(found)) {
    constexpr gint64 kChooserSettleUs = 300 * 1000;
    auto *seen = static_cast<gint64 *>(g_object_get_data(G_OBJECT(found), "vorpix-test-seen"));
    if (!seen) {
      seen = g_new(gint64, 1);
      *seen = g_get_monotonic_time();
      g_object_set_data_full(G_OBJECT(found), "vorpix-test-seen", seen, g_free);
    }
    if (g_get_monotonic_time() - *seen < kChooserSettleUs) return TRUE;
  }

  g_object_set_data(G_OBJECT(found), "vorpix-test-answered", GINT_TO_POINTER(1));
  Entry entry = std::move(self->queue_.front());
  self->queue_.pop_front();
  const char *title = gtk_window_get_title(GTK_WINDOW(found));
  self->titles_.push_back(title ? title : "");
  if (GTK_IS_MESSAGE_DIALOG(found)) {
    gchar *text = nullptr;
    g_object_get(found, "text", &text, nullptr);
    self->texts_.push_back(text ? text : "");
    g_free(text);
  } else {
    self->texts_.push_back("");
  }
  if (entry.action) entry.action(found);
  if (entry.respond) gtk_dialog_response(GTK_DIALOG(found), entry.response);
  self->answered_++;
  if (self->queue_.empty()) {
    self->source_ = 0;
    return FALSE;
  }
  return TRUE;
}

// --- LogCapture

LogCapture::LogCapture(const char *domain) : domain_(domain ? domain : "") {
  id_ = g_log_set_handler(domain,
                          static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_RECURSION),
                          &LogCapture::handler, this);
}

LogCapture::~LogCapture() {
  g_log_remove_handler(domain_.empty() ? nullptr : domain_.c_str(), id_);
}

void LogCapture::handler(const gchar *domain, GLogLevelFlags level, const gchar *message,
                         gpointer data) {
  auto *self = static_cast<LogCapture *>(data);
  std::string line;
  if (domain) line += std::string(domain) + ": ";
  line += message ? message : "";
  self->messages_.push_back(line);
  if (level & (G_LOG_LEVEL_ERROR)) g_log_default_handler(domain, level, message, nullptr);
}

bool LogCapture::contains(const std::string &needle) const {
  for (const auto &m : messages_)
    if (m.find(needle) != std::string::npos) return true;
  return false;
}

// --- MainWindowTest

void MainWindowTest::SetUp() {
  window = create_window();
  pump();
  canvas = canvas_lookup(window);
  area = canvas->drawing_area;
}

void MainWindowTest::TearDown() {
  pump();
  // Destroying a window never prompts; only closing it does.
  while (GList *windows = window_list()) {
    GtkWidget *w = GTK_WIDGET(windows->data);
    gtk_widget_destroy(w);
    if (window_list() == windows && windows->data == w) break;  // not a listed window
  }
  pump();
  window = nullptr;
  canvas = nullptr;
  area = nullptr;
}

GtkWidget *MainWindowTest::open_window() {
  GtkWidget *w = create_window();
  pump();
  return w;
}

VorpixCanvas *MainWindowTest::canvas_of(GtkWidget *w) const { return canvas_lookup(w); }

GtkWidget *MainWindowTest::widget(const char *name) const { return lookup_widget(window, name); }

VorpixDrawing *MainWindowTest::drawing() const { return canvas->drawing; }

const char *MainWindowTest::title() const { return gtk_window_get_title(GTK_WINDOW(window)); }

void MainWindowTest::press(double x, double y, guint button, GdkEventType type) {
  send_button(area, type, x, y, button);
}

void MainWindowTest::release(double x, double y, guint button) {
  guint state = button == 1 ? GDK_BUTTON1_MASK : button == 2 ? GDK_BUTTON2_MASK : GDK_BUTTON3_MASK;
  send_button(area, GDK_BUTTON_RELEASE, x, y, button, state);
}

void MainWindowTest::motion(double x, double y, guint state) { send_motion(area, x, y, state); }

void MainWindowTest::click(double x, double y) {
  press(x, y);
  release(x, y);
}

void MainWindowTest::drag(double x0, double y0, double x1, double y1) {
  press(x0, y0);
  motion(x1, y1);
  release(x1, y1);
}

void MainWindowTest::key(guint keyval, const char *text) {
  send_key(area, GDK_KEY_PRESS, keyval, text);
  send_key(area, GDK_KEY_RELEASE, keyval, text);
}

void MainWindowTest::click_button(const char *name) {
  gtk_button_clicked(GTK_BUTTON(widget(name)));
}

void MainWindowTest::toggle_filled() { click_button("filled_button"); }

void MainWindowTest::press_swatch(int index, guint button) {
  gchar *name = g_strdup_printf("color_palette_entry%d", index);
  send_button(widget(name), GDK_BUTTON_PRESS, 5, 5, button);
  g_free(name);
  pump();
}

guint32 MainWindowTest::pixel(int x, int y) const {
  return drawable_pixel(canvas->drawing->backing_pixmap, x, y);
}

guint32 MainWindowTest::window_pixel(int x, int y) const {
  return drawable_pixel(area->window, x, y);
}

}  // namespace vorpix_test
