#include "cupsfixture.h"

#include <cups/cups.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <stdexcept>

namespace testsupport {

namespace {

// A PDF printer: pdftopdf applies page ranges, copies and orientation, and its PDF goes to
// the device as it is (ManualCopies: the copies are in the produced file).
const char kPpd[] = R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "TESTPDF.PPD"
*Manufacturer: "Test"
*Product: "(PDF file)"
*ModelName: "Test PDF file printer"
*ShortNickName: "Test PDF file printer"
*NickName: "Test PDF file printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsManualCopies: True
*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageSize Letter/Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageRegion Letter/Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*ImageableArea Letter/Letter: "0 0 612 792"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension Letter/Letter: "612 792"
)PPD";

void writeFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

bool answers(const QByteArray& socket) {
    http_t* http = httpConnect2(socket.constData(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1,
                                500, nullptr);
    if (!http)
        return false;
    httpClose(http);
    return true;
}

}  // namespace

CupsFixture::CupsFixture() {
    const QString cupsd = QStandardPaths::findExecutable(
        QStringLiteral("cupsd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (cupsd.isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("lpadmin"), {QStringLiteral("/usr/sbin")})
            .isEmpty()) {
        m_skipReason =
            QStringLiteral("cupsd or lpadmin not installed (Debian packages cups, cups-client)");
        return;
    }
    if (!m_dir.isValid() || socketPath().toUtf8().size() >= 100) {
        m_skipReason = QStringLiteral("no short temporary folder for cupsd's socket");
        return;
    }
    // Run as root, cupsd runs the filters as lp, who must reach the spool and the PPD.
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::ExeOther);
    const QDir d(m_dir.path());
    for (const char* sub : {"spool", "spool/tmp", "cache", "state", "log", "out"})
        d.mkpath(QString::fromLatin1(sub));
    const QByteArray root = m_dir.path().toUtf8();
    writeFile(d.filePath(QStringLiteral("cups-files.conf")),
              "ServerRoot " + root + "\nRequestRoot " + root + "/spool\nTempDir " + root +
                  "/spool/tmp\nCacheDir " + root + "/cache\nStateDir " + root +
                  "/state\nErrorLog " + root + "/log/error_log\nAccessLog " + root +
                  "/log/access_log\nPageLog " + root +
                  "/log/page_log\nFileDevice Yes\nSystemGroup root\n");
    // Everything allowed to everyone on a socket nobody else knows of; a job asking for more
    // than 99 copies is refused, as a real queue may refuse one.
    writeFile(d.filePath(QStringLiteral("cupsd.conf")),
              "Listen " + socketPath().toUtf8() +
                  "\nLogLevel info\nPreserveJobFiles Yes\nPreserveJobHistory Yes\nMaxCopies 99\n"
                  "Browsing No\nWebInterface No\nDefaultAuthType None\n"
                  "<Policy default>\n  JobPrivateAccess all\n  JobPrivateValues none\n"
                  "  SubscriptionPrivateAccess all\n  SubscriptionPrivateValues none\n"
                  "  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n</Policy>\n"
                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
    writeFile(d.filePath(QStringLiteral("test-pdf.ppd")), kPpd);

    m_cupsd = std::make_unique<QProcess>();
    m_cupsd->setProcessChannelMode(QProcess::MergedChannels);
    // cupsd ends with the test program, however that ends.
    m_cupsd->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_cupsd->start(cupsd, {QStringLiteral("-f"), QStringLiteral("-c"),
                           d.filePath(QStringLiteral("cupsd.conf")), QStringLiteral("-s"),
                           d.filePath(QStringLiteral("cups-files.conf"))});
    if (!m_cupsd->waitForStarted(5000)) {
        m_skipReason = QStringLiteral("cupsd did not start: ") + m_cupsd->errorString();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    const QByteArray socket = socketPath().toUtf8();
    while (!answers(socket)) {
        if (m_cupsd->state() != QProcess::Running || clock.elapsed() > 10000) {
            m_skipReason = QStringLiteral("cupsd did not come up: ") +
                           QString::fromUtf8(m_cupsd->readAll()) + logTail(10);
            stop();
            return;
        }
        QThread::msleep(50);
    }
    m_hadServer = qEnvironmentVariableIsSet("CUPS_SERVER");
    m_previousServer = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", socket);
    cupsSetServer(socket.constData());
    m_running = true;
}

CupsFixture::~CupsFixture() {
    stop();
    if (m_running) {
        if (m_hadServer)
            qputenv("CUPS_SERVER", m_previousServer);
        else
            qunsetenv("CUPS_SERVER");
        cupsSetServer(nullptr);
    }
}

QString CupsFixture::socketPath() const {
    return m_dir.filePath(QStringLiteral("cups.sock"));
}

void CupsFixture::stop() {
    if (!m_cupsd || m_cupsd->state() == QProcess::NotRunning)
        return;
    m_cupsd->terminate();
    if (!m_cupsd->waitForFinished(10000)) {
        m_cupsd->kill();
        m_cupsd->waitForFinished(5000);
    }
}

QString CupsFixture::run(const QString& program, const QStringList& args) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), socketPath());
    p.setProcessEnvironment(env);
    const QString path = QStandardPaths::findExecutable(
        program, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    p.start(path.isEmpty() ? program : path, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error((program + QLatin1Char(' ') + args.join(QLatin1Char(' ')) +
                                  QStringLiteral(" failed: ") +
                                  QString::fromUtf8(p.readAllStandardError()))
                                     .toStdString());
    return QString::fromUtf8(p.readAllStandardOutput());
}

void CupsFixture::addFileQueue(const QString& name) {
    run(QStringLiteral("lpadmin"),
        {QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
         QStringLiteral("file:") + output(name), QStringLiteral("-P"),
         m_dir.filePath(QStringLiteral("test-pdf.ppd"))});
}

QString CupsFixture::output(const QString& name) const {
    return m_dir.filePath(QStringLiteral("out/") + name + QStringLiteral(".pdf"));
}

QMap<QString, QString> CupsFixture::jobAttributes(int job) const {
    QMap<QString, QString> out;
    http_t* http = httpConnect2(socketPath().toUtf8().constData(), 0, nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_NEVER, 1, 3000, nullptr);
    if (!http)
        return out;
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 631,
                     "/jobs/%d", job);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "all");
    ipp_t* response = cupsDoRequest(http, request, "/");
    if (response && cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE) {
        for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
            if (!ippGetName(a) || ippGetGroupTag(a) != IPP_TAG_JOB)
                continue;
            char value[2048];
            ippAttributeString(a, value, sizeof value);
            out.insert(QString::fromUtf8(ippGetName(a)), QString::fromUtf8(value));
        }
    }
    ippDelete(response);
    httpClose(http);
    return out;
}

int CupsFixture::waitForJob(int job, int ms) const {
    QElapsedTimer clock;
    clock.start();
    int state = 0;
    do {
        state = jobAttributes(job).value(QStringLiteral("job-state")).toInt();
        if (state == 0)  // given as a keyword
            state = ippEnumValue("job-state",
                                 jobAttributes(job).value(QStringLiteral("job-state")).toUtf8());
        if (state >= IPP_JSTATE_CANCELED)
            return state;
        QThread::msleep(100);
    } while (clock.elapsed() < ms);
    return state;
}

QString CupsFixture::submittedDocument(int job) const {
    return m_dir.filePath(QStringLiteral("spool/d%1-001").arg(job, 5, 10, QLatin1Char('0')));
}

QStringList CupsFixture::allJobs() const {
    return run(QStringLiteral("lpstat"),
               {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o")})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString CupsFixture::logTail(int lines) const {
    QFile f(m_dir.filePath(QStringLiteral("log/error_log")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QStringList all = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    return all.mid(std::max<qsizetype>(0, all.size() - lines)).join(QLatin1Char('\n'));
}

}  // namespace testsupport
