// Runtime folders and displays. Without XDG_RUNTIME_DIR, mis-host and the test programs make
// a private runtime folder and remove it however they end; Qt's own fallback,
// /tmp/runtime-<user>, stays behind. mis-host without a display says so and points to
// --snapshot instead of aborting inside Qt. Each run gets a TMPDIR of its own, which must be
// empty afterwards.
#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct Outcome {
    bool finished;  // exited on its own, neither crashed nor timed out
    int code;
    QString err;
};

// Runs program with no runtime folder and no display named, TMPDIR set to tmp.
Outcome run(const QString& program, const QStringList& args, const QString& tmp,
            const QStringList& extraEnv = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("TMPDIR"), tmp);
    for (const QString& setting : extraEnv)
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    const bool finished = p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit;
    return {finished, p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

QStringList leftIn(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

class MisHostRuntime : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid() && tmp.isValid());
        const QString server = work.filePath(QStringLiteral("server"));
        Outcome r = run(QStringLiteral(EXPORTPNL_SERVER_TOOL),
                        {QStringLiteral("create-demo"), server, QStringLiteral("--shipments"),
                         QStringLiteral("60"), QStringLiteral("--clock"),
                         QStringLiteral("2024-03-15 09:41:07")},
                        tmp.path());
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        r = run(QStringLiteral(EXPORTPNL_MIS_HOST),
                {QStringLiteral("--write-demo-params"), ini(), server}, tmp.path());
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }
    QString ini() const { return work.filePath(QStringLiteral("host.ini")); }
    QTemporaryDir work;
    QTemporaryDir tmp;
};

TEST_F(MisHostRuntime, WindowWithoutDisplayPointsToSnapshot) {
    // Before, Qt aborted (exit code 134) and left its temporary runtime folder behind.
    const struct {
        const char* what;
        QStringList args;
        QStringList env;
    } cases[] = {
        {"--open, nothing named", {QStringLiteral("--open"), ini()}, {}},
        {"host window, nothing named", {ini()}, {}},
        {"--open, a display that is not there",
         {QStringLiteral("--open"), ini()},
         {QStringLiteral("DISPLAY=:4711")}},
    };
    for (const auto& c : cases) {
        const Outcome r = run(QStringLiteral(EXPORTPNL_MIS_HOST), c.args, tmp.path(), c.env);
        EXPECT_TRUE(r.finished) << c.what << "\n" << r.err.toStdString();
        EXPECT_EQ(r.code, 1) << c.what << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("--snapshot DIR PARAMS.ini")))
            << c.what << "\n"
            << r.err.toStdString();
        EXPECT_EQ(leftIn(tmp.path()), QStringList()) << c.what;
    }
}

TEST_F(MisHostRuntime, SnapshotRemovesItsRuntimeFolder) {
    const Outcome r = run(
        QStringLiteral(EXPORTPNL_MIS_HOST),
        {QStringLiteral("--snapshot"), work.filePath(QStringLiteral("out")), ini()}, tmp.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("XDG_RUNTIME_DIR"))) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(work.filePath(QStringLiteral("out/window.png"))));
    EXPECT_EQ(leftIn(tmp.path()), QStringList());
}

// Run on its own by the next test, and by CTest like any other.
TEST(TestProgramRuntime, QtUsesAPrivateFolder) {
    int argc = 1;
    char name[] = "runtime";
    char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication app(argc, argv);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    EXPECT_EQ(folder, qEnvironmentVariable("XDG_RUNTIME_DIR"));
    const QFileInfo info(folder);
    EXPECT_TRUE(info.isDir()) << folder.toStdString();
    EXPECT_EQ(info.ownerId(), getuid()) << folder.toStdString();
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(info.permissions() & (owner | others), owner) << folder.toStdString();
}

TEST(TestProgramRuntime, LeavesNoFolderBehind) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const Outcome r =
        run(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
            {QStringLiteral("--gtest_filter=TestProgramRuntime.QtUsesAPrivateFolder")}, tmp.path());
    EXPECT_TRUE(r.finished && r.code == 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("XDG_RUNTIME_DIR"))) << r.err.toStdString();
    EXPECT_EQ(leftIn(tmp.path()), QStringList());
}

}  // namespace
