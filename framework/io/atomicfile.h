// A file the library writes (export, PDF, saved report) is written beside its target under
// a temporary name, flushed, synced and checked, and only then renamed over the target: a
// full disk or any other failure leaves the earlier file as it was and nothing partial.
// QSaveFile is not enough: it buffers, and its commit() reports success when the last
// flush failed (seen with ENOSPC), leaving an empty or cut file in place of the old one.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace io {

enum class Access { Write, Read };

// The cause of a failed file operation (an errno value) in words a user can act on.
QString describeError(int errnum, Access access = Access::Write);

// "无法写入文件“<path>”：<cause>", the text every failed write shows.
QString writeErrorText(const QString& path, const QString& cause);

class AtomicFile {
public:
    // Creates the temporary file beside `target` (a symbolic link is followed, so the file
    // it points to is the one replaced). EInvalidOperation with the cause when it cannot.
    explicit AtomicFile(const QString& target);
    ~AtomicFile();  // discards the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const char* data, qint64 size);
    void write(const QByteArray& bytes) { write(bytes.constData(), bytes.size()); }
    qint64 size() const { return m_size; }

    // For a library that writes the file by name itself (libxlsxwriter): the temporary file,
    // closed, to be written through this path; commit() then syncs and checks what it holds.
    QString handOver();
    const QString& temporaryPath() const { return m_temporary; }

    // Flushes, syncs and closes the temporary file, runs `check` over its complete bytes
    // when given (false: the file is not what was meant to be written), then renames it over
    // the target. EInvalidOperation with the cause on any failure; the target is untouched.
    using Check = std::function<bool(const QString& temporaryPath)>;
    void commit(const Check& check = {});
    void discard();

private:
    [[noreturn]] void fail(int errnum);
    void flushBuffer();
    void closeFile();

    QString m_target;  // the name the user chose, as shown in messages
    QString m_final;   // where the file lands (the target, or what its link points to)
    QString m_temporary;
    int m_fd = -1;
    bool m_done = false;
    qint64 m_size = 0;
    QByteArray m_buffer;
};

}  // namespace io
