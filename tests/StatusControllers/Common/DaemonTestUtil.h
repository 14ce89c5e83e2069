// Helpers for the daemon's tests: reading information files, waiting for a
// condition with a deadline.
#ifndef TQ58_TEST_DAEMONTESTUTIL_H
#define TQ58_TEST_DAEMONTESTUTIL_H

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

inline std::string ReadText(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The value of key in an information file's text, or "(missing)".
inline std::string InfoValue(const std::string& text, const std::string& key)
{
  const size_t at = text.find(key + "=\"");
  if (at == std::string::npos || (at > 0 && text[at - 1] != '\n')) return "(missing)";
  const size_t start = at + key.size() + 2;
  return text.substr(start, text.find("\"\n", start) - start);
}

inline int LineCount(const std::string& text)
{
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

// Polls condition every few milliseconds until it holds or ms passed.
inline bool WaitUntil(const std::function<bool()>& condition, int ms)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

#endif
