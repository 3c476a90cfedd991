#include "host/startup_trace.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace host {

void TraceStartup(const char* pszMark) {
    // Read on every call: a handful of marks per process, and tests set it as they go.
    const char* pszFile = std::getenv("KELVANO_TRACE_STARTUP");
    if (pszFile == nullptr || *pszFile == '\0' || pszMark == nullptr) return;
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char szLine[160];
    const int cch = std::snprintf(szLine, sizeof szLine, "%.100s %lld\n", pszMark,
                                  static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
    if (cch <= 0) return;
    const int fd = ::open(pszFile, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    // One write of a whole line: lines of several processes or threads never interleave.
    [[maybe_unused]] const ssize_t cb = ::write(fd, szLine, static_cast<std::size_t>(cch));
    ::close(fd);
}

} // namespace host
