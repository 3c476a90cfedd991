#include "host/handle.h"

#include <limits>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <utility>

namespace host {
namespace handles {

static_assert(kFirst % kStep == 0 && kReservedBegin % kStep == 0 && kReservedEnd % kStep == 0);
// INVALID_HANDLE_VALUE (all bits set) is not a multiple of the step.
static_assert(~std::uintptr_t{0} % kStep != 0);

namespace {

struct Entry {
    HandleKind kind;
    std::shared_ptr<void> object;
};

struct Table {
    std::shared_mutex mutex;
    std::unordered_map<std::uintptr_t, Entry> entries;
    std::uintptr_t next = kFirst;
};

Table& TheTable() {
    // Never destroyed: stock objects, open keys and late closes may outlive static destructors.
    static Table* table = new Table;
    return *table;
}

} // namespace

void* Add(HandleKind kind, std::shared_ptr<void> object) {
    Table& table = TheTable();
    std::unique_lock lock(table.mutex);
    if (table.next >= kReservedBegin && table.next < kReservedEnd) table.next = kReservedEnd;
    if (table.next > std::numeric_limits<std::uintptr_t>::max() - kStep) return nullptr;
    std::uintptr_t value = table.next;
    table.next += kStep;
    table.entries.emplace(value, Entry{kind, std::move(object)});
    return reinterpret_cast<void*>(value);
}

std::shared_ptr<void> LookupRaw(std::uintptr_t value, HandleKind kind) {
    Table& table = TheTable();
    std::shared_lock lock(table.mutex);
    auto it = table.entries.find(value);
    if (it == table.entries.end() || it->second.kind != kind) return nullptr;
    return it->second.object;
}

std::shared_ptr<void> RemoveRaw(std::uintptr_t value, HandleKind kind) {
    std::shared_ptr<void> object; // the caller releases it, outside the lock
    Table& table = TheTable();
    std::unique_lock lock(table.mutex);
    auto it = table.entries.find(value);
    if (it == table.entries.end() || it->second.kind != kind) return nullptr;
    object = std::move(it->second.object);
    table.entries.erase(it);
    return object;
}

std::vector<std::shared_ptr<void>> AllRaw(HandleKind kind) {
    std::vector<std::shared_ptr<void>> objects;
    Table& table = TheTable();
    std::shared_lock lock(table.mutex);
    for (const auto& [value, entry] : table.entries) {
        if (entry.kind == kind) objects.push_back(entry.object);
    }
    return objects;
}

} // namespace handles
} // namespace host
