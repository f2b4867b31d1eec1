// The card data store's wipe turned off: linked into a test build of the training program in
// place of support/wipe_bytes.cpp, so that the memory scraper's test can show that it finds a
// card the program does not overwrite. Never part of a program that is shipped or trained on.
#include "support/wipe.h"

namespace ostrel {

void WipeBytes(void*, size_t) {}

}  // namespace ostrel
