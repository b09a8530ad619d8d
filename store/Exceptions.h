#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// The root of the program's own exceptions: one user-facing message each.
class Exception : public std::exception {
public:
    explicit Exception(QString message)
        : FMessage(std::move(message))
        , FWhat(FMessage.toUtf8())
    {
    }
    const QString &Message() const noexcept { return FMessage; }
    const char *what() const noexcept override { return FWhat.constData(); }

private:
    QString FMessage;
    QByteArray FWhat;
};

// Every failure of the store, and of reading a year file as a whole.
class EKivDiaryError : public Exception {
public:
    using Exception::Exception;
};

// A year below 1900. Deliberately not an EKivDiaryError.
class EAbnormalYear : public Exception {
public:
    using Exception::Exception;
};

// The file layer: a year file that exists but cannot be read, or cannot be written.
class EFileError : public Exception {
public:
    using Exception::Exception;
};

class EFOpenError : public EFileError {
public:
    using EFileError::EFileError;
};

class EFCreateError : public EFileError {
public:
    using EFileError::EFileError;
};

// The user-facing text of an exception: Message() for the program's own, what() for other
// standard exceptions.
inline QString ExceptionMessage(const std::exception &error)
{
    if (const auto *own = dynamic_cast<const Exception *>(&error))
        return own->Message();
    return QString::fromLocal8Bit(error.what());
}
