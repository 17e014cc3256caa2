// An Ogg file as far as the aspect goes: its pages' heads, read one after
// the other, and the beginning-of-stream pages of each link (a chained
// file is links one after the other, each opening with its streams'
// beginning-of-stream pages), where a Theora or VP8 stream's head records
// its picture and pixel aspect. Each page keeps a CRC of itself.
#pragma once
#include <cstdint>

// Whether the bytes open an Ogg file: a page head of version 0.
bool ogg_opens(const uint8_t* head, uint32_t length);
