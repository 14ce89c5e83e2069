// Helpers for the filter tests: parsed options and captured packet output.
#ifndef TQ58_TEST_FILTERTESTUTIL_H
#define TQ58_TEST_FILTERTESTUTIL_H

#include <cups/cups.h>

#include <cstdio>
#include <functional>
#include <string>

class Options {
public:
  explicit Options(const char* text) { n = cupsParseOptions(text, 0, &opts); }
  ~Options() { cupsFreeOptions(n, opts); }
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  int n = 0;
  cups_option_t* opts = nullptr;
};

// Runs body with out as the entry's output stream and returns what was written.
template <typename Entry>
std::string Capture(Entry& entry, const std::function<void()>& body)
{
  FILE* out = std::tmpfile();
  entry.SetOutput(out);
  body();
  entry.SetOutput(nullptr);
  std::fflush(out);
  std::string text(static_cast<size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  if (!text.empty() && std::fread(text.data(), 1, text.size(), out) != text.size()) text.clear();
  std::fclose(out);
  return text;
}

// The bytes of one CNTRL packet with a text payload.
inline std::string Control(const std::string& sub, const std::string& payload)
{
  std::string p =
      "\x1b\x50"
      "CNTRL ";
  p += sub + std::string(16 - sub.size(), ' ');
  char len[16];
  std::snprintf(len, sizeof len, "%08zu", payload.size());
  return p + len + payload;
}

#endif
