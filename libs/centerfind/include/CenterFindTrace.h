// Where the centre finder reports what it saw (observed and filled cells, fit quality). Not part
// of the C surface: the program that links the finder points it at its own trace.
#pragma once

namespace tavori::cf {
using TraceSink = void (*)(const char* line);
void SetTraceSink(TraceSink sink);  // null: no trace
}  // namespace tavori::cf
