#include "foundation/diag.h"

#include "foundation/memmgr.h"
#include "host/debug.h"
#include "host/msgbox.h"
#include "host/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace {

class Recorder : public host::MessageBoxResponder {
public:
    int Respond(host::HWND, std::string_view text, std::string_view caption,
                host::UINT uType) override {
        {
            std::lock_guard guard(lock_);
            text_ = text;
            caption_ = caption;
            uType_ = uType;
            thread_ = std::this_thread::get_id();
        }
        shown_.Set();
        return answer_;
    }

    std::string text_, caption_;
    host::UINT uType_ = 0;
    std::thread::id thread_;
    int answer_ = host::IDOK;
    host::Event shown_{true};
    std::mutex lock_;
};

class Diagnostics : public ::testing::Test {
protected:
    void SetUp() override { host::SetMessageBoxResponder(&recorder_); }
    void TearDown() override { host::SetMessageBoxResponder(nullptr); }
    Recorder recorder_;
};

TEST_F(Diagnostics, TraceFormatsAndEndsWithOneLineBreak) {
    host::DebugCapture capture;
    cetl::trace("setuplib: copied %ld of %ld", 3, 7);
    cetl::trace("rapi: error %ld", 5);
    cetl::trace("already ends\n");
    cetl::trace(TEXT("two\nlines"));
    cetl::trace(u"Esperanto: %s", u"ĉu ŝi");
    EXPECT_EQ(capture.Text(), "setuplib: copied 3 of 7\nrapi: error 5\nalready ends\ntwo\nlines"
                              "Esperanto: ĉu ŝi\n");
}

TEST_F(Diagnostics, MessageBoxAddsTheIconTheButtonsCallFor) {
    struct {
        host::UINT uType, uShown;
    } const cases[] = {
        {host::MB_OK, host::MB_OK | host::MB_ICONINFORMATION},
        {host::MB_OKCANCEL, host::MB_OKCANCEL | host::MB_ICONQUESTION},
        {host::MB_YESNO, host::MB_YESNO | host::MB_ICONQUESTION},
        {host::MB_YESNO | host::MB_ICONERROR, host::MB_YESNO | host::MB_ICONERROR},
        {host::MB_OK | host::MB_ICONEXCLAMATION, host::MB_OK | host::MB_ICONEXCLAMATION},
    };
    for (const auto& c : cases) {
        recorder_.answer_ = host::IDNO;
        EXPECT_EQ(cetl::MessageBox(c.uType, "Caption", "Text"), host::IDNO);
        EXPECT_EQ(recorder_.uType_, c.uShown) << c.uType;
        EXPECT_EQ(recorder_.caption_, "Caption");
        EXPECT_EQ(recorder_.text_, "Text");
    }
}

TEST_F(Diagnostics, AsynchronousBoxReturnsAtOnceAndFreesItsParameters) {
    std::size_t cBefore = mem::GetStats().cBlocksInUse;
    EXPECT_EQ(cetl::MessageBox(cetl::MB_ASYNC | host::MB_OK, "Later", "Shown elsewhere"), 0);
    ASSERT_TRUE(recorder_.shown_.Wait(5000));
    {
        std::lock_guard guard(recorder_.lock_);
        EXPECT_NE(recorder_.thread_, std::this_thread::get_id());
        EXPECT_EQ(recorder_.uType_, host::MB_OK | host::MB_ICONINFORMATION); // top bit cleared
        EXPECT_EQ(recorder_.text_, "Shown elsewhere");
    }
    // The showing thread frees the record (and its strings) once the box is closed.
    for (int i = 0; i < 500 && mem::GetStats().cBlocksInUse != cBefore; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBefore);
}

TEST_F(Diagnostics, WarnContinuesOnOk) {
    cetl::warn("%{ld}%1 pieces left", 4);
    EXPECT_EQ(recorder_.caption_, "OK=Continue X=Quit");
    EXPECT_EQ(recorder_.text_, "4 pieces left");
    EXPECT_EQ(recorder_.uType_, host::MB_OKCANCEL | host::MB_ICONINFORMATION);
}

TEST(DiagnosticsDeathTest, WarnQuitsWithExitCodeZeroOnCancel) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Recorder recorder;
            recorder.answer_ = host::IDCANCEL;
            host::SetMessageBoxResponder(&recorder);
            cetl::warn("quit?");
            std::exit(3); // not reached
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
