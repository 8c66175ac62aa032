// The progress window on a real dialog: texts, cancel flag, the Cancel
// question and the stall watch. Timer ticks are sent directly, so the stall
// question's 31 seconds take no time here; the real timer is covered by the
// end-to-end tests.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "config/wizard_choices.h"
#include "download/download_to_cache.h"
#include "res/resource.h"
#include "tests/unit/progress_test_support.h"
#include "wizard/progress_window.h"

namespace {

std::string ControlText(HWND dialog, int id) {
    char text[2048] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::wstring ControlTextW(HWND dialog, int id) {
    wchar_t text[256] = {};
    GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

void Tick(HWND dialog, int count) {
    for (int i = 0; i < count; ++i) SendMessageA(dialog, WM_TIMER, 1, 0);
}

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = WizardChoices;
        savedResult_ = DownloadResult;
        WizardChoices.langId = 1033;
        WizardChoices.moduleInstance = GetModuleHandleA(nullptr);
    }
    void TearDown() override {
        window_.Destroy();
        WizardChoices = saved_;
        DownloadResult = savedResult_;
    }

    HWND Create(const char* title = "Corvane test") {
        EXPECT_TRUE(window_.Create(GetModuleHandleA(nullptr), nullptr, title));
        return window_.GetOwnerWindow();
    }

    // Moves the bar away from the position the stall watch last recorded and
    // lets one tick see it, so the count starts from 0 whatever ran before.
    void StartStallWatch(HWND dialog) {
        window_.SetRange(1000);
        window_.Step(StallLastPosition == 1 ? 2 : 1);
        Tick(dialog, 1);
        ASSERT_EQ(StallTickCount, 0);
    }

    CProgressWindow window_;
    WizardChoicesRecord saved_;
    HRESULT savedResult_;
};

TEST_F(ProgressWindowTest, WithoutDialogTextsReportMinusOneAndNothingOwnsMessages) {
    EXPECT_EQ(window_.SetBanner("banner"), -1);
    EXPECT_EQ(window_.SetActionText("action"), -1);
    EXPECT_EQ(window_.GetOwnerWindow(), nullptr);
    EXPECT_FALSE(window_.IsCancelled());
}

TEST_F(ProgressWindowTest, FailedCreateLeavesNoDialogAndOwnerStillOwnsMessages) {
    // kernel32 carries no dialog 1103, so the dialog cannot be created.
    HWND someOwner = GetDesktopWindow();
    ProgressDialogHandle = reinterpret_cast<HWND>(1);
    EXPECT_FALSE(window_.Create(GetModuleHandleA("kernel32.dll"), someOwner, "title"));
    EXPECT_EQ(ProgressDialogHandle, nullptr);
    EXPECT_EQ(window_.GetOwnerWindow(), someOwner);
    EXPECT_EQ(window_.SetBanner("banner"), -1);
    EXPECT_EQ(window_.SetActionText("action"), -1);
    window_.SetRange(100);  // no dialog: nothing to move, nothing to crash
    window_.Step(10);
}

TEST_F(ProgressWindowTest, CreateShowsCentredDialogWithCancelTextOfTheLanguage) {
    struct Case {
        WORD langId;
        const wchar_t* cancel;
    } const cases[] = {
        {1033, L"Cancel"},
        {1031, L"Abbrechen"},
        {1036, L"Annuler"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.langId);
        WizardChoices.langId = c.langId;
        HWND dialog = Create("Corvane setup");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(ProgressDialogHandle, dialog);
        EXPECT_TRUE(IsWindowVisible(dialog));
        char caption[64] = {};
        GetWindowTextA(dialog, caption, sizeof caption);
        EXPECT_STREQ(caption, "Corvane setup");
        EXPECT_EQ(ControlTextW(dialog, IDC_PROGRESS_CANCEL), c.cancel);
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_PROGRESS_BAR)));

        RECT frame, area;
        GetWindowRect(dialog, &frame);
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        EXPECT_LE(abs((frame.left + frame.right) - (area.left + area.right)), 1);
        EXPECT_LE(abs((frame.top + frame.bottom) - (area.top + area.bottom)), 1);
        window_.Destroy();
    }
}

TEST_F(ProgressWindowTest, TitleLongerThanTheBufferIsCut) {
    struct Case {
        size_t length;
        size_t shown;
    } const cases[] = {{0, 0}, {1023, 1023}, {1024, 1023}, {5000, 1023}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string title(c.length, 'x');
        if (c.length > 0) title[0] = 'A';
        HWND dialog = Create(title.c_str());
        ASSERT_NE(dialog, nullptr);
        char caption[6000] = {};
        GetWindowTextA(dialog, caption, sizeof caption);
        EXPECT_EQ(std::string(caption), title.substr(0, c.shown));
        window_.Destroy();
    }
}

TEST_F(ProgressWindowTest, AfterConfirmedCancelTextsStayButTheBarStillMoves) {
    HWND dialog = Create();
    EXPECT_EQ(window_.SetBanner("Fetching Corvane"), 0);
    EXPECT_EQ(window_.SetActionText("Downloading"), 0);
    EXPECT_EQ(ControlText(dialog, IDC_PROGRESS_BANNER), "Fetching Corvane");
    EXPECT_EQ(ControlText(dialog, IDC_PROGRESS_ACTION), "Downloading");

    window_.RequestCancel();
    window_.RequestCancel();  // a second request changes nothing
    EXPECT_TRUE(window_.IsCancelled());
    EXPECT_EQ(window_.SetBanner("other banner"), 1);
    EXPECT_EQ(window_.SetActionText("other action"), 1);
    EXPECT_EQ(ControlText(dialog, IDC_PROGRESS_BANNER), "Fetching Corvane");
    EXPECT_EQ(ControlText(dialog, IDC_PROGRESS_ACTION), "Downloading");

    window_.SetRange(500);
    window_.Step(120);
    window_.Step(80);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 200);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, 0), 500);
    window_.SetRange(300);  // a new range starts the bar again
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 0);
}

TEST_F(ProgressWindowTest, DestroyForgetsDialogAndCancelButKeepsHandleCopy) {
    HWND dialog = Create();
    window_.RequestCancel();
    EXPECT_TRUE(window_.Destroy());
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(window_.GetOwnerWindow(), nullptr);
    EXPECT_FALSE(window_.IsCancelled());
    EXPECT_EQ(window_.SetBanner("banner"), -1);
    EXPECT_EQ(ProgressDialogHandle, dialog);
    EXPECT_TRUE(window_.Destroy());  // a second Destroy is harmless
}

TEST_F(ProgressWindowTest, CancelQuestionInTheChosenLanguageSetsTheFlagOnlyOnYes) {
    struct Case {
        WORD langId;
        int answer;
        bool cancelled;
        const wchar_t* caption;
        const wchar_t* text;
    } const cases[] = {
        {1033, IDNO, false, L"Confirmation", L"Are you sure you want to cancel downloading?"},
        {1033, IDYES, true, L"Confirmation", L"Are you sure you want to cancel downloading?"},
        // Shown in UTF-16, so the text does not depend on the ANSI code page.
        {1041, IDYES, true, L"\x78ba\x8a8d",
         L"\x30c0\x30a6\x30f3\x30ed\x30fc\x30c9\x3092\x30ad\x30e3\x30f3\x30bb\x30eb\x3057\x3066"
         L"\x3082\x3088\x308d\x3057\x3044\x3067\x3059\x304b?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.langId << " answer " << c.answer);
        WizardChoices.langId = c.langId;
        HWND dialog = Create();
        BoxAnswerer answerer(dialog, std::vector<int>{c.answer});
        EXPECT_EQ(CProgressWindow::ProgressDialogProc(dialog, WM_COMMAND, IDC_PROGRESS_CANCEL, 0),
                  TRUE);
        std::vector<SeenBox> boxes = answerer.Stop();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, c.caption);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(window_.IsCancelled(), c.cancelled);
        EXPECT_FALSE(PromptShowing);
        window_.Destroy();
    }
}

TEST_F(ProgressWindowTest, OtherCommandsAskNothing) {
    HWND dialog = Create();
    const WPARAM commands[] = {
        MAKEWPARAM(IDC_PROGRESS_CANCEL, BN_SETFOCUS),  // not a click
        MAKEWPARAM(IDC_PROGRESS_CANCEL, BN_KILLFOCUS),
        IDOK,      // Enter
        IDCANCEL,  // Esc
        IDC_PROGRESS_BAR,
    };
    BoxAnswerer answerer(dialog, std::vector<int>{});
    for (WPARAM command : commands) {
        EXPECT_EQ(CProgressWindow::ProgressDialogProc(dialog, WM_COMMAND, command, 0), FALSE)
            << command;
    }
    EXPECT_EQ(answerer.Stop().size(), 0u);
    EXPECT_FALSE(window_.IsCancelled());
}

TEST_F(ProgressWindowTest, StallQuestionOnThe31stStillTickAgainAfterNoAndYesGivesUp) {
    HWND dialog = Create();
    StartStallWatch(dialog);
    BoxAnswerer answerer(dialog, std::vector<int>{IDNO, IDNO, IDYES});
    DownloadResult = S_OK;

    Tick(dialog, 30);
    EXPECT_EQ(answerer.Count(), 0u) << "asked before the 31st tick";
    Tick(dialog, 1);
    EXPECT_EQ(answerer.Count(), 1u);
    EXPECT_EQ(DownloadResult, S_OK) << "No must not end the download";
    Tick(dialog, 1);
    EXPECT_EQ(answerer.Count(), 2u) << "No must ask again on the next still tick";
    Tick(dialog, 1);
    std::vector<SeenBox> boxes = answerer.Stop();
    ASSERT_EQ(boxes.size(), 3u);
    for (const SeenBox& box : boxes) {
        EXPECT_EQ(box.caption, L"Confirmation");
        EXPECT_EQ(box.text, L"Server is not responding. Do you want to cancel downloading?");
    }

    EXPECT_EQ(DownloadResult, E_FAIL);
    EXPECT_FALSE(window_.IsCancelled()) << "giving up on a stall is not the user's cancel";
    MSG end;
    EXPECT_TRUE(PeekMessageA(&end, dialog, WM_USER, WM_USER, PM_REMOVE))
        << "Yes must post the end of the wait";
    EXPECT_FALSE(PromptShowing);
}

TEST_F(ProgressWindowTest, MovementStartsTheStallCountAgain) {
    HWND dialog = Create();
    StartStallWatch(dialog);
    BoxAnswerer answerer(dialog, std::vector<int>{IDNO});
    Tick(dialog, 25);
    window_.Step(5);
    Tick(dialog, 1);  // sees the move
    Tick(dialog, 30);
    EXPECT_EQ(answerer.Count(), 0u);
    Tick(dialog, 1);
    EXPECT_EQ(answerer.Stop().size(), 1u);
}

TEST_F(ProgressWindowTest, TicksAndCancelClicksDuringAQuestionAreIgnored) {
    HWND dialog = Create();
    StartStallWatch(dialog);
    // While the Cancel question is open, 40 ticks and another Cancel click
    // arrive through the question's own message loop.
    BoxAnswerer answerer(dialog, [dialog](HWND, size_t index) {
        if (index == 0) {
            PostMessageA(dialog, WM_COMMAND, IDC_PROGRESS_CANCEL, 0);
            for (int i = 0; i < 40; ++i) PostMessageA(dialog, WM_TIMER, 1, 0);
            Sleep(300);
        }
        return IDNO;
    });
    CProgressWindow::ProgressDialogProc(dialog, WM_COMMAND, IDC_PROGRESS_CANCEL, 0);
    EXPECT_EQ(answerer.Count(), 1u) << "a second question opened inside the first";
    Tick(dialog, 30);
    EXPECT_EQ(answerer.Count(), 1u) << "ticks during the question were counted";
    Tick(dialog, 1);
    EXPECT_EQ(answerer.Stop().size(), 2u);
    EXPECT_FALSE(window_.IsCancelled());
}

}  // namespace
