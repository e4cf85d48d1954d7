// What the program does with an error of the X server that no code expects.
#pragma once

// Replaces the toolkit's handler, which ends the program on any unexpected
// error, for the errors of a server short of memory: the program lives on
// with every window's picture.  Other errors go to the toolkit as before.
// Call once, after gtk_init.
void x_errors_init();
