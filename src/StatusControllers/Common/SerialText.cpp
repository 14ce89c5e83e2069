#include "SerialText.h"

#include <cstring>

namespace {

// Length of the UTF-8 sequence starting at p (at most left bytes), or 0 when
// it is not a valid one.
size_t Utf8Length(const unsigned char* p, size_t left)
{
  const unsigned char c = p[0];
  size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (n == 0 || n > left || (n == 2 && c < 0xC2) || (n == 4 && c > 0xF4)) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  if (n == 3 && ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0))) return 0;
  if (n == 4 && ((c == 0xF0 && p[1] < 0x90) || (c == 0xF4 && p[1] >= 0x90))) return 0;
  return n;
}

// Whether p[0 .. size) may name files (see IsSafeSerialText).
bool IsSafe(const unsigned char* p, size_t size)
{
  if ((size == 1 && p[0] == '.') || (size == 2 && p[0] == '.' && p[1] == '.')) return false;
  for (size_t i = 0; i < size;) {
    if (p[i] < 0x20 || p[i] == 0x7F || p[i] == '/') return false;
    const size_t n = Utf8Length(p + i, size - i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// size less a UTF-8 sequence cut short at the very end (a reply cut to its buffer).
size_t WithoutCutCharacter(const unsigned char* p, size_t size)
{
  for (size_t back = 1; back <= 3 && back <= size; ++back) {
    const unsigned char c = p[size - back];
    if ((c & 0xC0) == 0x80) continue;
    const size_t need = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    return need > back ? size - back : size;
  }
  return size;
}

}  // namespace

bool IsSafeSerialText(const char* text)
{
  return text != nullptr && IsSafe(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
}

long MakeSerialText(const char* raw, char* out, size_t outSize)
{
  if (out == nullptr || outSize == 0) return -1;
  out[0] = '\0';
  if (raw == nullptr) return -1;
  const auto* p = reinterpret_cast<const unsigned char*>(raw);
  const size_t size = WithoutCutCharacter(p, std::strlen(raw));
  if (!IsSafe(p, size)) return -1;
  size_t used = 0;
  for (size_t i = 0; i < size;) {
    const bool space = p[i] == ' ';
    const size_t in = space ? 1 : Utf8Length(p + i, size - i);
    const size_t add = space ? 3 : in;
    if (used + add > outSize - 1) break;
    std::memcpy(out + used, space ? "%20" : raw + i, add);
    used += add;
    i += in;
  }
  out[used] = '\0';
  // A cut text could end up as "." or "..": refuse it as well.
  if (!IsSafeSerialText(out)) {
    out[0] = '\0';
    return -1;
  }
  return static_cast<long>(used);
}
