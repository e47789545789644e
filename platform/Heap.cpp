#include "platform/Heap.h"

#include <malloc.h>

namespace stowline::platform {

void shareOneHeap() { mallopt(M_ARENA_MAX, 1); }

} // namespace stowline::platform
