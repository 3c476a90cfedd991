// The host's one handle table, internal to host/. Every service that hands out handles (files,
// drawing objects, registry keys, windows, ...) keeps its objects here, so that:
//   - a value is never handed out twice in the life of the process: a stale handle finds
//     nothing, and never reaches whatever took its place;
//   - a value of one kind is never taken for another kind (a file handle is not a brush);
//   - a lookup returns shared ownership, so an object closed on another thread meanwhile stays
//     alive until the caller is done with it.
//
// Values are non-null multiples of 8 from 0x10000 up. They never meet the small numbers that
// calls accept in place of a handle (system colours as brushes), the predefined registry roots
// (0x80000000 up) or INVALID_HANDLE_VALUE.
//
// Safe from any thread, and during static destruction: the table is never destroyed.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace host {

enum class HandleKind : std::uint8_t {
    File,
    GdiObject,
    RegistryKey,
    Window,
    Dialog,
    WaveDevice,
    Module,
    FindFile,
    DeviceConnection,
};

namespace handles {

// The first value handed out, the step between values, and the values never handed out.
constexpr std::uintptr_t kFirst = 0x10000;
constexpr std::uintptr_t kStep = 8;
constexpr std::uintptr_t kReservedBegin = 0x80000000; // predefined registry roots
constexpr std::uintptr_t kReservedEnd = 0x80000100;

// Stores the object and returns its new handle (null only once the values run out). Each kind
// keeps one object type: the one Lookup and Remove name for that kind.
void* Add(HandleKind kind, std::shared_ptr<void> object);

// Lookup and Remove give null for an unknown, closed or foreign value, or a value of another
// kind (which then stays as it is).
std::shared_ptr<void> LookupRaw(std::uintptr_t value, HandleKind kind);
// Takes the object out of the table; it lives on while a caller still holds it.
std::shared_ptr<void> RemoveRaw(std::uintptr_t value, HandleKind kind);
// The live objects of one kind, in no particular order.
std::vector<std::shared_ptr<void>> AllRaw(HandleKind kind);

inline std::uintptr_t ValueOf(const void* h) {
    return reinterpret_cast<std::uintptr_t>(h);
}

template <class T> std::shared_ptr<T> Lookup(const void* h, HandleKind kind) {
    return std::static_pointer_cast<T>(LookupRaw(ValueOf(h), kind));
}

template <class T> std::shared_ptr<T> Remove(const void* h, HandleKind kind) {
    return std::static_pointer_cast<T>(RemoveRaw(ValueOf(h), kind));
}

template <class T> std::vector<std::shared_ptr<T>> All(HandleKind kind) {
    std::vector<std::shared_ptr<T>> objects;
    for (std::shared_ptr<void>& object : AllRaw(kind))
        objects.push_back(std::static_pointer_cast<T>(std::move(object)));
    return objects;
}

} // namespace handles
} // namespace host
