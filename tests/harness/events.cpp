#include "tests/harness/events.h"

#include <cstring>

namespace vorpix_test {

void pump() {
  gdk_flush();
  for (int round = 0; round < 3; round++) {
    while (gtk_events_pending()) gtk_main_iteration();
    gdk_flush();
  }
}

void run_for(int ms) {
  gint64 end = g_get_monotonic_time() + static_cast<gint64>(ms) * 1000;
  while (g_get_monotonic_time() < end) {
    if (gtk_events_pending())
      gtk_main_iteration();
    else
      g_usleep(1000);
  }
  pump();
}

namespace {

GdkWindow *event_window(GtkWidget *widget) {
  GdkWindow *window = widget->window;
  if (!window) g_critical("%s is not realized", G_OBJECT_TYPE_NAME(widget));
  return window;
}

// A synthesized event of type for widget's window, as the server would send it.
GdkEvent *new_event(GdkEventType type, GtkWidget *widget) {
  GdkEvent *event = gdk_event_new(type);
  event->any.window = GDK_WINDOW(g_object_ref(event_window(widget)));
  event->any.send_event = TRUE;
  return event;
}

// Through the toolkit's own path, then freed.
void deliver(GdkEvent *event) {
  gtk_main_do_event(event);
  gdk_event_free(event);
}

}  // namespace

void send_button(GtkWidget *widget, GdkEventType type, double x, double y, guint button,
                 guint state) {
  GdkEvent *event = new_event(type, widget);
  event->button.time = GDK_CURRENT_TIME;
  event->button.x = x;
  event->button.y = y;
  event->button.button = button;
  event->button.state = state;
  event->button.device = gdk_device_get_core_pointer();
  event->button.x_root = x;
  event->button.y_root = y;
  deliver(event);
}

void send_motion(GtkWidget *widget, double x, double y, guint state, bool hint) {
  GdkEvent *event = new_event(GDK_MOTION_NOTIFY, widget);
  event->motion.time = GDK_CURRENT_TIME;
  event->motion.x = x;
  event->motion.y = y;
  event->motion.state = state;
  event->motion.is_hint = hint ? 1 : 0;
  event->motion.device = gdk_device_get_core_pointer();
  event->motion.x_root = x;
  event->motion.y_root = y;
  deliver(event);
}

void send_key(GtkWidget *widget, GdkEventType type, guint keyval, const char *text, guint state) {
  GdkEvent *event = new_event(type, widget);
  event->key.time = GDK_CURRENT_TIME;
  event->key.keyval = keyval;
  event->key.state = state;
  if (text) {
    event->key.string = g_strdup(text);
    event->key.length = static_cast<gint>(strlen(text));
  } else {
    gunichar c = gdk_keyval_to_unicode(keyval);
    gchar buffer[8] = {0};
    if (c >= 0x20 && c != 0x7f) g_unichar_to_utf8(c, buffer);
    event->key.string = g_strdup(buffer);
    event->key.length = static_cast<gint>(strlen(buffer));
  }
  GdkKeymapKey *keys = nullptr;
  gint n_keys = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), keyval, &keys, &n_keys) &&
      n_keys > 0)
    event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
  g_free(keys);
  deliver(event);
}

void send_focus(GtkWidget *widget, bool in) {
  GdkEvent *event = new_event(GDK_FOCUS_CHANGE, widget);
  event->focus_change.in = in ? TRUE : FALSE;
  deliver(event);
}

void send_delete(GtkWidget *toplevel) {
  GdkEvent *event = new_event(GDK_DELETE, toplevel);
  deliver(event);
}

void send_crossing(GtkWidget *widget, GdkEventType type) {
  GdkEvent *event = new_event(type, widget);
  event->crossing.time = GDK_CURRENT_TIME;
  event->crossing.mode = GDK_CROSSING_NORMAL;
  event->crossing.detail = GDK_NOTIFY_ANCESTOR;
  deliver(event);
}

void send_scroll(GtkWidget *widget, GdkScrollDirection direction, double x, double y,
                 guint state) {
  GdkEvent *event = new_event(GDK_SCROLL, widget);
  event->scroll.time = GDK_CURRENT_TIME;
  event->scroll.direction = direction;
  event->scroll.x = x;
  event->scroll.y = y;
  event->scroll.state = state;
  event->scroll.device = gdk_device_get_core_pointer();
  deliver(event);
}

}  // namespace vorpix_test
