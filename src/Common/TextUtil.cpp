#include "TextUtil.h"

#include <cstdlib>
#include <cstring>

int _CutText(char* destination, const char* source, int n)
{
  if (destination == nullptr) return 0;
  if (n < 0 || source == nullptr) n = 0;
  std::memcpy(destination, source == nullptr ? "" : source, static_cast<size_t>(n));
  destination[n] = '\0';
  return 0;
}

int _TextToInt(const char* text, int n)
{
  constexpr int kMaxDigits = 511;
  if (text == nullptr || n < 0 || n > kMaxDigits) return -1;
  char buffer[kMaxDigits + 1];
  // Copy at most n bytes and stop at a terminator, so a short text is never overread.
  int i = 0;
  for (; i < n && text[i] != '\0'; ++i) buffer[i] = text[i];
  buffer[i] = '\0';
  return std::atoi(buffer);
}

void _StoreLE2(unsigned char* p, uint16_t value)
{
  p[0] = static_cast<unsigned char>(value & 0xFF);
  p[1] = static_cast<unsigned char>(value >> 8);
}

void _StoreLE4(unsigned char* p, uint32_t value)
{
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
}
