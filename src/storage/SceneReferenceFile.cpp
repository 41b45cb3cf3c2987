#include "storage/SceneReferenceFile.h"

#include <windows.h>

#include <vector>

#include "config/Settings.h"

namespace {
constexpr DWORD kMaxBytes = 16u << 20;  // far above any camera's grid: a bigger file is not ours
}

std::string SceneReferencePath(const std::string& section) {
    const std::string& ini = g_Settings.CalibIniPath;
    const size_t slash = ini.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : ini.substr(0, slash + 1)) + section + "Scene.bin";
}

bool LoadSceneReference(const std::string& path, tavori::irl::SceneReference& out) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    std::vector<uint8_t> bytes;
    DWORD read = 0;
    const bool ok = GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart <= kMaxBytes &&
                    (bytes.resize(static_cast<size_t>(size.QuadPart)), true) &&
                    ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
    CloseHandle(f);
    return ok && tavori::irl::ParseSceneReference(bytes.data(), bytes.size(), out);
}

bool SaveSceneReference(const std::string& path, const tavori::irl::SceneReference& ref) {
    const std::vector<uint8_t> bytes = tavori::irl::SerializeSceneReference(ref);
    if (bytes.empty()) return false;
    const std::string temp = path + ".new";
    HANDLE f = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(f);
    if (ok && MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DeleteFileA(temp.c_str());
    return false;
}
