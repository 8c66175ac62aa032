// CenterWindow against the platform's own window rectangles and work area
// (Wine's user32). Each case sets the work area, makes a hidden top-level
// window of the case's size and compares the origin CenterWindow computes.
#include "wizard/center_window.h"

#include <gtest/gtest.h>

namespace {

// Sets the work area for one case and puts the old one back afterwards, so
// the rest of the test program sees the area it started with.
class ScopedWorkArea {
public:
    explicit ScopedWorkArea(RECT area) : wanted_(area) {
        saved_ = SystemParametersInfoA(SPI_GETWORKAREA, 0, &old_, 0) != FALSE;
        SystemParametersInfoA(SPI_SETWORKAREA, 0, &wanted_, 0);
    }
    ~ScopedWorkArea() {
        if (saved_) SystemParametersInfoA(SPI_SETWORKAREA, 0, &old_, 0);
    }
    ScopedWorkArea(const ScopedWorkArea&) = delete;
    ScopedWorkArea& operator=(const ScopedWorkArea&) = delete;

    bool InEffect() const {
        RECT now = {};
        return SystemParametersInfoA(SPI_GETWORKAREA, 0, &now, 0) && EqualRect(&now, &wanted_);
    }

private:
    RECT wanted_;
    RECT old_ = {};
    bool saved_ = false;
};

// A plain popup: without a caption or sizing frame the platform keeps any
// size, also one larger than the screen.
HWND MakeWindow(int width, int height) {
    return CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

TEST(CenterWindowTest, CentresInTheWorkAreaTruncatingTowardZero) {
    const struct {
        const char* name;
        RECT area;
        int width, height;
        int x, y;
    } cases[] = {
        // A 1024 x 768 screen with a 30-pixel task bar at the bottom.
        {"DialogInTaskbarScreen", {0, 0, 1024, 738}, 414, 302, 305, 218},
        // Wider than the area: the origin lies before the area's start, and
        // -201 / 2 is -100, not the -101 of rounding down.
        {"WiderThanArea", {0, 0, 800, 600}, 1001, 302, -100, 149},
        {"TallerThanArea", {0, 0, 800, 600}, 300, 903, 250, -151},
        // A task bar on the left and one at the top move the area's origin.
        {"AreaNotAtOrigin", {100, 40, 900, 640}, 400, 300, 300, 190},
        {"OddMargins", {0, 0, 801, 601}, 400, 300, 200, 150},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedWorkArea area(c.area);
        ASSERT_TRUE(area.InEffect()) << "the platform did not take the work area";
        HWND window = MakeWindow(c.width, c.height);
        ASSERT_NE(window, nullptr);
        int x = 0, y = 0, width = 0, height = 0;
        EXPECT_TRUE(CenterWindow(window, &x, &y, &width, &height));
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
        DestroyWindow(window);
    }
}

TEST(CenterWindowTest, WindowWithoutRectangleFailsAndLeavesOutputsAlone) {
    HWND destroyed = MakeWindow(100, 100);
    ASSERT_NE(destroyed, nullptr);
    DestroyWindow(destroyed);
    for (HWND window : {static_cast<HWND>(nullptr), destroyed}) {
        int x = 11, y = 22, width = 33, height = 44;
        EXPECT_FALSE(CenterWindow(window, &x, &y, &width, &height));
        EXPECT_EQ(x, 11);
        EXPECT_EQ(y, 22);
        EXPECT_EQ(width, 33);
        EXPECT_EQ(height, 44);
    }
}

}  // namespace
