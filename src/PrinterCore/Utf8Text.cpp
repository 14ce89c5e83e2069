#include "Utf8Text.h"

size_t TQ58_GetUtf8SequenceLength(const unsigned char* p, size_t left)
{
  if (p == nullptr || left == 0) return 0;
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  // The range of the second byte narrows for the first lead byte of a length
  // (no overlong forms), for 0xED (no surrogates) and for 0xF4 (no code point
  // above U+10FFFF).
  unsigned char low = 0x80, high = 0xBF;
  size_t n = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  }
  if (n == 0 || n > left) return 0;
  if (p[1] < low || p[1] > high) return 0;
  for (size_t k = 2; k < n; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
  }
  return n;
}

bool TQ58_IsValidUtf8(std::string_view bytes)
{
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size();) {
    const size_t n = TQ58_GetUtf8SequenceLength(p + i, bytes.size() - i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}
