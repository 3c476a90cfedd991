// What the skin library's tests share: a headless desktop screen with the animation
// framework's display, skins made from a few files, and the text of an exception.
#pragma once

#include "anim/cea_display.h"
#include "foundation/tl_exception.h"
#include "host/screen.h"
#include "skin/skin.h"
#include "skin/skin_testutil.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace skintest {

class SkinFixture : public ::testing::Test {
protected:
    void SetUp() override {
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        options.profile = host::ScreenProfile::kDesktop;
        ASSERT_TRUE(host::InitScreen(options));
        ASSERT_NE(CreateDisplay(false), nullptr);
    }
    void TearDown() override {
        DestroyDisplay();
        host::ShutdownScreen();
    }

    // A skin from the files, skin.txt first.
    static std::unique_ptr<SKIN> Load(const std::string& strSkinText, Files files = {}) {
        files.insert(files.begin(), {"skin.txt", Text(strSkinText)});
        Bytes package = Package(files);
        return std::make_unique<SKIN>(package.data(), package.size());
    }
    // The exception's text, empty when fn throws none.
    static std::string Message(const std::function<void()>& fn) {
        try {
            fn();
        } catch (const cetl::exception& e) {
            return e.what();
        }
        return "";
    }
};

} // namespace skintest
