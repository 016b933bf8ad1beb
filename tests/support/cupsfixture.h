// A print system of the test's own: cupsd started in a temporary folder with its own
// configuration, spool, state and logs, listening only on a socket in that folder; queues
// whose device is a file there, behind a PPD whose filters (pdftopdf) hand PDF on. While it
// lives, libcups in this process (and so Qt's printer list) talks to it and to nothing else;
// it stops cupsd and removes the folder at the end. Job files are kept (PreserveJobFiles), so
// a test reads back the document as submitted beside what the queue produced.
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

class CupsFixture {
public:
    // Starts cupsd; running() false and skipReason() saying why where it cannot.
    CupsFixture();
    ~CupsFixture();
    CupsFixture(const CupsFixture&) = delete;
    CupsFixture& operator=(const CupsFixture&) = delete;

    bool running() const { return m_running; }
    const QString& skipReason() const { return m_skipReason; }
    QString socketPath() const;
    QString folder() const { return m_dir.path(); }

    // A queue writing what its filters produce to output(name).
    void addFileQueue(const QString& name);
    QString output(const QString& name) const;

    // An administration program (lpadmin, cupsdisable, cupsreject, lpstat, ...) against this
    // print system; returns its standard output. Throws std::runtime_error when it fails.
    QString run(const QString& program, const QStringList& args) const;

    // The job's attributes as texts (several values joined by ","); empty when it has none.
    QMap<QString, QString> jobAttributes(int job) const;
    // Waits (at most `ms`) until the job has ended; returns its job-state (9: completed).
    int waitForJob(int job, int ms = 30000) const;
    // The document of job `job` as it was submitted (kept in the spool folder).
    QString submittedDocument(int job) const;
    // Every job the print system knows, pending or ended (lpstat -W all -o).
    QStringList allJobs() const;

    // Stops cupsd now: the print system is then not running.
    void stop();
    // The tail of cupsd's error log, for failure messages.
    QString logTail(int lines = 30) const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_cupsd;
    bool m_running = false;
    QString m_skipReason;
    QByteArray m_previousServer;
    bool m_hadServer = false;
};

}  // namespace testsupport
