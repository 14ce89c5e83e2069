#include "SerialText.h"

#include <cstring>

#include "Utf8Text.h"

namespace {

// Whether p[0 .. size) may name files (see IsSafeSerialText).
bool IsSafe(const unsigned char* p, size_t size)
{
  if ((size == 1 && p[0] == '.') || (size == 2 && p[0] == '.' && p[1] == '.')) return false;
  for (size_t i = 0; i < size;) {
    if (p[i] < 0x20 || p[i] == 0x7F || p[i] == '/') return false;
    const size_t n = TQ58_GetUtf8SequenceLength(p + i, size - i);
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
    const size_t in = space ? 1 : TQ58_GetUtf8SequenceLength(p + i, size - i);
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
