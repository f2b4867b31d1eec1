#include "support/wipe.h"

namespace ostrel {

void WipeBytes(void* data, size_t size) {
    volatile auto* p = static_cast<volatile unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        p[i] = 0;
}

void Wipe(std::string& text) {
    // Growing to the capacity reuses the buffer, which is then written over from end to end.
    text.resize(text.capacity());
    WipeBytes(text.data(), text.size());
    text.clear();
}

void Wipe(std::vector<uint8_t>& bytes) {
    const size_t used = bytes.size();
    bytes.resize(bytes.capacity());
    WipeBytes(bytes.data(), bytes.size());
    bytes.resize(used);
}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
    if (this != &other) {
        Wipe(text_);
        text_ = std::move(other.text_);
        Wipe(other.text_);
    }
    return *this;
}

}  // namespace ostrel
