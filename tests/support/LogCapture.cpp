#include "support/LogCapture.h"

#include <QStringList>

namespace {
LogCapture* g_capture = nullptr;

void record(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (g_capture)
        g_capture->entries.append({type, QString::fromUtf8(context.category ? context.category : ""), text});
}
} // namespace

LogCapture::LogCapture()
{
    g_capture = this;
    m_previous = qInstallMessageHandler(record);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    g_capture = nullptr;
}

QStringList LogCapture::texts(const QString& category, QtMsgType type) const
{
    QStringList result;
    for (const Entry& entry : entries) {
        if (entry.category == category && entry.type == type)
            result << entry.text;
    }
    return result;
}
