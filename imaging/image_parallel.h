// Spreading an effect's work over the processor's cores, and the switch
// between the effects' vector code and their plain code.  Both settings are
// process-wide; the program keeps the defaults (a thread per core, vectors
// on), tests and benchmarks change them to compare the paths.  Nothing here
// knows about widgets.
#pragma once

#include <glib.h>

#include <functional>

// Runs work(first, last) over consecutive ranges that together cover units
// 0 to count - 1, each range on its own thread, the calling thread taking the
// first.  unit_cost is the work of one unit in pixels: ranges too small to be
// worth a thread are merged, so small pictures stay on the calling thread.
// Returns once every range is done.  Ranges must not write what another
// range reads or writes.  When a range throws (std::bad_alloc from a scratch
// buffer), the exception of the first such range is rethrown here after all
// ranges have finished.  When no thread can be started the ranges run on the
// calling thread, one after another.
void image_parallel_for(int count, gint64 unit_cost,
                        const std::function<void(int first, int last)> &work);

// Threads image_parallel_for uses at most: `threads`, or one per core for 0.
int image_parallel_threads();
void image_parallel_set_threads(int threads);

// Whether effects use the processor's vector instructions where they have
// them; the plain code gives the same bytes.
bool image_parallel_vectors();
void image_parallel_set_vectors(bool use);
