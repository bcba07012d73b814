// Counts the GDI objects this process holds, for tests that prove painting leaks nothing.
#pragma once

namespace testutil {

// The number of live GDI objects of this process, or -1 when it cannot be told. Exact after
// a warm-up: the first use of DCs and fonts leaves a few objects behind for good.
int CountGdiObjects();

}  // namespace testutil
