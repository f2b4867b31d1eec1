#pragma once
// Overwriting memory that held card data before it is let go or used again. The writes go
// through a volatile pointer, so the compiler cannot drop them as stores nobody reads.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

// Zeros over size bytes at data.
void WipeBytes(void* data, size_t size);

// Overwrites the whole of a text's buffer, what lies past its end up to its capacity too, and
// leaves it empty. The buffer stays allocated (zeroed) for the next text.
void Wipe(std::string& text);

// Overwrites every byte of the buffer's capacity; its size stays, so a buffer that is read
// into again keeps its length.
void Wipe(std::vector<uint8_t>& bytes);

// A text that holds card data and is overwritten when it goes. Moving it takes the text along
// and wipes what the move left behind.
class SecretText {
  public:
    SecretText() = default;
    explicit SecretText(std::string&& text) : text_(std::move(text)) { Wipe(text); }
    SecretText(SecretText&& other) noexcept : text_(std::move(other.text_)) { Wipe(other.text_); }
    SecretText& operator=(SecretText&& other) noexcept;
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    ~SecretText() { Wipe(text_); }

    const std::string& Text() const { return text_; }
    bool Empty() const { return text_.empty(); }

  private:
    std::string text_;
};

}  // namespace ostrel
