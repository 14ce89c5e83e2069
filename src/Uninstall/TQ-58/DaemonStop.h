// Stopping the status daemon before its files go: "systemctl disable --now"
// of its unit, run as an argument vector without a shell.
#ifndef TQ58_DAEMONSTOP_H
#define TQ58_DAEMONSTOP_H

#include <string>
#include <vector>

// The command: the program named by TQ58_SYSTEMCTL when set (tests record the
// call there), else /bin/systemctl, then "disable", "--now" and the unit name.
std::vector<std::string> GetDaemonStopCommand();

// Runs the command with standard input and output on /dev/null (standard
// output carries the helper's reply) and waits for it; blocks until it exits.
// Its outcome is not reported: the removal goes on whatever it did.
void StopDaemonService();

#endif
