// A print queue of the CUPS print system, reached through libcups: its state, and one job of
// one PDF document with the job options given. Every request has short time limits, so a
// print system that is down or does not answer is reported within seconds; failures are
// EInvalidOperation with a Chinese text for the user.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

typedef struct _http_s http_t;

namespace report {

// The job template of one print: what the print dialog chose and the layout needs.
struct CupsJobOptions {
    QString jobName;
    int copies = 1;
    bool collate = true;
    QString pageRanges;  // "1-3,5"; empty: every page
    bool landscape = false;
    QString media = QStringLiteral("iso_a4_210x297mm");
    QString sides;         // "two-sided-long-edge" etc.; empty: the queue's default
    bool reverse = false;  // last page first
    // Further options as the dialog keeps them (page set, hold, banners), sent as given
    // unless one of the above already names them.
    std::vector<std::pair<QByteArray, QByteArray>> extra;

    // name=value pairs in the order sent.
    std::vector<std::pair<QByteArray, QByteArray>> pairs() const;
};

struct CupsQueueState {
    bool accepting = true;  // printer-is-accepting-jobs
    bool stopped = false;   // printer-state stopped: jobs wait until it is resumed
    QString message;        // printer-state-message, often empty
};

class CupsQueue {
public:
    // Connects to the print system libcups is set up for (CUPS_SERVER, client.conf or the
    // local one). `destination` is a queue name as the print dialog gives it ("name" or
    // "name/instance"). Throws when the print system cannot be reached.
    explicit CupsQueue(const QString& destination);
    ~CupsQueue();
    CupsQueue(const CupsQueue&) = delete;
    CupsQueue& operator=(const CupsQueue&) = delete;

    const QString& name() const { return m_queue; }
    // What the user reads about a queue that refuses jobs; `why` is the queue's own text.
    static QString refusingText(const QString& queue, const QString& why);

    // Throws when the queue does not exist (any more) or the print system fails to answer.
    CupsQueueState state();

    // Creates a job, sends `pdf` as its one document and returns the job's id. `progress`
    // hears (bytes sent, bytes in all) and may return false to stop: the job is then
    // cancelled and purged, so that none is left behind, and EAbort is thrown.
    int submit(const QByteArray& pdf, const CupsJobOptions& options,
               const std::function<bool(qint64, qint64)>& progress = {});

    static constexpr int kConnectMs = 3000;
    static constexpr double kAnswerSeconds = 4.0;

private:
    void connect();
    [[noreturn]] void fail();  // with libcups's last error
    void cancel(int job);

    QString m_queue;
    QByteArray m_queueUtf8;
    http_t* m_http = nullptr;
    bool m_timedOut = false;
};

}  // namespace report
