#include "hostTestSupport.h"

namespace hosttest {
namespace {

using ProgressWindow = HostTest;

TEST_F(ProgressWindow, ReservedUsedAndReleased) {
    // Unreserved: every call but reserve fails.
    EXPECT_FALSE(MProgressWindow::setProgress(3));
    MStatus st;
    MProgressWindow::isCancelled(&st);
    EXPECT_FALSE(st);
    ASSERT_TRUE(MProgressWindow::reserve());
    EXPECT_FALSE(MProgressWindow::reserve());  // in use
    EXPECT_TRUE(MProgressWindow::setProgressRange(0, 300));
    EXPECT_FALSE(MProgressWindow::setProgressRange(5, 1));
    EXPECT_TRUE(MProgressWindow::setTitle("Precutting.."));
    EXPECT_TRUE(MProgressWindow::setInterruptable(true));
    EXPECT_TRUE(MProgressWindow::startProgress());
    EXPECT_TRUE(MProgressWindow::setProgress(120));
    EXPECT_TRUE(MProgressWindow::advanceProgress(500));
    EXPECT_EQ(MProgressWindow::progress(), 300);  // held to the range
    EXPECT_TRUE(MProgressWindow::setProgressStatus("done..40 %"));
    EXPECT_EQ(MProgressWindow::progressStatus(), "done..40 %");
    EXPECT_EQ(MProgressWindow::title(), "Precutting..");
    EXPECT_FALSE(MProgressWindow::isCancelled());
    EXPECT_TRUE(MProgressWindow::endProgress());
    EXPECT_FALSE(MProgressWindow::endProgress());
    EXPECT_TRUE(MProgressWindow::reserve());
}

TEST_F(ProgressWindow, ScriptedCancelAndInjectedFailure) {
    ASSERT_TRUE(mel("hostOption -cancelProgressAfter 2"));
    ASSERT_TRUE(MProgressWindow::reserve());
    MProgressWindow::startProgress();
    EXPECT_FALSE(MProgressWindow::isCancelled());  // not interruptable: never asked
    MProgressWindow::setInterruptable(true);
    MProgressWindow::startProgress();
    EXPECT_FALSE(MProgressWindow::isCancelled());
    EXPECT_FALSE(MProgressWindow::isCancelled());
    EXPECT_TRUE(MProgressWindow::isCancelled());
    EXPECT_TRUE(MProgressWindow::isCancelled());

    ASSERT_TRUE(mel("hostOption -failProgressCall setProgress"));
    EXPECT_FALSE(MProgressWindow::setProgress(1));
    EXPECT_TRUE(MProgressWindow::advanceProgress(1));
    ASSERT_TRUE(mel("hostOption -failProgressCall reserve"));
    MProgressWindow::endProgress();
    EXPECT_FALSE(MProgressWindow::reserve());
}

}  // namespace
}  // namespace hosttest
