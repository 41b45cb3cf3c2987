// Open Sound Control encoding: bundles of messages, big-endian, every item padded to 4 bytes.
// Free of Win32 and of allocation beyond the buffer it writes to.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace osc {

// Bytes an OSC string of `length` characters takes: its terminating zero, padded to 4.
constexpr size_t PaddedSize(size_t length) { return (length / 4 + 1) * 4; }

// Appends to `out`. A bundle element is begun with BeginMessage and closed with EndMessage, which
// writes its size; its arguments must follow the type tags given.
class Writer {
public:
    explicit Writer(std::vector<uint8_t>& out) : m_out(out) {}
    void BeginBundle();  // "#bundle" and the time tag "immediately"
    void BeginMessage(std::string_view address, std::string_view typeTags);  // tags without the comma
    void EndMessage();
    void String(std::string_view s);
    void Int(int32_t v);
    void Float(float v);

private:
    void Word(uint32_t v);
    std::vector<uint8_t>& m_out;
    size_t m_sizeAt = 0;
};

}  // namespace osc
