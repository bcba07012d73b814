// The borrowed window wrapper when its window is gone: the install thread keeps repainting
// the wizard's controls through wrappers whose windows the closing dialog has destroyed.
#include <gtest/gtest.h>

#include <windows.h>

#include "CWindow.h"
#include "tests/win/control_host.h"

namespace {

TEST(WindowWrapper, RepaintingThroughAWrapperWithoutAWindowLeavesEveryOtherWindowAlone)
{
    ctltest::TestParent other(100, 60);
    ctltest::PumpMessages();
    ASSERT_TRUE(::ValidateRect(other, nullptr));
    ASSERT_FALSE(::GetUpdateRect(other, nullptr, FALSE));

    const CWindow gone;   // a null handle means the whole desktop to the system
    gone.Invalidate(TRUE);
    EXPECT_FALSE(::GetUpdateRect(other, nullptr, FALSE)) << "Invalidate";

    ::ValidateRect(other, nullptr);
    const RECT part = {0, 0, 10, 10};
    gone.InvalidateRect(&part, TRUE);
    EXPECT_FALSE(::GetUpdateRect(other, nullptr, FALSE)) << "InvalidateRect";
}

}  // namespace
