#include "shell/x_errors.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrender.h>
#include <gdk/gdkx.h>

namespace {

XErrorHandler toolkit_handler = nullptr;
// Set by the first refusal: what the server could not make is then named in
// later requests, which fail in turn.
bool short_of_memory = false;
// The drawing extension's first error code, or -1.
int render_errors = -1;

// Only unexpected errors come here: the toolkit's error traps put its own
// handler in place while they are pushed.
int on_x_error(Display *display, XErrorEvent *error) {
  const bool refused = error->error_code == BadAlloc;
  const bool follows = short_of_memory && (error->error_code == BadDrawable ||
                                           error->error_code == BadPixmap ||
                                           error->error_code == BadGC ||
                                           (render_errors >= 0 &&
                                            error->error_code == render_errors + BadPicture));
  if (!refused && !follows) return toolkit_handler ? toolkit_handler(display, error) : 0;
  if (refused && !short_of_memory)
    g_warning("The X server is short of memory: what it cannot make is not shown.");
  short_of_memory = true;
  return 0;
}

}  // namespace

void x_errors_init() {
  if (toolkit_handler) return;
  int events = 0;
  if (!XRenderQueryExtension(GDK_DISPLAY_XDISPLAY(gdk_display_get_default()), &events,
                             &render_errors))
    render_errors = -1;
  toolkit_handler = XSetErrorHandler(on_x_error);
}
