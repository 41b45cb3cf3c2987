#include "FlashStore.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#include <climits>
#endif

namespace acam {

bool FlashStore::Open() {
    m_open = false;
    m_protected = true;
    m_image.fill(0xFF);
    if (FILE* f = fopen(m_path.c_str(), "rb")) {
        size_t n = fread(m_image.data(), 1, m_image.size(), f);
        bool failed = ferror(f) != 0;
        fclose(f);
        if (failed) return false;
        (void)n;  // a short file reads erased past its end
        m_open = true;
        return true;
    }
    // No image yet: create an erased one. Fails when the place is not writable (or is a folder).
    if (!ReplaceImage(m_image)) return false;
    m_open = true;
    return true;
}

bool FlashStore::InRange(uint32_t address, int count) const {
    return m_open && count > 0 && count <= m_size && address < static_cast<uint32_t>(m_size);
}

int FlashStore::Read(uint32_t address, int count, uint8_t* destination) const {
    if (!destination || !InRange(address, count)) return 0;
    for (int i = 0; i < count; ++i) destination[i] = m_image[(address + static_cast<uint32_t>(i)) % static_cast<uint32_t>(m_size)];
    return count;
}

int FlashStore::Write(uint32_t address, int count, const uint8_t* source) {
    if (!source || m_protected || !InRange(address, count)) return 0;
    std::array<uint8_t, kFlashBytes> next = m_image;
    for (int i = 0; i < count; ++i) next[(address + static_cast<uint32_t>(i)) % static_cast<uint32_t>(m_size)] = source[i];
    if (!ReplaceImage(next)) return 0;
    m_image = next;
    return count;
}

bool FlashStore::SetFlashSize(int size) {
    if (size < 1 || size > kFlashBytes) return false;
    m_size = size;
    return true;
}

bool FlashStore::ReplaceImage(const std::array<uint8_t, kFlashBytes>& image) const {
    std::string temp = m_path + ".new";
    FILE* f = fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(image.data(), 1, image.size(), f) == image.size();
    ok = fflush(f) == 0 && ok;
#ifndef _WIN32
    ok = fsync(fileno(f)) == 0 && ok;
#endif
    ok = fclose(f) == 0 && ok;
    if (ok) {
#ifdef _WIN32
        // A scanner or reader with the image open (without delete sharing) holds the rename back
        // for a moment. Waited out: a failed write would leave the old calibration in the flash,
        // and the next start would take it over the new one.
        const auto move = [&] { return MoveFileExA(temp.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; };
        const DWORD start = GetTickCount();
        while (!(ok = move()) && (GetLastError() == ERROR_SHARING_VIOLATION || GetLastError() == ERROR_ACCESS_DENIED) &&
               GetTickCount() - start < 1000)
            Sleep(10);
#else
        ok = rename(temp.c_str(), m_path.c_str()) == 0;
#endif
    }
    if (!ok) remove(temp.c_str());
    return ok;
}

std::string DefaultFlashPath() {
    std::string exe;
#ifdef _WIN32
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) exe = path;
    const char sep = '\\';
#else
    char path[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n > 0) exe.assign(path, static_cast<size_t>(n));
    const char sep = '/';
#endif
    size_t slash = exe.find_last_of(sep);
    std::string dir = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
    return dir + sep + "CameraFlash.bin";
}

}  // namespace acam
