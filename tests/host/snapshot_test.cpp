// mis-host run headless against a freshly built demo server, as the README's demo runs it:
// it must leave a picture of the statement window and the report as PDF, and report a
// start-up failure on stderr with a failing exit code.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int code;
    QString err;
};

Outcome run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start();
    if (!p.waitForFinished(300000))
        return {-1, QStringLiteral("timed out")};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardError())};
}

class Snapshot : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const Outcome demo = run(QStringLiteral(EXPORTPNL_SERVER_TOOL),
                             {QStringLiteral("create-demo"), dir.filePath(QStringLiteral("server")),
                              QStringLiteral("--shipments"), QStringLiteral("120"), QStringLiteral("--clock"),
                              QStringLiteral("2024-03-15 09:41:07")});
        ASSERT_EQ(demo.code, 0) << demo.err.toStdString();
        const Outcome params = run(QStringLiteral(EXPORTPNL_MIS_HOST),
                               {QStringLiteral("--write-demo-params"), ini(), dir.filePath(QStringLiteral("server"))});
        ASSERT_EQ(params.code, 0) << params.err.toStdString();
    }
    QString ini() const { return dir.filePath(QStringLiteral("host.ini")); }
    QTemporaryDir dir;
};

TEST_F(Snapshot, WritesTheWindowPictureAndTheReport) {
    const QString out = dir.filePath(QStringLiteral("out"));
    const Outcome r = run(QStringLiteral(EXPORTPNL_MIS_HOST), {QStringLiteral("--snapshot"), out, ini()});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("mis-host:"))) << r.err.toStdString();

    const QImage picture(QDir(out).filePath(QStringLiteral("window.png")));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(1280, 800));
    EXPECT_NE(picture.pixel(5, 5), picture.pixel(640, 400));  // something was drawn

    QFile pdf(QDir(out).filePath(QStringLiteral("report.pdf")));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5).startsWith("%PDF-"));
    EXPECT_GT(pdf.size(), 1000);
}

TEST_F(Snapshot, StartUpFailureFailsTheRunWithTheErrorOnStderr) {
    QFile f(ini());
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("BusinessDbName=NoSuchBusiness\n");  // a later line wins
    f.close();
    const QString out = dir.filePath(QStringLiteral("out"));
    const Outcome r = run(QStringLiteral(EXPORTPNL_MIS_HOST), {QStringLiteral("--snapshot"), out, ini()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("NoSuchBusiness"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(out).filePath(QStringLiteral("window.png"))));
}

TEST_F(Snapshot, MissingPlugInIsReported) {
    const Outcome r = run(QStringLiteral(EXPORTPNL_MIS_HOST),
                      {QStringLiteral("--plugin"), dir.filePath(QStringLiteral("nothere.so")),
                       QStringLiteral("--snapshot"), dir.filePath(QStringLiteral("out")), ini()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Cannot load the plug-in"))) << r.err.toStdString();
}

}  // namespace
