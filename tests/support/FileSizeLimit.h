// Runs test code in a child process whose files cannot grow beyond a limit: a full disk that
// even root cannot get round (it can get round folder permissions).
#pragma once

#include <sys/resource.h>

#include <functional>

// Exit code of the child when `action` threw.
inline constexpr int kActionThrew = 125;

// Runs `action` in a forked child in which no file may grow beyond `limit` bytes (a write past
// it fails with EFBIG instead of raising SIGXFSZ), and returns the child's exit code: what
// `action` returned, kActionThrew when it threw, -1 when the child could not be started or did
// not exit normally. The child ends with _exit, so nothing of the test program runs twice.
int RunWithFileSizeLimit(rlim_t limit, const std::function<int()>& action);
