// Long commands without frozen windows.  A command's pixel work (an effect,
// a free rotation, a scaling, encoding a file) runs as a pure function of
// images on a thread of its own while the main loop keeps every window
// repainting and working.  Work that ends within a short grace shows nothing
// at all; longer work shows the command's name and a progress bar in its
// window's status bar, and the window takes no painting input and no other
// command on its picture until the work has ended.
#pragma once

#include <gtk/gtk.h>

#include <functional>

enum WorkEnd {
  WORK_DONE = 0,    // the job ran to its end; its result is in *result
  WORK_NO_MEMORY,   // the job threw std::bad_alloc
  WORK_CLOSED,      // the job ended, but the window was closed meanwhile
};

// What a closing request does while the work runs.
enum WorkClose {
  WORK_CLOSE_DROPS,    // the window may close; the work's result is dropped
  WORK_CLOSE_REFUSED,  // the window stays until the work has ended (saving)
};

// Runs job on a worker thread and returns once it has ended, running the
// main loop meanwhile when it takes longer than the grace.  job must touch
// no toolkit object, only what it was given; its return value goes to
// *result (result may be null).  window is a main window, held meanwhile;
// name (translated) is shown beside the progress bar.  When no thread can
// be started, and for work asked for while the window already works (a
// save from the prompt of a window closed under work), the job runs on the
// calling thread.
WorkEnd work_run(GtkWidget *window, const char *name, WorkClose close,
                 const std::function<int()> &job, int *result = nullptr);

// 1 while work runs for the main window that holds widget.
int work_busy(GtkWidget *widget);
// 1 while that window's work refuses to let the window close.
int work_refuses_close(GtkWidget *widget);

// How long work may take before its window shows it; the program keeps the
// default, tests set 0 to see the window under work every time.
guint work_grace_ms();
void work_set_grace_ms(guint ms);

// The text of the menu item named item_name in window, without its
// mnemonic: the name a command shows while it works.  "" when there is none.
const char *work_command_name(GtkWidget *window, const char *item_name);
