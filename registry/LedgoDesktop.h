#pragma once
#include <signal.h>

#include <cstdint>
#include <optional>

#include "registry/AllowList.h"

namespace registry {

// ledgo on a desktop: the registry service on UDP `port` behind the tray window
// "Ledgo", whose log list receives every log line (also printed on
// stdout). Ends through the window's "服务关闭", Enter, Escape, the tray
// menu's "关闭服务" or one of `endSignals` (blocked by the caller), with the
// same orderly shutdown as the daemon: the store file is deleted. Answers
// the exit status: 0, or 1 when the port is taken (after the box
// "端口被占用---退出程序" and a line naming the port on stderr).
//
// With LEDGO_LOG_DUMP set to a file name, the log list's lines are written
// there (one a line) when the program ends, for tests. With `allow`, only
// its networks may change the table.
int RunLedgoDesktop(int argc, char** argv, std::uint16_t port, const std::optional<AllowList>& allow,
                    const sigset_t& endSignals);

}  // namespace registry
