#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"
#include "foundation/tl_list.h"
#include "foundation/tl_map.h"
#include "foundation/tl_vector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using cetl::istring;
using cetl::string;

template <class C> std::vector<typename C::value_type> Items(const C& c) {
    return {c.begin(), c.end()};
}
template <class C> std::vector<typename C::value_type> ItemsBackwards(const C& c) {
    std::vector<typename C::value_type> v;
    for (auto it = c.end(); it != c.begin();)
        v.push_back(*--it);
    return v;
}
std::string Narrow(const string& str) {
    return str.Text8();
}

// Every misuse, from the operation that detects it, with the text it must carry.
TEST(TlContainers, MisuseThrowsItsText) {
    const char* const kEmpty = "the list is empty";
    const char* const kNoVectorItem = "the item specified does not exist within the vector";
    const char* const kNoListItem = "the item specified does not exist within the list";
    const char* const kInvalid = "the iterator does not reference a valid object";
    const char* const kAtEnd = "the iterator has already reached the end of the container";
    const char* const kAtBeginning =
        "the iterator has already reached the beginning of the container";
    const char* const kNoIndex = "the index specified does not exist within the map";

    cetl::list<int> lEmpty;
    cetl::list<int> l;
    l.AddTail(1);
    l.AddTail(2);
    cetl::list<int> lOther = l;
    cetl::vector<int> v;
    v.Add(1);
    v.Add(2);
    cetl::map<int, int> m;
    m.Set(1, 10);
    const cetl::map<int, int>& cm = m;

    struct Case {
        const char* pszWhat;
        std::function<void()> pfnMisuse;
        const char* pszExpected;
    };
    const Case cases[] = {
        {"list RemoveHead", [&] { lEmpty.RemoveHead(); }, kEmpty},
        {"list RemoveTail", [&] { lEmpty.RemoveTail(); }, kEmpty},
        {"list Head", [&] { lEmpty.Head(); }, kEmpty},
        {"list Tail", [&] { std::as_const(lEmpty).Tail(); }, kEmpty},
        {"list Remove value", [&] { l.Remove(3); }, kNoListItem},
        {"list Remove end", [&] { l.Remove(l.end()); }, kInvalid},
        {"list Remove foreign", [&] { l.Remove(lOther.begin()); }, kInvalid},
        {"list InsertAfter end", [&] { l.InsertAfter(l.end(), 3); }, kInvalid},
        {"list InsertBefore foreign", [&] { l.InsertBefore(lOther.end(), 3); }, kInvalid},
        {"list *end", [&] { *l.end(); }, kInvalid},
        {"list *default", [] { *cetl::list<int>::iterator(); }, kInvalid},
        {"list ++end", [&] { ++l.end(); }, kAtEnd},
        {"list ++ past tail",
         [&] {
             auto it = l.begin();
             it++;
             it++;
             it++;
         },
         kAtEnd},
        {"list --begin", [&] { --l.begin(); }, kAtBeginning},
        {"empty list --end", [&] { --lEmpty.end(); }, kAtBeginning},
        {"vector [Count]", [&] { v[2]; }, kNoVectorItem},
        {"vector const [huge]", [&] { std::as_const(v)[size_t(-1)]; }, kNoVectorItem},
        {"vector Insert past end", [&] { v.Insert(3, 9); }, kNoVectorItem},
        {"vector RemoveAt", [&] { v.RemoveAt(2); }, kNoVectorItem},
        {"vector Remove value", [&] { v.Remove(3); }, kNoVectorItem},
        {"vector *end", [&] { *v.end(); }, kInvalid},
        {"vector *default", [] { *cetl::vector<int>::const_iterator(); }, kInvalid},
        {"vector ++end", [&] { v.end()++; }, kAtEnd},
        {"vector --begin", [&] { v.begin()--; }, kAtBeginning},
        {"map Get", [&] { m.Get(2); }, kNoIndex},
        {"map []", [&] { m[2]; }, kNoIndex},
        {"map const []", [&] { cm[0]; }, kNoIndex},
        {"map Remove", [&] { m.Remove(2); }, kNoIndex},
        {"map *end", [&] { *cm.end(); }, kInvalid},
        {"map ->end", [&] { (void)m.Find(2)->second; }, kInvalid},
        {"map ++end", [&] { ++m.end(); }, kAtEnd},
        {"map --begin", [&] { --m.begin(); }, kAtBeginning},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        try {
            c.pfnMisuse();
            ADD_FAILURE() << "nothing thrown";
        } catch (const cetl::exception& e) {
            EXPECT_STREQ(e.what(), c.pszExpected);
            EXPECT_EQ(Narrow(e.Message()), c.pszExpected);
        }
    }
    // Failed calls change nothing.
    EXPECT_EQ(Items(l), (std::vector<int>{1, 2}));
    EXPECT_EQ(Items(v), (std::vector<int>{1, 2}));
    EXPECT_EQ(m.Count(), 1u);
}

TEST(TlContainers, ExceptionIsAStdExceptionWithItsText) {
    try {
        cetl::ThrowException("the list is empty");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "the list is empty");
    }
    cetl::exception e(u"Ĉu ĝi funkcias?");
    EXPECT_STREQ(e.what(), "Ĉu ĝi funkcias?");
}

TEST(TlList, AddsInsertsAndRemovesAtBothEnds) {
    cetl::list<int> l;
    EXPECT_TRUE(l.IsEmpty());
    EXPECT_EQ(l.begin(), l.end());
    l.AddTail(2);
    l.AddHead(1);
    l.AddTail(4);
    auto it4 = l.Find(4);
    auto it3 = l.InsertBefore(it4, 3);
    l.InsertAfter(it4, 5);
    l.InsertBefore(l.end(), 6);
    l.InsertBefore(l.begin(), 0);
    EXPECT_EQ(*it3, 3);
    EXPECT_EQ(l.Count(), 7u);
    EXPECT_EQ(Items(l), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(ItemsBackwards(l), (std::vector<int>{6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(l.Head(), 0);
    EXPECT_EQ(l.Tail(), 6);

    EXPECT_EQ(l.RemoveHead(), 0);
    EXPECT_EQ(l.RemoveTail(), 6);
    EXPECT_EQ(*l.Remove(it3), 4); // the next position
    l.Remove(5);                  // the tail, by value
    l.Remove(l.begin());          // the head
    EXPECT_EQ(Items(l), (std::vector<int>{2, 4}));
    EXPECT_TRUE(l.Contains(4));
    EXPECT_FALSE(l.Contains(5));
    EXPECT_EQ(l.Remove(l.Find(4)), l.end());
    EXPECT_EQ(l.RemoveTail(), 2);
    EXPECT_TRUE(l.IsEmpty());
    EXPECT_EQ(l.begin(), l.end());
}

TEST(TlVector, AddsInsertsAndRemovesAtBothEnds) {
    cetl::vector<std::string> v;
    EXPECT_EQ(v.Add("b"), 0u);
    EXPECT_EQ(v.Add("d"), 1u);
    v.Insert(0, "a");
    v.Insert(2, "c");
    v.Insert(v.Count(), "e");
    EXPECT_EQ(Items(v), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(ItemsBackwards(v), (std::vector<std::string>{"e", "d", "c", "b", "a"}));
    EXPECT_EQ(v.Find("c"), 2u);
    EXPECT_EQ(v.Find("z"), v.npos);

    v.RemoveAt(0);
    v.RemoveAt(v.Count() - 1);
    v.Remove("c");
    EXPECT_EQ(Items(v), (std::vector<std::string>{"b", "d"}));
    v[1] = "x";
    EXPECT_EQ(std::as_const(v)[1], "x");
    v.Clear();
    EXPECT_TRUE(v.IsEmpty());
    EXPECT_EQ(v.begin(), v.end());
}

TEST(TlVector, ItemsStayPutWhileTheBlockDoubles) {
    cetl::vector<int> v;
    v.Add(-1);
    const int* pFirst = &v[0];
    std::vector<std::size_t> capacities;
    for (int i = 0; i < 100; ++i) {
        v.Insert(1, i);
        if (capacities.empty() || capacities.back() != v.Capacity())
            capacities.push_back(v.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<std::size_t>{16, 32, 64, 128}));
    EXPECT_EQ(&v[0], pFirst);
    EXPECT_EQ(v[0], -1);
    EXPECT_EQ(v[1], 99);
    EXPECT_EQ(v[100], 0);
}

TEST(TlContainers, BlocksCarryTheirTypeNames) {
    cetl::vector<int> v;
    v.Add(1);
    cetl::map<int, int> m;
    m.Set(1, 2);
    mem::BlockInfo info;
    ASSERT_TRUE(mem::GetBlockInfo(&v[0], &info));
    EXPECT_STREQ(info.pszType, "myitemtype");
    ASSERT_TRUE(mem::GetBlockInfo(&*m.begin(), &info));
    EXPECT_STREQ(info.pszType, "mapnodetype");
}

// Copies are deep and independent, moves hand everything over, and nothing outlives the
// containers: not their nodes, items, blocks, nor the blocks of the strings they hold.
TEST(TlContainers, CopyMoveAndDestructionLeaveNoBlocks) {
    const std::size_t cBefore = mem::GetStats().cBlocksInUse;
    {
        cetl::list<string> l;
        cetl::vector<string> v;
        cetl::map<int, string> m;
        for (int i = 0; i < 50; ++i) {
            string str = cetl::sformat("item %d", i);
            l.AddTail(str);
            v.Add(str);
            m.Set(i, str);
        }
        EXPECT_GT(mem::GetStats().cBlocksInUse, cBefore + 150);

        cetl::list<string> l2 = l;
        cetl::vector<string> v2 = v;
        cetl::map<int, string> m2 = m;
        l2.Head() = "changed";
        v2[0] = "changed";
        m2[0] = "changed";
        EXPECT_EQ(Narrow(l.Head()), "item 0");
        EXPECT_EQ(Narrow(v[0]), "item 0");
        EXPECT_EQ(Narrow(m[0]), "item 0");

        cetl::list<string> l3 = std::move(l2);
        cetl::vector<string> v3 = std::move(v2);
        cetl::map<int, string> m3 = std::move(m2);
        EXPECT_TRUE(l2.IsEmpty() && v2.IsEmpty() && m2.IsEmpty());
        EXPECT_EQ(Narrow(l3.Head()), "changed");
        EXPECT_EQ(Narrow(v3[0]), "changed");
        EXPECT_EQ(Narrow(m3[0]), "changed");

        l3 = l;
        v3 = v;
        m3 = m;
        EXPECT_EQ(Narrow(l3.Head()), "item 0");
        EXPECT_EQ(Narrow(v3[0]), "item 0");
        EXPECT_EQ(Narrow(m3[0]), "item 0");
        m3.Clear();
        m3.Set(1, "again");
        l.Clear();
        l.AddTail("again");
    }
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBefore);
}

TEST(TlMap, KeepsKeysInOrderAndReplacesValues) {
    cetl::map<string, int> m;
    EXPECT_TRUE(m.Set("pear", 1));
    EXPECT_TRUE(m.Set("apple", 2));
    EXPECT_TRUE(m.Set("fig", 3));
    EXPECT_FALSE(m.Set("apple", 4));
    EXPECT_TRUE(m.Set("Zucchini", 5)); // upper case sorts first: keys compare exactly
    EXPECT_EQ(m.Count(), 4u);
    std::vector<std::pair<std::string, int>> entries;
    for (const auto& [key, value] : m)
        entries.emplace_back(Narrow(key), value);
    EXPECT_EQ(entries, (std::vector<std::pair<std::string, int>>{
                           {"Zucchini", 5}, {"apple", 4}, {"fig", 3}, {"pear", 1}}));
    EXPECT_EQ(m.Get("apple"), 4);
    EXPECT_FALSE(m.Contains("Apple"));
    m["fig"] += 10;
    EXPECT_EQ(m.Find("fig")->second, 13);
    m.Remove("apple");
    EXPECT_EQ(m.Find("apple"), m.end());
    EXPECT_EQ(Narrow((--m.end())->first), "pear");
    EXPECT_EQ(m.Count(), 3u);
}

TEST(TlMap, StringMapIgnoresCaseAndKeepsTheFirstSpelling) {
    cetl::stringmap<int> m;
    m.Set(TEXT("Frame-Color"), 1);
    m.Set(TEXT("background"), 2);
    EXPECT_FALSE(m.Set(TEXT("FRAME-color"), 3));
    m.Set(TEXT("Apple"), 4);
    EXPECT_EQ(m.Count(), 3u);
    EXPECT_EQ(m[TEXT("frame-COLOR")], 3);
    EXPECT_TRUE(m.Contains(TEXT("BACKGROUND")));
    std::vector<std::string> keys;
    for (const auto& entry : m)
        keys.push_back(Narrow(entry.first));
    EXPECT_EQ(keys, (std::vector<std::string>{"Apple", "background", "Frame-Color"}));
    m.Remove(TEXT("APPLE"));
    EXPECT_FALSE(m.Contains(TEXT("apple")));
    // A missing key is added as looked up, with the default value.
    EXPECT_EQ(m[TEXT("Font")], 0);
    EXPECT_EQ(Narrow(m.Find(TEXT("FONT"))->first), "Font");
}

TEST(TlMap, SafeMapAddsMissingKeysWithTheDefaultValue) {
    cetl::safemap<int, string> m;
    EXPECT_TRUE(m[7].IsEmpty());
    EXPECT_EQ(m.Count(), 1u);
    m.Get(3) += "three";
    EXPECT_EQ(Narrow(m[3]), "three");
    EXPECT_EQ(m.Count(), 2u);
    const cetl::safemap<int, string>& cm = m;
    EXPECT_TRUE(cm[5].IsEmpty()); // a const map reads the default without growing
    EXPECT_EQ(Narrow(cm.Get(3)), "three");
    EXPECT_EQ(m.Count(), 2u);
}

TEST(TlMap, SameSeedBuildsTheSameList) {
    using intmap = cetl::map<int, int>;
    auto fill = [](intmap m) {
        for (int i = 0; i < 2000; ++i)
            m.Set((i * 7919) % 2003, i);
        return m;
    };
    auto shape = [](const intmap& m) {
        std::vector<std::size_t> counts;
        for (int iLevel = 0; iLevel < m.Levels(); ++iLevel)
            counts.push_back(m.CountAtLevel(iLevel));
        return counts;
    };
    intmap a = fill(intmap(1)), b = fill(intmap(1)), c = fill(intmap(2));
    EXPECT_EQ(shape(a), shape(b));
    EXPECT_NE(shape(a), shape(c));
    EXPECT_EQ(shape(fill(intmap(intmap::kDefaultSeed))), shape(fill(intmap())));

    // A copy has the same shape and grows exactly as its original does.
    intmap d = a;
    EXPECT_EQ(shape(d), shape(a));
    for (int i = 5000; i < 5500; ++i) {
        a.Set(i, i);
        d.Set(i, i);
    }
    EXPECT_EQ(shape(d), shape(a));
}

TEST(TlMap, PromotesWithProbabilityPoint79UpTo32Levels) {
    cetl::map<int, int> m;
    for (int i = 0; i < 20000; ++i)
        m.Set(i, i);
    // Expected 20000 * 0.79^31, about 13 nodes, would reach a 33rd level without the cap.
    EXPECT_EQ(m.Levels(), 32);
    EXPECT_GT(m.CountAtLevel(31), 0u);
    EXPECT_EQ(m.CountAtLevel(32), 0u);
    for (int iLevel = 1; iLevel < 10; ++iLevel) {
        double rRatio = double(m.CountAtLevel(iLevel)) / double(m.CountAtLevel(iLevel - 1));
        EXPECT_NEAR(rRatio, 0.79, 0.03) << "level " << iLevel;
    }
}

TEST(TlMap, AgreesWithStdMapOverRandomOperations) {
    std::mt19937 rng(12345);
    cetl::map<int, int> m(99);
    std::map<int, int> expected;
    for (int iOp = 0; iOp < 6000; ++iOp) {
        int key = int(rng() % 400);
        int value = int(rng());
        switch (rng() % 4) {
        case 0:
        case 1:
            EXPECT_EQ(m.Set(key, value), expected.count(key) == 0);
            expected[key] = value;
            break;
        case 2:
            if (expected.erase(key) != 0)
                m.Remove(key);
            else
                EXPECT_THROW(m.Remove(key), cetl::exception);
            break;
        case 3:
            ASSERT_EQ(m.Contains(key), expected.count(key) != 0);
            if (expected.count(key) != 0) {
                EXPECT_EQ(m.Get(key), expected[key]);
            }
            break;
        }
        ASSERT_EQ(m.Count(), expected.size());
        if (iOp % 500 == 0 || expected.empty()) {
            using Entries = std::vector<std::pair<const int, int>>;
            Entries want(expected.begin(), expected.end());
            ASSERT_EQ(Items(m), want);
            ASSERT_EQ(ItemsBackwards(m), Entries(want.rbegin(), want.rend()));
        }
    }
    // Levels left empty by removals are given up.
    while (!expected.empty()) {
        m.Remove(expected.begin()->first);
        expected.erase(expected.begin());
    }
    EXPECT_EQ(m.Levels(), 0);
    EXPECT_EQ(m.begin(), m.end());
}

} // namespace
