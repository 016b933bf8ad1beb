// A small filesystem of the test's own, to fill up: a tmpfs mounted on a temporary folder.
// Root mounts it directly; any other user runs the test again inside a user and mount
// namespace of its own (`unshare -rm`), where it may mount one too. Tests write there to see
// what a full disk does to a file and to the file it was meant to replace.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Opens a test that needs a small filesystem: goes on where mounts work, else returns once
// the namespaced copy has run (or skips with the reason).
#define EXPORTPNL_WHERE_MOUNTS_WORK()                   \
    do {                                                \
        QString skip_;                                  \
        if (!testsupport::runWhereMountsWork(&skip_)) { \
            if (!skip_.isEmpty())                       \
                GTEST_SKIP() << skip_.toStdString();    \
            return;                                     \
        }                                               \
    } while (0)

namespace testsupport {

// True where this process can mount (root, or the namespaced copy of an unprivileged run);
// otherwise runs the current test again in a namespace of its own, checks that it passed
// there and returns false, with `skip` set where the test could run nowhere.
bool runWhereMountsWork(QString* skip);

class SmallFilesystem {
public:
    explicit SmallFilesystem(int kilobytes);
    ~SmallFilesystem();
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;

    bool mounted() const { return m_mounted; }
    const QString& why() const { return m_why; }  // when not mounted
    QString path(const QString& name) const;
    // Fills what is left with a filler file, then frees `leaveBytes` of it again (whole
    // pages), so that a later write gets that far and no further.
    void fill(qint64 leaveBytes = 0);
    // The names in the folder besides the filler.
    QStringList entries() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};

// A file's bytes, or an empty array.
QByteArray readAll(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

}  // namespace testsupport
