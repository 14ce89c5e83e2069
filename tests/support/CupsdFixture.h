// A real, private cupsd for one test: its own ServerRoot, spool, logs and
// ServerBin in a temporary folder, listening only on a Unix socket, with
// CUPS_SERVER pointing at it from Start to the destructor. Stop() (or the
// destructor) ends it and removes everything it made.
#ifndef TQ58_TEST_CUPSDFIXTURE_H
#define TQ58_TEST_CUPSDFIXTURE_H

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "Process.h"

// Writes script to path as a new file of mode 0755, after removing whatever
// stood there (a link is removed, never followed). False on failure.
bool WriteTestProgram(const std::string& path, const std::string& script);

// The names of the driver's own CUPS programs: a system's installed copies are
// never linked into a private ServerBin.
bool IsDriverProgramName(const std::string& name);

class PrivateCupsd {
public:
  PrivateCupsd() = default;
  ~PrivateCupsd();
  PrivateCupsd(const PrivateCupsd&) = delete;
  PrivateCupsd& operator=(const PrivateCupsd&) = delete;

  // Lines added to cupsd.conf (for example "SetEnv TQ58_ROOT /tmp/x") before Start.
  void AddConfigLine(const std::string& line) { extraConfig_.push_back(line); }
  // An environment variable cupsd hands to its filters and backends, set before Start.
  void SetEnv(const std::string& name, const std::string& value) { extraEnv_.push_back(name + " " + value); }
  // A PPD the scheduler serves under modelName (for example "pellori/TQ-58.ppd.gz"),
  // copied from ppdFile at Start. With any model added, cupsd gets a DataDir of its
  // own: the system's data folders linked in, and a model folder holding only
  // these PPDs, so that no installed driver answers under the same name.
  void AddModel(const std::string& modelName, const std::string& ppdFile) { models_.push_back({modelName, ppdFile}); }

  // Writes the configuration, starts cupsd in the foreground and waits until its
  // socket accepts connections (at most about 15 s). False with a reason on failure.
  bool Start(std::string* error);
  // Ends cupsd and removes its folder; CUPS_SERVER still names its socket, which
  // no longer answers (the destructor restores it). Safe to call twice.
  void Stop();
  bool IsRunning() const { return pid_ > 0; }

  const std::string& Root() const { return root_; }
  const std::string& SocketPath() const { return socket_; }
  // ServerBin: backend/ and filter/ are folders of their own (the system's
  // programs linked in) where a test may add its filter or backend.
  std::string ServerBin() const { return root_ + "/bin"; }
  std::string ErrorLog() const;
  // Puts a backend script into ServerBin/backend (mode 0755, so it runs as lp),
  // so that queues with its URI scheme can be made. Call after Start.
  bool AddBackend(const std::string& scheme, const std::string& script) const;
  // Puts a program into ServerBin/<kind> ("backend" or "filter"): a script of
  // mode 0755, or a link to target. Whatever stood at that name is removed
  // first, so nothing is ever written through a link to the system's programs.
  bool AddProgram(const std::string& kind, const std::string& name, const std::string& script) const;
  bool LinkProgram(const std::string& kind, const std::string& name, const std::string& target) const;

  // Runs a CUPS tool (lpadmin, lpstat, lp ...) against this scheduler. Blocks.
  ProcessResult Run(const std::vector<std::string>& argv) const;

  // The system's CUPS programs folder whose programs are linked into ServerBin
  // (the driver's own programs are never linked: a test brings the build's).
  void SetSystemServerBin(const std::string& folder) { systemServerBin_ = folder; }

private:
  bool WriteConfig(std::string* error) const;
  bool PrepareServerBin(std::string* error) const;
  bool WaitReady(std::string* error);
  bool PrepareDataDir(std::string* error) const;
  std::string DataDir() const;

  std::string systemServerBin_ = TQ58_CUPS_SERVERBIN;
  std::vector<std::string> extraConfig_;
  std::vector<std::string> extraEnv_;
  std::vector<std::pair<std::string, std::string>> models_;  // model name, PPD file
  std::string root_;
  std::string socket_;
  pid_t pid_ = -1;
  std::string oldServer_, oldServerRoot_;
  bool hadServer_ = false, hadServerRoot_ = false, envSaved_ = false;
};

#endif
