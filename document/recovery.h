// Autosave and recovery: every modified drawing is written now and then, as
// PNG with a small key file, into a private folder of the user's cache, so a
// crash loses at most one period of work; the files a stopped process left
// there are found again at the next start.
//
// Files of one process share a session prefix "<pid>-<start time>": the
// pictures "<session>-<n>.png", their key files "<session>-<n>.key" and the
// lock "<session>.lock", which holds the process id and stays locked (flock)
// while the process lives.  A process touches only files of its own session
// and of sessions whose lock it could take.
#pragma once

#include <glib.h>

#include <string>
#include <vector>

struct VorpixDrawing;

// The folder used when none is given: $XDG_CACHE_HOME/vorpix/recovery, or
// ~/.cache/vorpix/recovery.  Owned by the caller.
gchar *recovery_default_folder();

// Starts autosaving into folder (null: the default folder), made mode 0700
// if missing, and takes this process's lock.  period_seconds below 1 takes
// $VORPIX_AUTOSAVE_SECONDS when set to a number from 1 to 86400 (meant for
// tests), otherwise 60.  False, autosave off and a warning logged, when the
// folder cannot be made or the lock cannot be written.
bool recovery_start(const char *folder, int period_seconds);
// Finishes writes in flight, stops the timer and drops this process's lock.
// Files of drawings still alive stay (and are found at the next start).
void recovery_stop();
// The folder in use, or null while stopped.  Borrowed.
const char *recovery_folder();

// A drawing came into being or went; going removes its files (the user gave
// its changes up, or it had none).  Called by the drawing module.
void recovery_drawing_added(VorpixDrawing *drawing);
void recovery_drawing_gone(VorpixDrawing *drawing);
// The drawing was written to its file: its recovery files go.
void recovery_drawing_saved(VorpixDrawing *drawing);

// What the timer does: a copy of each drawing modified since its last
// autosave is taken now and written by a worker thread; files of drawings
// no longer modified are removed.  Returns the number of writes started.
int recovery_autosave_now();
// Runs the main context until no write is in flight.
void recovery_wait();

// A picture left by a stopped process.
struct RecoveredPicture {
  std::string picture;   // the PNG
  std::string key;       // its key file
  std::string filename;  // the original file, absolute; empty when untitled
  std::string title;     // the window title it had
  gint64 time = 0;       // when it was written, seconds since the epoch
};

// Claims the sessions of stopped processes (their locks are then held by
// this process) and lists their pictures, oldest first.  Unreadable key
// files are skipped and left alone.
std::vector<RecoveredPicture> recovery_claim_left_pictures();
// The picture now belongs to drawing: its files move into this process's
// session, to be replaced by the drawing's own autosaves and removed like
// them.  False (the files stay) when they cannot be moved.
bool recovery_adopt(const RecoveredPicture &picture, VorpixDrawing *drawing);
// Removes the files of a claimed picture.
void recovery_discard(const RecoveredPicture &picture);
// Lets the claimed sessions go: those with no files left lose their lock
// file, the others keep theirs, unlocked, for the next start.
void recovery_release_claims();
