// Internal to the single-instance service: the file helpers that the named mutexes
// (instance.cpp) and the published windows (instance_window.cpp) share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace host::inst {

std::uint64_t Fnv1a(const void* data, std::size_t cb);
std::string Hex(std::uint64_t value);
// Opens (creating) a lock file of this user only.
int OpenLockFile(const std::string& path);
// flock, retried when a signal interrupts it.
int Flock(int fd, int op);
// Closes fd when open and marks it closed.
void CloseFd(int& fd);

} // namespace host::inst
