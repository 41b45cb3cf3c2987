#include "win/Trace.h"

#if defined(TAVORI_TRACE)
#include <windows.h>
#include <cstdarg>
#include <cstdio>

void TavoriTrace(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line) - 2, format, args);
    va_end(args);
    size_t n = strlen(line);
    if (n == 0 || line[n - 1] != '\n') { line[n] = '\n'; line[n + 1] = 0; }
    OutputDebugStringA(line);
}
#endif
