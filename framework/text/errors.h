// The framework's exception types. Every failure in the library is one of these; the
// event boundary (framework/ui) shows them, and EAbort ends an action silently.
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(const QString& message) : m_message(message), m_utf8(message.toUtf8()) {}
    const char* what() const noexcept override { return m_utf8.constData(); }
    const QString& message() const noexcept { return m_message; }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Database layer and server errors; a server error carries the server's own text.
class EDatabaseError : public Exception {
public:
    explicit EDatabaseError(const QString& message, int errorCode = 0)
        : Exception(message), m_errorCode(errorCode) {}
    int errorCode() const noexcept { return m_errorCode; }

private:
    int m_errorCode;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

// Silent abort: the event boundary swallows it without a message.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}
};
