// The CRC-32 of IEEE 802.3 (zlib's), which a Matroska CRC-32 element keeps
// over the rest of its parent's data, little-endian. A CRC is linear in
// the bytes it covers: the change that one changed byte makes to it needs
// only where the byte lies, never the bytes that stay as they were.
#pragma once
#include <cstdint>

// What to XOR into the CRC of some bytes when one of them changes by
// `difference` (its old value XOR its new one) and `bytes_after` bytes of
// the covered ones follow it.
uint32_t crc32_byte_change(uint8_t difference, uint64_t bytes_after);
