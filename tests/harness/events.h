// Input synthesized through the toolkit's own event path, and the main
// loop run until the server and the toolkit are done; for tests and
// benchmarks alike (no test framework here).
#pragma once

#include <gtk/gtk.h>

namespace vorpix_test {

// Handles every pending event after a round trip to the X server.
void pump();
// Runs the main loop for about ms milliseconds (for timers).
void run_for(int ms);

// Synthesized events, delivered with gtk_main_do_event to widget's window.
void send_button(GtkWidget *widget, GdkEventType type, double x, double y, guint button,
                 guint state = 0);
void send_motion(GtkWidget *widget, double x, double y, guint state, bool hint = false);
void send_key(GtkWidget *widget, GdkEventType type, guint keyval, const char *text = nullptr,
              guint state = 0);
void send_focus(GtkWidget *widget, bool in);
// The window manager's close button: a delete event for a toplevel.
void send_delete(GtkWidget *toplevel);
// The pointer entering (GDK_ENTER_NOTIFY) or leaving (GDK_LEAVE_NOTIFY) widget.
void send_crossing(GtkWidget *widget, GdkEventType type);
// One step of the mouse wheel at (x, y).
void send_scroll(GtkWidget *widget, GdkScrollDirection direction, double x, double y,
                 guint state = 0);

}  // namespace vorpix_test
