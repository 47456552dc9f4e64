#pragma once

// Ending the stand-in automation server (tests/standin) from a test or a host.

#include <cstdint>
#include <memory>
#include <string>

#include "ChildProcess.h"

namespace testing_win32 {

/// Starts the stand-in |exe| by hand, as an application already running
/// before a job, and waits up to |milliseconds| for it to write |readyFile|
/// (its PID file: it is then ready to serve). Returns null, with the reason in
/// |*failure|, when it ends or doesn't get ready in time.
std::unique_ptr<ChildProcess> StartStandin(const std::string& exe, const std::string& readyFile,
                                           std::uint32_t milliseconds, std::string* failure);

/// Signals the stop event of the stand-in server |pid|. A server asked this
/// way withdraws its class registration before it ends, which killing it
/// would not do: under Wine a killed server stays registered and every later
/// client is sent to the dead process.
void AskStandinToStop(std::uint32_t pid);

/// Waits up to |milliseconds| for the stand-in server |pid| to end by itself.
/// Returns true when it did (or was already gone); otherwise asks it to stop,
/// kills it only as a last resort, and returns false.
bool AwaitStandinEnd(std::uint32_t pid, std::uint32_t milliseconds);

}  // namespace testing_win32
