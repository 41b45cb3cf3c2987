// The flash image kept in a file. Writes build the whole new image in a temporary file beside the
// store and rename it over the old one, so an interrupted write leaves the old or the new image.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace acam {

constexpr int kFlashBytes = 8192;

class FlashStore {
public:
    explicit FlashStore(std::string path) : m_path(std::move(path)) {}

    // Opens the image, creating an erased one (all 0xFF) when there is none. A file of another size
    // is read as far as it goes and the rest reads erased; it is rewritten whole on the next write.
    bool Open();
    void Close() { m_open = false; }
    bool IsOpen() const { return m_open; }

    // An access starts inside the flash and runs past its end into its start, as the chip's
    // address counter wraps (the calibration record at 0x1FBC does). More than the whole flash,
    // or a start outside it, is refused.
    int Read(uint32_t address, int count, uint8_t* destination) const;
    int Write(uint32_t address, int count, const uint8_t* source);
    bool SetFlashSize(int size);
    void SetWriteProtect(bool protect) { m_protected = protect; }
    const std::string& Path() const { return m_path; }

private:
    bool InRange(uint32_t address, int count) const;
    bool ReplaceImage(const std::array<uint8_t, kFlashBytes>& image) const;

    std::string m_path;
    std::array<uint8_t, kFlashBytes> m_image{};
    int m_size = kFlashBytes;
    bool m_protected = true;
    bool m_open = false;
};

// The program's store: CameraFlash.bin in the executable's folder.
std::string DefaultFlashPath();

}  // namespace acam
