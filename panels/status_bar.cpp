#include "panels/status_bar.h"

#include <glib/gi18n.h>

#include <cstring>

#include "shell/util.h"

namespace {

constexpr char kBarName[] = "status_bar";
constexpr char kRecordKey[] = "vorpix-status-bar";
constexpr int kSpacing = 2;

// Room for the widest usual text, so the fields do not jump about.
constexpr int kFieldChars[] = {11, 11, 11, 6};

struct StatusBar {
  GtkWidget *box;                           // not owned: the bar itself
  GtkWidget *frames[STATUS_FIELD_COUNT];    // not owned: what is shown or hidden
  GtkWidget *labels[STATUS_FIELD_COUNT];    // not owned
  GtkWidget *progress;                      // not owned: the progress bar
  double fraction;                          // shown fraction, -1 without progress
};

StatusBar *record_of(GtkWidget *bar) {
  if (!bar) return nullptr;
  return static_cast<StatusBar *>(g_object_get_data(G_OBJECT(bar), kRecordKey));
}

void destroy_record(gpointer data) { delete static_cast<StatusBar *>(data); }

GtkWidget *field_frame(GtkWidget *child) {
  GtkWidget *frame = gtk_frame_new(nullptr);
  gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(frame), child);
  gtk_widget_show(child);
  return frame;
}

GtkWidget *field_label(int chars) {
  GtkWidget *label = gtk_label_new("");
  gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.5f);
  gtk_misc_set_padding(GTK_MISC(label), 3, 0);
  if (chars > 0) gtk_label_set_width_chars(GTK_LABEL(label), chars);
  return label;
}

// Changing a label's text makes the toolkit lay the window out again: skip
// it when the text is the same, which it mostly is while the pointer moves.
void set_text(StatusBar *bar, StatusField field, const char *text) {
  GtkLabel *label = GTK_LABEL(bar->labels[field]);
  if (strcmp(gtk_label_get_text(label), text) != 0) gtk_label_set_text(label, text);
}

void set_shown(StatusBar *bar, StatusField field, bool shown) {
  GtkWidget *frame = bar->frames[field];
  if (shown && !GTK_WIDGET_VISIBLE(frame))
    gtk_widget_show(frame);
  else if (!shown && GTK_WIDGET_VISIBLE(frame))
    gtk_widget_hide(frame);
}

gchar *size_text(int width, int height) {
  // TRANSLATORS: a size in pixels, width and height.
  return g_strdup_printf(_("%d \u00d7 %d"), width, height);
}

}  // namespace

GtkWidget *create_status_bar(gchar *, gchar *, gchar *, gint, gint) {
  GtkWidget *box = gtk_hbox_new(FALSE, kSpacing);
  gtk_widget_set_name(box, kBarName);
  gtk_container_set_border_width(GTK_CONTAINER(box), kSpacing);
  auto *bar = new StatusBar{};
  bar->box = box;
  bar->fraction = -1;
  g_object_set_data_full(G_OBJECT(box), kRecordKey, bar, destroy_record);

  // The message and the progress share the room on the left; the four
  // fields keep their place on the right.
  GtkWidget *message = field_label(0);
  gtk_label_set_ellipsize(GTK_LABEL(message), PANGO_ELLIPSIZE_END);
  bar->labels[STATUS_MESSAGE] = message;
  bar->frames[STATUS_MESSAGE] = field_frame(message);
  gtk_box_pack_start(GTK_BOX(box), bar->frames[STATUS_MESSAGE], TRUE, TRUE, 0);

  GtkWidget *progress_box = gtk_hbox_new(FALSE, kSpacing);
  bar->labels[STATUS_PROGRESS] = field_label(0);
  bar->progress = gtk_progress_bar_new();
  gtk_box_pack_start(GTK_BOX(progress_box), bar->labels[STATUS_PROGRESS], FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(progress_box), bar->progress, TRUE, TRUE, 0);
  gtk_widget_show(bar->labels[STATUS_PROGRESS]);
  gtk_widget_show(bar->progress);
  bar->frames[STATUS_PROGRESS] = field_frame(progress_box);
  gtk_box_pack_start(GTK_BOX(box), bar->frames[STATUS_PROGRESS], TRUE, TRUE, 0);

  // An empty stretch keeps the fields on the right while both are hidden.
  GtkWidget *stretch = gtk_label_new("");
  gtk_box_pack_start(GTK_BOX(box), stretch, TRUE, TRUE, 0);
  gtk_widget_show(stretch);

  const StatusField fields[] = {STATUS_POSITION, STATUS_PICTURE_SIZE, STATUS_SELECTION_SIZE,
                                STATUS_ZOOM};
  for (StatusField field : fields) {
    bar->labels[field] = field_label(kFieldChars[field]);
    bar->frames[field] = field_frame(bar->labels[field]);
    gtk_box_pack_start(GTK_BOX(box), bar->frames[field], FALSE, FALSE, 0);
    if (field != STATUS_SELECTION_SIZE) gtk_widget_show(bar->frames[field]);
  }
  // The hidden fields stay hidden when the window shows all its widgets.
  gtk_widget_set_no_show_all(bar->frames[STATUS_MESSAGE], TRUE);
  gtk_widget_set_no_show_all(bar->frames[STATUS_PROGRESS], TRUE);
  gtk_widget_set_no_show_all(bar->frames[STATUS_SELECTION_SIZE], TRUE);
  gtk_widget_show(box);
  return box;
}

GtkWidget *status_bar_lookup(GtkWidget *widget) {
  GtkWidget *toplevel = gtk_widget_get_toplevel(widget);
  if (!toplevel || !g_object_get_data(G_OBJECT(toplevel), "GLADE_XML")) return nullptr;
  GtkWidget *bar = lookup_widget(widget, kBarName);
  return record_of(bar) ? bar : nullptr;
}

void status_bar_set_position(GtkWidget *widget, gboolean over_picture, int x, int y) {
  StatusBar *bar = record_of(widget);
  if (!bar) return;
  if (!over_picture) {
    set_text(bar, STATUS_POSITION, "");
    return;
  }
  // TRANSLATORS: the picture pixel under the pointer, x and y.
  gchar *text = g_strdup_printf(_("%d, %d"), x, y);
  set_text(bar, STATUS_POSITION, text);
  g_free(text);
}

void status_bar_set_picture_size(GtkWidget *widget, int width, int height) {
  StatusBar *bar = record_of(widget);
  if (!bar) return;
  gchar *text = size_text(width, height);
  set_text(bar, STATUS_PICTURE_SIZE, text);
  g_free(text);
}

void status_bar_set_selection_size(GtkWidget *widget, gboolean shown, int width, int height) {
  StatusBar *bar = record_of(widget);
  if (!bar) return;
  if (shown) {
    gchar *text = size_text(width, height);
    set_text(bar, STATUS_SELECTION_SIZE, text);
    g_free(text);
  }
  set_shown(bar, STATUS_SELECTION_SIZE, shown);
}

void status_bar_set_zoom(GtkWidget *widget, double percent) {
  StatusBar *bar = record_of(widget);
  if (!bar) return;
  // TRANSLATORS: the zoom level; %g gives 12.5 or 400.
  gchar *text = g_strdup_printf(_("%g%%"), percent);
  set_text(bar, STATUS_ZOOM, text);
  g_free(text);
}

void status_bar_set_message(GtkWidget *widget, const char *text) {
  StatusBar *bar = record_of(widget);
  if (!bar) return;
  const bool shown = text && *text;
  set_text(bar, STATUS_MESSAGE, shown ? text : "");
  set_shown(bar, STATUS_MESSAGE, shown);
}

void status_bar_begin_progress(GtkWidget *widget, const char *command) {
  StatusBar *bar = record_of(widget);
  if (!bar) return;
  set_text(bar, STATUS_PROGRESS, command ? command : "");
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar->progress), 0.0);
  bar->fraction = 0;
  set_shown(bar, STATUS_PROGRESS, true);
}

void status_bar_set_progress(GtkWidget *widget, double fraction) {
  StatusBar *bar = record_of(widget);
  if (!bar || bar->fraction < 0) return;
  GtkProgressBar *progress = GTK_PROGRESS_BAR(bar->progress);
  if (fraction < 0) {
    gtk_progress_bar_pulse(progress);
    return;
  }
  bar->fraction = CLAMP(fraction, 0.0, 1.0);
  gtk_progress_bar_set_fraction(progress, bar->fraction);
}

void status_bar_end_progress(GtkWidget *widget) {
  StatusBar *bar = record_of(widget);
  if (!bar) return;
  bar->fraction = -1;
  set_text(bar, STATUS_PROGRESS, "");
  set_shown(bar, STATUS_PROGRESS, false);
}

double status_bar_progress(GtkWidget *widget) {
  StatusBar *bar = record_of(widget);
  return bar ? bar->fraction : -1;
}

const char *status_bar_text(GtkWidget *widget, StatusField field) {
  StatusBar *bar = record_of(widget);
  if (!bar || field < 0 || field >= STATUS_FIELD_COUNT) return "";
  if (!GTK_WIDGET_VISIBLE(bar->frames[field])) return "";
  return gtk_label_get_text(GTK_LABEL(bar->labels[field]));
}
