#pragma once
// Errors raised by Pennaro's operations. Every error carries the Spanish text the
// user sees in the standard error box; handlers called by Qt catch them at their edge.

#include <QByteArray>
#include <QString>
#include <exception>

class PennaroError : public std::exception
{
public:
    explicit PennaroError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Raised by the engine layer (files, tables, queries, records).
class EngineError : public PennaroError
{
public:
    using PennaroError::PennaroError;
};

// Raised when a value cannot be read as the type asked for (a null field, a text that is no number or date).
class ConversionError : public PennaroError
{
public:
    using PennaroError::PennaroError;
};
