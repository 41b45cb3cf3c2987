#include "output/OscWriter.h"

#include <cstring>

namespace osc {

void Writer::Word(uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v)};
    m_out.insert(m_out.end(), b, b + 4);
}

void Writer::String(std::string_view s) {
    m_out.insert(m_out.end(), s.begin(), s.end());
    m_out.insert(m_out.end(), PaddedSize(s.size()) - s.size(), 0);
}

void Writer::Int(int32_t v) { Word(static_cast<uint32_t>(v)); }

void Writer::Float(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    Word(bits);
}

void Writer::BeginBundle() {
    String("#bundle");
    Word(0);
    Word(1);
}

void Writer::BeginMessage(std::string_view address, std::string_view typeTags) {
    m_sizeAt = m_out.size();
    Word(0);
    String(address);
    m_out.push_back(',');
    m_out.insert(m_out.end(), typeTags.begin(), typeTags.end());
    m_out.insert(m_out.end(), PaddedSize(typeTags.size() + 1) - typeTags.size() - 1, 0);
}

void Writer::EndMessage() {
    const auto size = static_cast<uint32_t>(m_out.size() - m_sizeAt - 4);
    for (int i = 0; i < 4; ++i) m_out[m_sizeAt + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (24 - 8 * i));
}

}  // namespace osc
