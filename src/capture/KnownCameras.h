// Identifying the known cameras among the capture devices.
#pragma once
#include <string>

#include "Dev.h"

// Product and vendor id of the camera identified last; the presence check compares against them.
extern std::string g_strCamPid;
extern std::string g_strCamVid;

// True for a known camera; then sets the camera ids, the exposure (also written to the settings
// file) and the point count of its model.
bool IdentifyCamera(const SInfoParam& info);
// The same test without any of those effects.
bool IsKnownCamera(const SInfoParam& info);
