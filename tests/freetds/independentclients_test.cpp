// The loopback test server checked against TDS clients that are not the back end: python-tds
// (pure Python, Debian python3-tds) and tsql (FreeTDS's command-line client, freetds-bin).
// Login, a batch with rows of every type, a remote call with an empty string and an output,
// and a server error. A test whose client is not installed reports itself skipped; a client
// that is installed but does not work fails with its own error. Both run in a UTF-8 locale.
#include "faketdsserver.h"
#include "tests/support/processenv.h"
#include "typecases.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using testtds::FakeTdsServer;
using testtds::Reply;
using testtds::Request;
using testtds::Tokens;

const QString kPython = QStringLiteral("/usr/bin/python3");  // Debian's, where python3-tds lives

Reply answer(const Request& request) {
    Request r = request;
    r.text = r.text.trimmed();  // tsql sends a batch as typed, with its line end
    if (r.text == QStringLiteral("select every type"))
        return Reply::answer(typecases::answer(typecases::nullableCases()));
    if (r.text == QStringLiteral("select not null"))
        return Reply::answer(typecases::answer(typecases::fixedCases()));
    if (r.text == QStringLiteral("select error")) {
        Tokens t;
        t.error(208, 16, QStringLiteral("Invalid object name 'no_such_table'."));
        return Reply::answer(t.done(false, true));
    }
    if (r.rpc) {
        Tokens t;
        t.returnStatus(7);
        t.returnInt(QStringLiteral("@p3"), 2006, 3);
        return Reply::answer(t.done(false, false, true));
    }
    return Reply{};
}

// What Debian's python makes of a module: not there at all, or there and importable, or
// there but failing to import (a dependency its package does not declare), with the error.
struct PythonModule {
    bool found = false;
    bool imports = false;
    QString error;
};

PythonModule pythonModule(const QString& name, const QString& extraPath = {}) {
    PythonModule m;
    if (!QFileInfo::exists(kPython))
        return m;
    QProcess p;
    QProcessEnvironment env = testsupport::utf8Environment();
    if (!extraPath.isEmpty())
        env.insert(QStringLiteral("PYTHONPATH"), extraPath);
    p.setProcessEnvironment(env);
    // find_spec locates a top-level module without running it; exit 3 says it is not there.
    p.start(kPython,
            {QStringLiteral("-c"),
             QStringLiteral("import importlib, importlib.util, sys\n"
                            "if importlib.util.find_spec(sys.argv[1]) is None: sys.exit(3)\n"
                            "importlib.import_module(sys.argv[1])"),
             name});
    if (!p.waitForFinished(20000)) {
        m.found = true;
        m.error = QStringLiteral("python3 did not answer: ") + p.errorString();
        return m;
    }
    m.found = p.exitStatus() != QProcess::NormalExit || p.exitCode() != 3;
    m.imports = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    m.error = QString::fromUtf8(p.readAllStandardError()).trimmed();
    return m;
}

QJsonObject runPytds(const FakeTdsServer& server) {
    QProcess p;
    p.setProcessEnvironment(testsupport::utf8Environment());
    p.start(kPython, {QStringLiteral(EXPORTPNL_TESTS_DIR "/freetds/pytds_client.py"),
                      QString::number(server.port())});
    EXPECT_TRUE(p.waitForFinished(60000));
    const QByteArray out = p.readAllStandardOutput();
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(out).object();
}

void expectRows(const QJsonArray& rows, const std::vector<typecases::Case>& cases, bool nullRow) {
    ASSERT_EQ(rows.size(), nullRow ? 2 : 1);
    const QJsonArray values = rows[0].toArray();
    ASSERT_EQ(values.size(), static_cast<qsizetype>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(values[static_cast<qsizetype>(i)].toString().toStdString(),
                  std::string(cases[i].python))
            << cases[i].what;
        if (nullRow) {
            EXPECT_EQ(rows[1].toArray()[static_cast<qsizetype>(i)].toString(),
                      QStringLiteral("NULL"))
                << cases[i].what;
        }
    }
}

// Before, a module that was found but failed to import was reported as not installed.
TEST(IndependentClients, PythonModuleMissingBrokenOrUsable) {
    if (!QFileInfo::exists(kPython))
        GTEST_SKIP() << "python3 is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile broken(dir.filePath(QStringLiteral("exportpnl_broken.py")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("import exportpnl_undeclared_dependency\n");
    broken.close();
    const struct {
        const char* module;
        bool found, imports;
        const char* error;
    } cases[] = {
        {"exportpnl_not_there", false, false, ""},
        {"exportpnl_broken", true, false, "No module named 'exportpnl_undeclared_dependency'"},
        {"json", true, true, ""},
    };
    for (const auto& c : cases) {
        const PythonModule m = pythonModule(QString::fromLatin1(c.module), dir.path());
        EXPECT_EQ(m.found, c.found) << c.module << ": " << m.error.toStdString();
        EXPECT_EQ(m.imports, c.imports) << c.module << ": " << m.error.toStdString();
        EXPECT_TRUE(m.error.contains(QLatin1String(c.error)))
            << c.module << ": " << m.error.toStdString();
    }
}

TEST(IndependentClients, PythonTdsReadsWhatTheTestServerSends) {
    const PythonModule pytds = pythonModule(QStringLiteral("pytds"));
    if (!pytds.found)
        GTEST_SKIP()
            << "python-tds is not installed (Debian packages python3-tds, python3-pkg-resources)";
    ASSERT_TRUE(pytds.imports) << "python-tds is installed but cannot be imported:\n"
                               << pytds.error.toStdString();
    FakeTdsServer server(answer);
    const QJsonObject out = runPytds(server);
    ASSERT_FALSE(out.isEmpty());
    expectRows(out[QStringLiteral("every")].toArray(), typecases::nullableCases(), true);
    expectRows(out[QStringLiteral("notnull")].toArray(), typecases::fixedCases(), false);

    // The remote call as the server received it: "" is an empty string, not NULL.
    const std::vector<Request> requests = server.requests();
    const auto call =
        std::find_if(requests.begin(), requests.end(), [](const Request& r) { return r.rpc; });
    ASSERT_NE(call, requests.end());
    EXPECT_TRUE(call->text.endsWith(QStringLiteral("CheckInputs"))) << call->text.toStdString();
    ASSERT_EQ(call->params.size(), 4u);
    EXPECT_FALSE(call->params[0].isNull);
    EXPECT_TRUE(call->params[0].data.isEmpty());
    EXPECT_EQ(call->params[1].data, typecases::ucs2(QStringLiteral("0301")));
    EXPECT_EQ(call->params[2].data, typecases::le(2005, call->params[2].data.size()));
    EXPECT_TRUE(call->params[3].output);
    EXPECT_EQ(out[QStringLiteral("outputs")].toArray().last().toString(), QStringLiteral("2006"));
    EXPECT_EQ(out[QStringLiteral("return")].toInt(), 7);
    EXPECT_TRUE(out[QStringLiteral("error")].toString().startsWith(QStringLiteral("208 ")))
        << out[QStringLiteral("error")].toString().toStdString();
}

TEST(IndependentClients, TsqlReadsWhatTheTestServerSends) {
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/tsql")))
        GTEST_SKIP() << "tsql is not installed (Debian package freetds-bin)";
    FakeTdsServer server(answer);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setProcessEnvironment(testsupport::utf8Environment());  // its output's character set
    p.start(QStringLiteral("/usr/bin/tsql"),
            {QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
             QString::number(server.port()), QStringLiteral("-U"), QStringLiteral("sa"),
             QStringLiteral("-P"), QString()});
    p.write("select every type\ngo\nselect not null\ngo\nselect error\ngo\nexit\n");
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(60000)) << "tsql: " << p.errorString().toStdString();
    const QString out = QString::fromUtf8(p.readAll());
    for (const char* text :
         {"-9223372036854775808", "-922337203685477.5808", "1234.5678", "-214748.3648",
          "-9223372036854.75", "-12345.6789", "出口盈亏", "𠀀€出", "EX-€1", "备注", "长文本",
          "9223372036854775807", "922337203685477.5807", "Invalid object name"})
        EXPECT_TRUE(out.contains(QString::fromUtf8(text))) << text << "\n" << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("(2 rows affected)"))) << out.toStdString();
}

}  // namespace
