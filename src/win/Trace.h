// printf-style trace of the decisions of the capture and calibration code. Compiled out of the
// release build; in a build with TAVORI_TRACE it goes to the debugger output.
#pragma once

#if defined(TAVORI_TRACE)
void TavoriTrace(const char* format, ...);
#define TRACE(...) TavoriTrace(__VA_ARGS__)
#else
#define TRACE(...) ((void)0)
#endif
