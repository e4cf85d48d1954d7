// Decoding of every picture that comes from outside the program (a file, the
// clipboard, a drop) in a separate helper process, `vorpix-decode`, found
// beside the running executable.  The helper decodes with GdkPixbuf's loaders
// under a seccomp filter and resource limits, and hands the pixels back in
// shared memory: a loader that crashes, hangs or is subverted by a hostile
// file takes only the helper with it.
#pragma once

#include <gtk/gtk.h>

#define DECODER_ERROR (decoder_error_quark())
GQuark decoder_error_quark();

enum DecoderError {
  DECODER_ERROR_UNREADABLE,  // the file cannot be read, or is no regular file
  DECODER_ERROR_NOT_A_PICTURE,  // no loader takes it, or the loader failed
  DECODER_ERROR_TOO_LARGE,   // over the limits given, refused before allocation
  DECODER_ERROR_NO_MEMORY,   // the helper could not get the memory
  DECODER_ERROR_CRASHED,     // the helper died (a fault, the filter, a limit)
  DECODER_ERROR_CANCELLED,   // the user cancelled, or the window went
  DECODER_ERROR_TIMED_OUT,   // still running at the time limit
  DECODER_ERROR_NO_HELPER,   // the helper could not be started
};

struct DecoderLimits {
  int max_side;        // pixels a side
  gint64 max_pixels;   // width times height
};

// The limits of a drawing opened from a file.
DecoderLimits decoder_file_limits();

// Every decode returns a new pixbuf owned by the caller (RGB or RGBA, 8 bits,
// the picture's own layout), or null with *error set (error may be null).
// While the helper works the default main loop keeps running, so windows
// repaint and other windows take input.  With a parent window its input is
// held meanwhile, and past a second a dialog "Opening %s…" in it offers
// Cancel.  A decode still running at the time limit (30 s) is stopped.
// The caller must check afterwards that its window is still open.
GdkPixbuf *decoder_decode_file(const char *filename, GtkWidget *parent, GError **error);
// A picture of the file at most max_side pixels a side, its proportions
// kept (smaller pictures keep their size), for a preview: no dialog, no
// input held, and a shorter time limit (2 s).
GdkPixbuf *decoder_decode_thumbnail(const char *filename, int max_side,
                                    const DecoderLimits &limits, GError **error);
// The bytes as offered under mime_type (may be null: the bytes tell); name is
// what the progress dialog shows (may be null: no dialog).
GdkPixbuf *decoder_decode_bytes(const guchar *data, gsize length, const char *mime_type,
                                const DecoderLimits &limits, GtkWidget *parent, const char *name,
                                GError **error);

// The MIME type, as a loader lists it, of the picture the file's name and
// first bytes tell, or null; read as the desktop's type database reads
// files, so no loader runs in the program.  The caller frees it.
gchar *decoder_file_mime_type(const char *filename);

// Starts a helper in advance so the next decode need not wait for one.
// Optional; decodes start their own helper when none is ready.
void decoder_prepare();
