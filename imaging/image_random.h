// The C library's random() sequence, drawn many values at a time.  Add noise
// and spread need millions of values; a holder gives exactly what as many
// random() calls would give and leaves the C library's sequence where those
// calls would have left it, so srandom() and random() go on as if the values
// had been drawn one by one.  Every part of the program that draws from the
// sequence goes through a holder (or calls random() while none is alive).
// Nothing here knows about widgets.
#pragma once

#include <glib.h>

#include <mutex>

class VorpixRandomDraws {
 public:
  // Takes the sequence: other holders, on any thread, wait until this one is
  // gone.
  VorpixRandomDraws();
  // Hands the sequence back, advanced by every value drawn.
  ~VorpixRandomDraws();
  VorpixRandomDraws(const VorpixRandomDraws &) = delete;
  VorpixRandomDraws &operator=(const VorpixRandomDraws &) = delete;

  // The next `count` results of random(), in order, into values.
  void draw(guint32 *values, gsize count);

 private:
  static constexpr int kDegree = 31;  // the sums reach 31 values back...
  static constexpr int kSeparation = 3;  // ...and 3 values back

  std::unique_lock<std::mutex> hold_;
  gint32 *library_state_ = nullptr;  // the C library's table, its header first; null: call random()
  gint32 stand_in_[2] = {0, 0};      // the library's state while the holder has its table
  int rear_ = 0;                     // the library's rear position in its table
  guint32 history_[kDegree] = {};    // the last 31 sums, oldest first
  guint64 drawn_ = 0;
};
