#include "imaging/image_random.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The GNU C library's default random() is an additive feedback generator:
// each sum is the one 31 places back plus the one 3 places back (modulo 2^32)
// and random() returns the sum shifted right by one.  Its table is reachable
// through setstate(), which records in the table's header word where the
// generator stands (5 * rear position + generator type).  A holder swaps a
// stand-in state in, works on the table itself, and swaps the table back
// with its new position.  Any other C library, or another type of generator
// chosen with initstate(), is served by plain random() calls.

namespace {

std::mutex sequence_lock;

#if defined(__GLIBC__)
constexpr int kTypeCount = 5;     // MAX_TYPES
constexpr int kAdditiveType = 3;  // TYPE_3: 31 words, separation 3
constexpr int kLinearType = 0;    // TYPE_0, the stand-in's
#endif

}  // namespace

VorpixRandomDraws::VorpixRandomDraws() : hold_(sequence_lock) {
#if defined(__GLIBC__)
  stand_in_[0] = kLinearType;
  gint32 *table = reinterpret_cast<gint32 *>(setstate(reinterpret_cast<char *>(stand_in_)));
  if (!table) return;
  const int type = table[0] % kTypeCount, rear = table[0] / kTypeCount;
  if (type != kAdditiveType || rear < 0 || rear >= kDegree) {
    setstate(reinterpret_cast<char *>(table));
    return;
  }
  library_state_ = table;
  rear_ = rear;
  // The oldest sum sits where the next one will be written, 3 past the rear.
  const int front = (rear + kSeparation) % kDegree;
  for (int j = 0; j < kDegree; j++)
    history_[j] = static_cast<guint32>(table[1 + (front + j) % kDegree]);
#endif
}

VorpixRandomDraws::~VorpixRandomDraws() {
  if (!library_state_) return;
#if defined(__GLIBC__)
  const int rear = static_cast<int>((rear_ + drawn_) % kDegree);
  const int front = (rear + kSeparation) % kDegree;
  for (int j = 0; j < kDegree; j++)
    library_state_[1 + (front + j) % kDegree] = static_cast<gint32>(history_[j]);
  library_state_[0] = kTypeCount * rear + kAdditiveType;
  setstate(reinterpret_cast<char *>(library_state_));
#endif
}

void VorpixRandomDraws::draw(guint32 *values, gsize count) {
  if (!library_state_) {
    for (gsize k = 0; k < count; k++) values[k] = static_cast<guint32>(random());
    return;
  }
  // values holds the sums first; they become random()'s results at the end.
  const guint32 *h = history_;
  gsize k = 0;
  for (; k < count && k < kSeparation; k++) values[k] = h[kDegree - kSeparation + k] + h[k];
  for (; k < count && k < kDegree; k++) values[k] = values[k - kSeparation] + h[k];
#if defined(__SSE2__)
  // Three sums at a time, the fourth lane a scratch value that the next step
  // overwrites; the last step of all stays scalar so nothing is written past
  // the end.
  if (k + 4 <= count) {
    __m128i recent = _mm_setr_epi32(static_cast<int>(values[k - 3]), static_cast<int>(values[k - 2]),
                                    static_cast<int>(values[k - 1]), 0);
    for (; k + 4 <= count; k += kSeparation) {
      const __m128i old =
          _mm_loadu_si128(reinterpret_cast<const __m128i *>(values + k - kDegree));
      recent = _mm_add_epi32(recent, old);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(values + k), recent);
    }
  }
#endif
  for (; k < count; k++) values[k] = values[k - kSeparation] + values[k - kDegree];

  if (count >= static_cast<gsize>(kDegree)) {
    memcpy(history_, values + count - kDegree, sizeof history_);
  } else {
    memmove(history_, history_ + count, (kDegree - count) * sizeof history_[0]);
    memcpy(history_ + kDegree - count, values, count * sizeof history_[0]);
  }
  drawn_ += count;
  k = 0;
#if defined(__SSE2__)
  for (; k + 4 <= count; k += 4) {
    __m128i *p = reinterpret_cast<__m128i *>(values + k);
    _mm_storeu_si128(p, _mm_srli_epi32(_mm_loadu_si128(p), 1));
  }
#endif
  for (; k < count; k++) values[k] >>= 1;
}
