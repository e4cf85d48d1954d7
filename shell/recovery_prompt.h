// The start-up question about pictures that a vorpix which stopped without
// saving them left in the recovery folder.
#pragma once

#include <gtk/gtk.h>

// Responses of the question's buttons; closing it counts as Later.
constexpr int kRecoveryRestore = GTK_RESPONSE_ACCEPT;
constexpr int kRecoveryDiscard = GTK_RESPONSE_REJECT;
constexpr int kRecoveryLater = GTK_RESPONSE_CANCEL;

// When stopped processes left pictures, asks once (a modal dialog on
// parent's window) whether to restore them.  Restore opens each in a main
// window of its own, modified and named after its original file; a picture
// that cannot be read is said so and kept.  Discard removes the files; Later
// keeps them for the next start.  Returns the number of windows opened.
int recovery_prompt_run(GtkWidget *parent);
