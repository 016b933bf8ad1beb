#include "framework/io/atomicfile.h"

#include "framework/text/errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

namespace io {

namespace {

constexpr qint64 kBufferSize = 1 << 16;

QByteArray nativeName(const QString& path) {
    return QFile::encodeName(path);
}

// A name beside `target` that no file has; created exclusively, so it cannot be a link
// someone else put there.
int createBeside(const QString& target, QString& temporary) {
    const QFileInfo info(target);
    for (int attempt = 0;; ++attempt) {
        temporary = info.dir().filePath(
            QStringLiteral(".%1.%2.part")
                .arg(info.fileName())
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        const int fd = ::open(nativeName(temporary).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || attempt > 100)
            return fd;
    }
}

}  // namespace

QString describeError(int errnum, Access access) {
    const bool reading = access == Access::Read;
    switch (errnum) {
        case ENOSPC:
            return QStringLiteral("磁盘已满");
        case EDQUOT:
            return QStringLiteral("已超出磁盘配额");
        case EACCES:
        case EPERM:
            return reading ? QStringLiteral("没有读取权限") : QStringLiteral("没有写入权限");
        case ENOENT:
            return reading ? QStringLiteral("文件不存在") : QStringLiteral("文件夹不存在");
        case ENOTDIR:
            return QStringLiteral("路径中的某一级不是文件夹");
        case EROFS:
            return QStringLiteral("磁盘只读");
        case EISDIR:
            return QStringLiteral("同名的文件夹已存在");
        case ENAMETOOLONG:
            return QStringLiteral("文件名太长");
        case EFBIG:
            return QStringLiteral("文件太大");
        case EIO:
            return QStringLiteral("磁盘读写出错");
        default:
            return QStringLiteral("系统错误 %1（%2）")
                .arg(errnum)
                .arg(QString::fromLocal8Bit(std::strerror(errnum)));
    }
}

QString writeErrorText(const QString& path, const QString& cause) {
    return QStringLiteral("无法写入文件“%1”：%2").arg(QDir::toNativeSeparators(path), cause);
}

AtomicFile::AtomicFile(const QString& target) : m_target(target), m_final(target) {
    const QFileInfo info(target);
    if (info.isSymLink())
        m_final = info.symLinkTarget();
    if (QFileInfo(m_final).isDir())
        fail(EISDIR);
    m_fd = createBeside(m_final, m_temporary);
    if (m_fd < 0)
        fail(errno);
    // The replacement keeps the permissions of the file it replaces.
    struct stat old {};
    if (::stat(nativeName(m_final).constData(), &old) == 0)
        ::fchmod(m_fd, old.st_mode & 07777);
    m_buffer.reserve(kBufferSize);
}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::fail(int errnum) {
    discard();
    throw EInvalidOperation(writeErrorText(m_target, describeError(errnum)));
}

void AtomicFile::flushBuffer() {
    const char* p = m_buffer.constData();
    qint64 left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, static_cast<std::size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            fail(ENOSPC);
        p += n;
        left -= n;
    }
    m_buffer.clear();
}

void AtomicFile::write(const char* data, qint64 size) {
    if (m_fd < 0)
        throw EInvalidOperation(writeErrorText(m_target, QStringLiteral("文件未打开")));
    m_size += size;
    if (m_buffer.size() + size > kBufferSize) {
        flushBuffer();
        if (size > kBufferSize) {
            m_buffer = QByteArray::fromRawData(data, size);
            flushBuffer();
            m_buffer.reserve(kBufferSize);
            return;
        }
    }
    m_buffer.append(data, size);
}

void AtomicFile::closeFile() {
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        fail(errno);
}

QString AtomicFile::handOver() {
    if (m_fd >= 0)
        closeFile();
    return m_temporary;
}

void AtomicFile::commit(const Check& check) {
    if (m_done)
        throw EInvalidOperation(writeErrorText(m_target, QStringLiteral("文件已关闭")));
    if (m_fd < 0) {
        // Written by another library through handOver(): open it again to sync it.
        m_fd = ::open(nativeName(m_temporary).constData(), O_RDWR | O_CLOEXEC);
        if (m_fd < 0)
            fail(errno);
    }
    flushBuffer();
    // A delayed write error (full disk, quota, a lost network folder) shows at the latest here.
    if (::fsync(m_fd) != 0)
        fail(errno);
    closeFile();
    if (check && !check(m_temporary)) {
        discard();
        throw EInvalidOperation(
            writeErrorText(m_target, QStringLiteral("写入后核对不符，文件不完整")));
    }
    if (::rename(nativeName(m_temporary).constData(), nativeName(m_final).constData()) != 0)
        fail(errno);
    m_done = true;
    // The new name itself is durable once the folder is synced.
    const int dir = ::open(nativeName(QFileInfo(m_final).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void AtomicFile::discard() {
    if (m_done)
        return;
    m_done = true;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty())
        ::unlink(nativeName(m_temporary).constData());
}

}  // namespace io
