// Whether the program folder takes new files: Tavori keeps its settings and calibrations there.
#pragma once
#include <string>

bool CanWriteFolder(const std::string& dir);
