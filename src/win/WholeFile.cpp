#include "win/WholeFile.h"

#include <windows.h>

#include "win/Scoped.h"

namespace win {

bool ReadWholeFile(const std::string& path, std::string& bytes, uint64_t maxBytes) {
    bytes.clear();
    const win::File file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file.get(), &size) && static_cast<uint64_t>(size.QuadPart) <= maxBytes;
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = bytes.empty() || (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                               got == bytes.size());
    }
    return ok;
}

namespace {
// Another program with the file open (a reader that does not share deletion, as the C runtime
// opens files; a scanner, a backup) holds a replace back for a moment: waited out, not lost.
bool HeldElsewhere(const std::string& path) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}
constexpr DWORD kHeldWaitMs = 1000;
}  // namespace

bool ReplaceWholeFile(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".tmp";
    bool ok;
    {
        const win::File file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size() && FlushFileBuffers(file.get());
    }  // closed before it is moved over the target
    const auto move = [&] { return MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; };
    if (ok) {
        const DWORD start = GetTickCount();
        while (!(ok = move()) && HeldElsewhere(path) && GetTickCount() - start < kHeldWaitMs) Sleep(10);
    }
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
}

}  // namespace win
