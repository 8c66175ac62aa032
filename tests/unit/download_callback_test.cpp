// The download callback: interface lookup, and how progress reports move the
// bar of a real progress window and honour the cancel flag.
#include <windows.h>
#include <commctrl.h>
#include <urlmon.h>

#include <gtest/gtest.h>

#include <vector>

#include "config/wizard_choices.h"
#include "download/bind_status_callback.h"
#include "download/download_to_cache.h"
#include "tests/unit/progress_test_support.h"
#include "wizard/progress_window.h"

namespace {

TEST(DownloadCallbackInterface, AnswersOnlyForItsTwoInterfaces) {
    CProgressWindow window;
    CDownloadBindStatusCallback callback(&window);
    struct Case {
        const IID* id;
        HRESULT result;
    } const cases[] = {
        {&IID_IUnknown, S_OK},
        {&IID_IBindStatusCallback, S_OK},
        {&IID_IBinding, E_NOINTERFACE},
        {&IID_IHttpNegotiate, E_NOINTERFACE},
        {&IID_IClassFactory, E_NOINTERFACE},
    };
    ULONG references = 1;
    for (const Case& c : cases) {
        void* object = reinterpret_cast<void*>(1);  // must be overwritten
        EXPECT_EQ(callback.QueryInterface(*c.id, &object), c.result);
        if (c.result == S_OK) {
            ++references;
            EXPECT_EQ(object, static_cast<IBindStatusCallback*>(&callback));
        } else {
            EXPECT_EQ(object, nullptr);
        }
        // AddRef reports the count: each successful lookup added exactly one.
        EXPECT_EQ(callback.AddRef(), references + 1);
        EXPECT_EQ(callback.Release(), references);
    }
    EXPECT_EQ(callback.QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
    EXPECT_EQ(callback.AddRef(), references + 1) << "a refused lookup must not add a reference";
    // Give back what the lookups took, keeping the creator's own reference.
    for (ULONG count = references + 1; count > 1; --count) EXPECT_EQ(callback.Release(), count - 1);
}

struct ReportCall {
    ULONG progress;
    ULONG total;
    ULONG status;
};

class DownloadCallbackProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = WizardChoices;
        WizardChoices.langId = 1033;
        ASSERT_TRUE(window_.Create(GetModuleHandleA(nullptr), nullptr, "Corvane test"));
        dialog_ = window_.GetOwnerWindow();
    }
    void TearDown() override {
        window_.Destroy();
        WizardChoices = saved_;
    }

    CProgressWindow window_;
    HWND dialog_ = nullptr;
    WizardChoicesRecord saved_;
};

TEST_F(DownloadCallbackProgressTest, ReportsMoveTheBarByTheirDifferences) {
    constexpr ULONG kBegin = BINDSTATUS_BEGINDOWNLOADDATA;
    constexpr ULONG kData = BINDSTATUS_DOWNLOADINGDATA;
    constexpr ULONG kEnd = BINDSTATUS_ENDDOWNLOADDATA;
    struct Case {
        const char* name;
        std::vector<ReportCall> reports;
        std::vector<BarCall> bar;
        int position;
    } const cases[] = {
        {"data then end fills the bar to exactly the total",
         {{0, 1000, kBegin}, {300, 1000, kData}, {700, 1000, kData}, {700, 1000, kData},
          {900, 1000, kEnd}},
         {SetRangeCall(1000), SetPosCall(0), DeltaCall(300), DeltaCall(400), DeltaCall(300)},
         1000},
        {"a begin report that carries an amount moves the bar at once",
         {{400, 1000, kBegin}, {1000, 1000, kEnd}},
         {SetRangeCall(1000), SetPosCall(0), DeltaCall(400), DeltaCall(600)},
         1000},
        {"end right after begin",
         {{0, 5000, kBegin}, {5000, 5000, kEnd}},
         {SetRangeCall(5000), SetPosCall(0), DeltaCall(5000)},
         5000},
        {"total 0 gives a bar that cannot move",
         {{0, 0, kBegin}, {500, 0, kData}, {500, 0, kEnd}},
         {SetRangeCall(0), SetPosCall(0), DeltaCall(500), DeltaCall(-500)},
         0},
        {"differences are unsigned 32-bit and wrap past 4 GB",
         {{0, 0, kBegin}, {0x7FFFFFF0, 0, kData}, {0x80000010, 0, kData},
          {0xFFFFFFF0, 0, kData}, {0x10, 0, kData}},
         {SetRangeCall(0), SetPosCall(0), DeltaCall(0x7FFFFFF0), DeltaCall(0x20),
          DeltaCall(0x7FFFFFE0), DeltaCall(0x20)},
         0},
        {"a second begin starts from zero again",
         {{0, 100, kBegin}, {60, 100, kData}, {0, 200, kBegin}, {50, 200, kData}},
         {SetRangeCall(100), SetPosCall(0), DeltaCall(60), SetRangeCall(200), SetPosCall(0),
          DeltaCall(50)},
         50},
        {"other statuses move nothing",
         {{0, 100, BINDSTATUS_FINDINGRESOURCE}, {0, 100, BINDSTATUS_SENDINGREQUEST},
          {10, 100, BINDSTATUS_MIMETYPEAVAILABLE}, {20, 100, BINDSTATUS_CACHEFILENAMEAVAILABLE}},
         {},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window_.SetRange(0);
        CDownloadBindStatusCallback callback(&window_);
        BarRecorder recorder(dialog_);
        const LONG countBefore = DownloadProgressCount;
        size_t moves = 0;
        for (const ReportCall& report : c.reports) {
            EXPECT_EQ(callback.OnProgress(report.progress, report.total, report.status, nullptr),
                      S_OK);
        }
        for (const BarCall& call : c.bar) moves += call.message == PBM_DELTAPOS ? 1 : 0;
        EXPECT_EQ(recorder.calls, c.bar);
        EXPECT_EQ(recorder.Position(), c.position);
        // Every report that moved the bar counts as progress for the wait.
        EXPECT_EQ(static_cast<size_t>(DownloadProgressCount - countBefore), moves);
    }
}

TEST_F(DownloadCallbackProgressTest, AfterCancelDataReportsAbortAndOthersDoNot) {
    struct Case {
        ULONG status;
        HRESULT result;
    } const cases[] = {
        {BINDSTATUS_BEGINDOWNLOADDATA, E_ABORT},
        {BINDSTATUS_DOWNLOADINGDATA, E_ABORT},
        {BINDSTATUS_ENDDOWNLOADDATA, E_ABORT},
        {BINDSTATUS_FINDINGRESOURCE, S_OK},
        {BINDSTATUS_CONNECTING, S_OK},
        {BINDSTATUS_SENDINGREQUEST, S_OK},
        {BINDSTATUS_MIMETYPEAVAILABLE, S_OK},
        {BINDSTATUS_CACHEFILENAMEAVAILABLE, S_OK},
    };
    CDownloadBindStatusCallback callback(&window_);
    EXPECT_EQ(callback.OnProgress(0, 1000, BINDSTATUS_BEGINDOWNLOADDATA, nullptr), S_OK);
    EXPECT_EQ(callback.OnProgress(100, 1000, BINDSTATUS_DOWNLOADINGDATA, nullptr), S_OK);
    window_.RequestCancel();
    for (const Case& c : cases) {
        EXPECT_EQ(callback.OnProgress(200, 1000, c.status, nullptr), c.result) << c.status;
    }
}

TEST_F(DownloadCallbackProgressTest, BeginAfterCancelSetsTheRangeButDoesNotStep) {
    CDownloadBindStatusCallback callback(&window_);
    window_.RequestCancel();
    BarRecorder recorder(dialog_);
    EXPECT_EQ(callback.OnProgress(300, 1000, BINDSTATUS_BEGINDOWNLOADDATA, nullptr), E_ABORT);
    EXPECT_EQ(recorder.calls, (std::vector<BarCall>{SetRangeCall(1000), SetPosCall(0)}));
}

}  // namespace
