// The scene a camera saw when it was calibrated (SceneDrift.h), kept beside Calibration.ini in a
// file per calibration section ("CalibrationScene.bin", "Calibration2Scene.bin", ...).
#pragma once
#include <string>

#include "SceneDrift.h"

std::string SceneReferencePath(const std::string& section);
// False for a missing, unreadable or damaged file: then there is nothing to watch.
bool LoadSceneReference(const std::string& path, tavori::irl::SceneReference& out);
// Through a temporary file and a rename, so a crash leaves the old file or the new one.
bool SaveSceneReference(const std::string& path, const tavori::irl::SceneReference& ref);
