// The backend's messages to the scheduler: one line each on standard error,
// with the prefixes CUPS reads ("STATE:", "ATTR:", "PAGE:", "INFO:", "ERROR:",
// "DEBUG:").
#ifndef TQ58_BACKENDLOG_H
#define TQ58_BACKENDLOG_H

#include <functional>
#include <string>

class BackendLog {
public:
  using Sink = std::function<void(const std::string& line)>;

  // Lines go to sink; without one, to standard error.
  explicit BackendLog(Sink sink = Sink());

  // "STATE: " + change, e.g. "+offline-report" or "-connecting-to-device".
  void State(const std::string& change) const { Line("STATE: " + change); }
  // "ATTR: " + attributes, e.g. "marker-levels=50".
  void Attr(const std::string& attributes) const { Line("ATTR: " + attributes); }
  // "PAGE: " + pages, e.g. "total 3".
  void Page(const std::string& pages) const { Line("PAGE: " + pages); }
  void Info(const std::string& text) const { Line("INFO: " + text); }
  void Warning(const std::string& text) const { Line("WARNING: " + text); }
  void Error(const std::string& text) const { Line("ERROR: " + text); }
  void Debug(const std::string& text) const { Line("DEBUG: " + text); }

private:
  // Writes one line; control bytes in it become spaces, so a text from the
  // printer never starts a line of its own. Blocks on the pipe only.
  void Line(const std::string& line) const;

  Sink sink_;
};

#endif
