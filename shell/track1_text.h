#pragma once
// Track 1 of the last decoded swipe as the program reads it, whatever the reader's model.
#include "reader/card_reader.h"
#include "support/card_text.h"

namespace ostrel {

CardText Track1TextOf(const CardReader& reader);

}  // namespace ostrel
