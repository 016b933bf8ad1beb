// The event boundary and the message presenter: what the user would read for each kind of
// failure, and that a silent abort shows nothing.
#include "framework/ui/boundary.h"
#include "framework/text/errors.h"
#include "framework/ui/application.h"
#include "framework/ui/messages.h"

#include <gtest/gtest.h>
#include <QString>
#include <functional>
#include <stdexcept>

namespace {

class Boundary : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::instance().SetTitle(QStringLiteral("样品公司--出口盈亏表"));
        m_previous = ui::setMessagePresenter(&recorder);
    }
    void TearDown() override { ui::setMessagePresenter(m_previous); }
    ui::RecordingPresenter recorder;

private:
    ui::MessagePresenter* m_previous = nullptr;
};

struct FailureCase {
    const char* name;
    std::function<void()> body;
    bool shown;
    QString text;
};

TEST_F(Boundary, EachFailureEndsTheHandlerAndIsShownAsTheErrorBoxUnlessAborted) {
    const FailureCase cases[] = {
        {"database error keeps the server's text",
         [] { throw EDatabaseError(QStringLiteral("Database 'Calvesteri' does not exist")); }, true,
         QStringLiteral("Database 'Calvesteri' does not exist")},
        {"conversion error",
         [] { throw EConvertError(QStringLiteral("'1x' is not a valid integer value")); }, true,
         QStringLiteral("'1x' is not a valid integer value")},
        {"Chinese text survives", [] { throw EInvalidOperation(QStringLiteral("无法打开表")); },
         true, QStringLiteral("无法打开表")},
        {"foreign std exception", [] { throw std::runtime_error("bad_alloc-like failure"); }, true,
         QStringLiteral("bad_alloc-like failure")},
        {"silent abort shows nothing", [] { throw EAbort(); }, false, QString()},
    };
    for (const FailureCase& c : cases) {
        recorder.shown.clear();
        EXPECT_FALSE(ui::guarded(c.body)) << c.name;
        if (!c.shown) {
            EXPECT_TRUE(recorder.shown.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(recorder.shown.size(), 1u) << c.name;
        EXPECT_EQ(recorder.shown[0].kind, ui::BoxKind::Error) << c.name;
        EXPECT_EQ(recorder.shown[0].caption, QStringLiteral("样品公司--出口盈亏表")) << c.name;
        EXPECT_EQ(recorder.shown[0].text, c.text) << c.name;
    }
}

TEST_F(Boundary, ABodyThatSucceedsRunsOnceAndShowsNothing) {
    int runs = 0;
    EXPECT_TRUE(ui::guarded([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(recorder.shown.empty());
}

TEST_F(Boundary, WorkBeforeTheFailureStaysDone) {
    QString log;
    ui::guarded([&] {
        log += QStringLiteral("a");
        throw EDatabaseError(QStringLiteral("x"));
    });
    EXPECT_EQ(log, QStringLiteral("a"));
}

TEST_F(Boundary, OwnMessageIsPlainWithTheApplicationTitle) {
    ui::ShowMessage(QStringLiteral("用户无足够权限!"));
    ASSERT_EQ(recorder.shown.size(), 1u);
    EXPECT_EQ(recorder.shown[0].kind, ui::BoxKind::Message);
    EXPECT_EQ(recorder.shown[0].caption, QStringLiteral("样品公司--出口盈亏表"));
    EXPECT_EQ(recorder.shown[0].text, QStringLiteral("用户无足够权限!"));
}

TEST_F(Boundary, ReplacingThePresenterHandsBackThePreviousOne) {
    ui::RecordingPresenter other;
    EXPECT_EQ(ui::setMessagePresenter(&other), &recorder);
    ui::ShowError(QStringLiteral("e"));
    EXPECT_TRUE(recorder.shown.empty());
    EXPECT_EQ(other.shown.size(), 1u);
    EXPECT_EQ(ui::setMessagePresenter(&recorder), &other);
}

}  // namespace
