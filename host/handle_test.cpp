#include "host/handle.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace host {
namespace {

bool Reserved(std::uintptr_t value) {
    return value >= handles::kReservedBegin && value < handles::kReservedEnd;
}

TEST(HandleTest, KindsAreKeptApartAndRemovedObjectsLiveOn) {
    void* hFile = handles::Add(HandleKind::File, std::make_shared<int>(7));
    ASSERT_NE(hFile, nullptr);
    // Another kind neither finds nor removes it.
    EXPECT_EQ(handles::Lookup<int>(hFile, HandleKind::Window), nullptr);
    EXPECT_EQ(handles::Remove<int>(hFile, HandleKind::GdiObject), nullptr);
    std::shared_ptr<int> held = handles::Lookup<int>(hFile, HandleKind::File);
    ASSERT_NE(held, nullptr);

    std::shared_ptr<int> removed = handles::Remove<int>(hFile, HandleKind::File);
    EXPECT_EQ(removed, held);
    EXPECT_EQ(*held, 7);
    EXPECT_EQ(handles::Lookup<int>(hFile, HandleKind::File), nullptr);
    EXPECT_EQ(handles::Remove<int>(hFile, HandleKind::File), nullptr);
    for (const void* h :
         {static_cast<const void*>(nullptr), reinterpret_cast<const void*>(~std::uintptr_t{0}),
          reinterpret_cast<const void*>(handles::kReservedBegin + 1)})
        EXPECT_EQ(handles::Lookup<int>(h, HandleKind::File), nullptr);
}

// Threads add and remove at once; no value is ever handed out twice, none is special.
TEST(HandleTest, ValuesAreNeverReusedAcrossThreads) {
    constexpr int kThreads = 4;
    constexpr int kEach = 2000;
    std::vector<std::vector<std::uintptr_t>> seen(kThreads);
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &seen, &failures] {
            const HandleKind kind = t % 2 ? HandleKind::File : HandleKind::RegistryKey;
            for (int i = 0; i < kEach; ++i) {
                void* h = handles::Add(kind, std::make_shared<int>(i));
                std::shared_ptr<int> p = handles::Lookup<int>(h, kind);
                if (!p || *p != i || handles::Remove<int>(h, kind) != p) ++failures[t];
                seen[t].push_back(handles::ValueOf(h));
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    std::set<std::uintptr_t> values;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0);
        for (std::uintptr_t value : seen[t]) {
            EXPECT_TRUE(values.insert(value).second) << value;
            EXPECT_GE(value, handles::kFirst);
            EXPECT_EQ(value % handles::kStep, 0u);
            EXPECT_FALSE(Reserved(value));
        }
    }
}

} // namespace
} // namespace host
