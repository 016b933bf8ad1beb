#include "smallfs.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

namespace testsupport {

namespace {

const char kFiller[] = ".filler";

}  // namespace

bool runWhereMountsWork(QString* skip) {
    if (::geteuid() == 0)
        return true;
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty()) {
        *skip = QStringLiteral("unshare (util-linux) is needed to mount a filesystem as this user");
        return false;
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess copy;
    copy.setProcessChannelMode(QProcess::MergedChannels);
    copy.start(unshare,
               {QStringLiteral("-rm"), QStringLiteral("--"),
                QFile::decodeName(
                    QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")))),
                QStringLiteral("--gtest_filter=%1.%2")
                    .arg(QLatin1String(test->test_suite_name()), QLatin1String(test->name()))});
    if (!copy.waitForFinished(120000)) {
        ADD_FAILURE() << "the namespaced run did not finish";
        return false;
    }
    const QByteArray out = copy.readAll();
    if (out.startsWith("unshare: ")) {
        *skip = QStringLiteral("no user namespace for this user: ") +
                QString::fromLocal8Bit(out.trimmed());
        return false;
    }
    if (out.contains("[  SKIPPED ] 1 test")) {
        *skip = QStringLiteral("skipped in the namespace too: ") +
                QString::fromLocal8Bit(out.right(400));
        return false;
    }
    EXPECT_EQ(copy.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
    return false;
}

SmallFilesystem::SmallFilesystem(int kilobytes) {
    const QByteArray where = QFile::encodeName(m_dir.path());
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0777";
    if (::mount("tmpfs", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) ==
        0)
        m_mounted = true;
    else
        m_why = QString::fromLocal8Bit(std::strerror(errno));
}

SmallFilesystem::~SmallFilesystem() {
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

QString SmallFilesystem::path(const QString& name) const {
    return QDir(m_dir.path()).filePath(name);
}

void SmallFilesystem::fill(qint64 leaveBytes) {
    QFile filler(path(QLatin1String(kFiller)));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray page(4096, 'x');
    while (filler.write(page) == page.size()) {
    }
    filler.flush();
    const qint64 size = filler.size();
    filler.close();
    if (leaveBytes > 0)
        QFile::resize(filler.fileName(),
                      std::max<qint64>(0, size - (leaveBytes + 4095) / 4096 * 4096));
}

QStringList SmallFilesystem::entries() const {
    QStringList names = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(QLatin1String(kFiller));
    return names;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

}  // namespace testsupport
