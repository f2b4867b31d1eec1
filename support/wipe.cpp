#include "support/wipe.h"

namespace ostrel {

void Wipe(std::string& text) {
    // Growing to the capacity reuses the buffer, which is then written over from end to end.
    text.resize(text.capacity());
    WipeBytes(text.data(), text.size());
    text.clear();
}

}  // namespace ostrel
