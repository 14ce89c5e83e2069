// The uninstaller's side of the root helper: runs the helper through the
// elevation program (pkexec, which asks for an administrator's password),
// sends it the one request on its standard input and reads its reply.
#ifndef TQ58_HELPERCLIENT_H
#define TQ58_HELPERCLIENT_H

#include <cstdint>
#include <string>
#include <vector>

// Outcomes of a request, the values of g_Ret.
inline constexpr int32_t kRequestSucceeded = 0;  // the helper removed everything
inline constexpr int32_t kRequestFailed = -1;    // it replied false, or gave no reply
inline constexpr int32_t kRequestRefused = 1;    // authorization refused, or no helper started

// The elevation program's exit statuses for a refused or failed authorization.
inline constexpr int kElevationDismissed = 126;
inline constexpr int kElevationNotAuthorized = 127;

// The program named by TQ58_ELEVATE when set (tests put a stand-in there),
// else /usr/bin/pkexec, followed by the installed helper's path mapped through
// TQ58_FixedPath.
std::vector<std::string> GetElevationCommand();

// Runs command, writes the request, reads the reply and waits for the
// program to exit; blocks for as long as the helper works. The calling
// process ignores SIGPIPE (a helper may exit before reading).
int32_t RequestHelperUninstall(const std::vector<std::string>& command);

// The request through GetElevationCommand().
int32_t requestUnInstall();

#endif
