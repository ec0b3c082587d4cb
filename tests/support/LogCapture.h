#pragma once
// Records the messages the program writes to its log while it lives, then puts the
// previous handler back.

#include <QList>
#include <QString>
#include <QtGlobal>

class LogCapture
{
public:
    struct Entry
    {
        QtMsgType type;
        QString category;
        QString text;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QList<Entry> entries;
    // The texts written under `category` with `type`.
    QStringList texts(const QString& category, QtMsgType type = QtWarningMsg) const;

private:
    QtMessageHandler m_previous = nullptr;
};
