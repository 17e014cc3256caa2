// The CRC-32 of IEEE 802.3 (zlib's), which a Matroska CRC-32 element keeps
// over the rest of its parent's data, little-endian; and Ogg's, of the same
// polynomial unreflected, which each page keeps over itself with its own
// field zeroed, little-endian too. A CRC is linear in
// the bytes it covers: the change that one changed byte makes to it needs
// only where the byte lies, never the bytes that stay as they were.
#pragma once
#include <cstdint>

// What to XOR into the CRC of some bytes when one of them changes by
// `difference` (its old value XOR its new one) and `bytes_after` bytes of
// the covered ones follow it.
uint32_t crc32_byte_change(uint8_t difference, uint64_t bytes_after);
// The same for Ogg's CRC: the reflected one's change on the bytes with
// their bits in the other order, itself in the other order.
uint32_t crc32_ogg_byte_change(uint8_t difference, uint64_t bytes_after);
