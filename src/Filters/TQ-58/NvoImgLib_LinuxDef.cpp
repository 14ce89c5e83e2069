// The image library's block calls on top of malloc and free.
#include "NvoImgLib_LinuxDef.h"

#include <cstdlib>
#include <cstring>

namespace {
thread_local long t_allocsBeforeFailure = -1;
}

HGLOBAL GlobalAlloc(unsigned int /*flags*/, size_t size)
{
  if (t_allocsBeforeFailure == 0) {
    return nullptr;
  }
  if (t_allocsBeforeFailure > 0) {
    --t_allocsBeforeFailure;
  }
  return std::malloc(size == 0 ? 1 : size);
}

void* GlobalLock(HGLOBAL handle)
{
  return handle;
}

void GlobalUnlock(void* /*bits*/) {}

void GlobalFree(HGLOBAL handle)
{
  std::free(handle);
}

void* CopyMemory(void* dst, const void* src, size_t n)
{
  if (n != 0) {
    std::memmove(dst, src, n);
  }
  return dst;
}

void* ZeroMemory(void* p, size_t n)
{
  if (n != 0) {
    std::memset(p, 0, n);
  }
  return p;
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c)
{
  if (c == 0) {
    return -1;
  }
  const int64_t quotient = static_cast<int64_t>(a) * b / c;
  if (quotient > INT32_MAX || quotient < INT32_MIN) {
    return -1;
  }
  return static_cast<int32_t>(quotient);
}

void SetGlobalAllocFailAfter(long count)
{
  t_allocsBeforeFailure = count < 0 ? -1 : count;
}
