// One connection to the print system per print: the queue's state is asked first (a queue
// that is gone or refuses jobs is reported before any page is written), then Create-Job and
// Send-Document with the whole PDF. The connection gives up after a few seconds without an
// answer; a job whose sending fails or is stopped is cancelled and purged on a fresh
// connection, as the old one is left in the middle of a request.
#include "framework/report/cupsqueue.h"

#include "framework/text/errors.h"

#include <cups/cups.h>
#include <sys/socket.h>
#include <algorithm>

namespace report {

namespace {

// A window has no terminal to ask a password on, and libcups's own prompt would read one
// from it: authentication that needs a password fails instead.
const char* noPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

int giveUp(http_t*, void* timedOut) {
    *static_cast<bool*>(timedOut) = true;
    return 0;
}

QString serverText() {
    const char* server = cupsServer();
    return QString::fromUtf8(server ? server : "");
}

struct Failure {
    ipp_status_t status;
    QString text;
    bool timedOut;
};

QString messageFor(const Failure& f, const QString& queue) {
    if (f.timedOut)
        return QStringLiteral("打印系统（CUPS，%1）在 %2 秒内没有应答，打印未完成。")
            .arg(serverText())
            .arg(CupsQueue::kAnswerSeconds);
    switch (f.status) {
        case IPP_STATUS_ERROR_NOT_FOUND:
            return QStringLiteral("打印机“%1”已不存在，请在打印对话框中重新选择打印机。")
                .arg(queue);
        case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
            return CupsQueue::refusingText(queue, f.text);
        case IPP_STATUS_ERROR_FORBIDDEN:
        case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
        case IPP_STATUS_ERROR_NOT_AUTHORIZED:
        case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED:
            return QStringLiteral("没有在打印机“%1”上打印的权限（%2）。").arg(queue, f.text);
        case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
            return QStringLiteral("打印系统（CUPS，%1）未运行或已停止应答，请确认打印服务已启动。")
                .arg(serverText());
        default:
            return QStringLiteral("打印机“%1”拒绝了打印作业：%2").arg(queue, f.text);
    }
}

}  // namespace

std::vector<std::pair<QByteArray, QByteArray>> CupsJobOptions::pairs() const {
    std::vector<std::pair<QByteArray, QByteArray>> out;
    out.emplace_back("copies", QByteArray::number(std::max(1, copies)));
    out.emplace_back("multiple-document-handling", collate
                                                       ? "separate-documents-collated-copies"
                                                       : "separate-documents-uncollated-copies");
    if (!pageRanges.isEmpty())
        out.emplace_back("page-ranges", pageRanges.toLatin1());
    out.emplace_back("media", media.toLatin1());
    out.emplace_back("orientation-requested", landscape ? "4" : "3");
    if (!sides.isEmpty())
        out.emplace_back("sides", sides.toLatin1());
    if (reverse)
        out.emplace_back("outputorder", "reverse");
    for (const auto& option : extra) {
        const bool taken = std::any_of(out.begin(), out.end(), [&](const auto& pair) {
            return pair.first == option.first;
        });
        if (!taken)
            out.emplace_back(option.first, option.second);
    }
    return out;
}

QString CupsQueue::refusingText(const QString& queue, const QString& why) {
    if (why.isEmpty())
        return QStringLiteral("打印机“%1”目前不接受打印作业，请选择其他打印机。").arg(queue);
    return QStringLiteral("打印机“%1”目前不接受打印作业（%2），请选择其他打印机。").arg(queue, why);
}

CupsQueue::CupsQueue(const QString& destination)
    : m_queue(destination.section(QLatin1Char('/'), 0, 0)), m_queueUtf8(m_queue.toUtf8()) {
    cupsSetPasswordCB2(noPassword, nullptr);
    connect();
}

CupsQueue::~CupsQueue() {
    if (m_http)
        httpClose(m_http);
}

void CupsQueue::connect() {
    if (m_http)
        httpClose(m_http);
    m_timedOut = false;
    m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                          kConnectMs, nullptr);
    if (!m_http)
        throw EInvalidOperation(
            QStringLiteral("无法连接打印系统（CUPS，%1），请确认打印服务已启动。")
                .arg(serverText()));
    httpSetTimeout(m_http, kAnswerSeconds, giveUp, &m_timedOut);
}

void CupsQueue::fail() {
    const Failure f{cupsLastError(), QString::fromUtf8(cupsLastErrorString()), m_timedOut};
    throw EInvalidOperation(messageFor(f, m_queue));
}

CupsQueueState CupsQueue::state() {
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", m_queueUtf8.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    static const char* const wanted[] = {"printer-state", "printer-is-accepting-jobs",
                                         "printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr,
                  wanted);
    ipp_t* response = cupsDoRequest(m_http, request, "/");
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        ippDelete(response);
        fail();
    }
    CupsQueueState s;
    if (ipp_attribute_t* a =
            ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN))
        s.accepting = ippGetBoolean(a, 0) != 0;
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM))
        s.stopped = ippGetInteger(a, 0) == IPP_PSTATE_STOPPED;
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT))
        s.message = QString::fromUtf8(ippGetString(a, 0, nullptr));
    ippDelete(response);
    return s;
}

void CupsQueue::cancel(int job) {
    try {
        connect();
        cupsCancelJob2(m_http, m_queueUtf8.constData(), job, 1);
    } catch (const EInvalidOperation&) {
        // The print system is gone: it holds no job of ours that it could still print.
    }
}

int CupsQueue::submit(const QByteArray& pdf, const CupsJobOptions& options,
                      const std::function<bool(qint64, qint64)>& progress) {
    cups_option_t* opts = nullptr;
    int count = 0;
    for (const auto& [name, value] : options.pairs())
        count = cupsAddOption(name.constData(), value.constData(), count, &opts);
    const QByteArray title = options.jobName.toUtf8();
    const int job = cupsCreateJob(m_http, m_queueUtf8.constData(), title.constData(), count, opts);
    cupsFreeOptions(count, opts);
    if (job == 0)
        fail();

    // The failure as it was before cancelling the job overwrites libcups's last error.
    const auto cancelAndFail = [&] {
        const Failure f{cupsLastError(), QString::fromUtf8(cupsLastErrorString()), m_timedOut};
        cancel(job);
        throw EInvalidOperation(messageFor(f, m_queue));
    };
    if (cupsStartDocument(m_http, m_queueUtf8.constData(), job, title.constData(), CUPS_FORMAT_PDF,
                          1) != HTTP_STATUS_CONTINUE)
        cancelAndFail();
    constexpr qint64 kChunk = 256 * 1024;
    const qint64 total = pdf.size();
    for (qint64 sent = 0; sent < total;) {
        const qint64 n = std::min(kChunk, total - sent);
        if (cupsWriteRequestData(m_http, pdf.constData() + sent, static_cast<size_t>(n)) !=
            HTTP_STATUS_CONTINUE)
            cancelAndFail();
        sent += n;
        if (progress && !progress(sent, total)) {
            cancel(job);
            throw EAbort();
        }
    }
    if (cupsFinishDocument(m_http, m_queueUtf8.constData()) != IPP_STATUS_OK)
        cancelAndFail();
    return job;
}

}  // namespace report
