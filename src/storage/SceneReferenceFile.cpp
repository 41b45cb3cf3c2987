#include "storage/SceneReferenceFile.h"

#include <vector>

#include "config/Settings.h"
#include "win/WholeFile.h"

namespace {
constexpr uint64_t kMaxBytes = 16u << 20;  // far above any camera's grid: a bigger file is not ours
}

std::string SceneReferencePath(const std::string& section) {
    const std::string& ini = g_Settings.CalibIniPath;
    const size_t slash = ini.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : ini.substr(0, slash + 1)) + section + "Scene.bin";
}

bool LoadSceneReference(const std::string& path, tavori::irl::SceneReference& out) {
    std::string bytes;
    return win::ReadWholeFile(path, bytes, kMaxBytes) && !bytes.empty() &&
           tavori::irl::ParseSceneReference(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
}

bool SaveSceneReference(const std::string& path, const tavori::irl::SceneReference& ref) {
    const std::vector<uint8_t> bytes = tavori::irl::SerializeSceneReference(ref);
    return !bytes.empty() && win::ReplaceWholeFile(path, std::string(bytes.begin(), bytes.end()));
}
