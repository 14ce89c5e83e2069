#include "BackendLog.h"

#include <cstdio>

BackendLog::BackendLog(Sink sink) : sink_(std::move(sink)) {}

void BackendLog::Line(const std::string& line) const
{
  std::string clean = line;
  for (char& c : clean) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  if (sink_) {
    sink_(clean);
    return;
  }
  std::fprintf(stderr, "%s\n", clean.c_str());
  std::fflush(stderr);
}
