// The foundation of the engine: pooled allocation, keyed lists, the
// re-entrant lock, the tick-count timer, short strings, bit arrays and names.
#pragma once

#include "base/bits.h"
#include "base/lists.h"
#include "base/names.h"
#include "base/padlock.h"
#include "base/pool.h"
#include "base/shortstr.h"
#include "base/ticks.h"
#include "base/timer.h"
