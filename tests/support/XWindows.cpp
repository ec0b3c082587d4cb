#include "XWindows.h"

#include <QProcess>
#include <QRegularExpression>

namespace xwindows {

namespace {

QString id(quint32 window)
{
    return QStringLiteral("0x%1").arg(window, 0, 16);
}

// "NAME(TYPE) = value" -> value; empty when the property is missing.
QString propertyValue(quint32 window, const QString& name)
{
    const QString out = run(QStringLiteral("xprop"), {QStringLiteral("-id"), id(window), name});
    const int eq = out.indexOf(QLatin1String(" = "));
    if (eq < 0)
        return QString();
    return out.mid(eq + 3).trimmed();
}

int field(const QString& text, const QString& label)
{
    const QRegularExpression re(QRegularExpression::escape(label) + QStringLiteral(":\\s*(-?\\d+)"));
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QList<quint32> stacking()
{
    const QString out =
        run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<quint32> windows;
    static const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
    for (auto it = hex.globalMatch(out); it.hasNext();)
        windows.append(it.next().captured(0).toUInt(nullptr, 16));
    return windows;
}

QString title(quint32 window)
{
    QString value = propertyValue(window, QStringLiteral("_NET_WM_NAME"));
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

QStringList windowClass(quint32 window)
{
    QStringList names;
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]*)\""));
    for (auto it = quoted.globalMatch(propertyValue(window, QStringLiteral("WM_CLASS"))); it.hasNext();)
        names.append(it.next().captured(1));
    return names;
}

QStringList allowedActions(quint32 window)
{
    QStringList actions;
    for (const QString& a : propertyValue(window, QStringLiteral("_NET_WM_ALLOWED_ACTIONS")).split(QLatin1Char(',')))
        if (!a.trimmed().isEmpty())
            actions.append(a.trimmed());
    return actions;
}

QList<quint32> motifHints(quint32 window)
{
    QList<quint32> values;
    const QString value = propertyValue(window, QStringLiteral("_MOTIF_WM_HINTS"));
    if (value.isEmpty())
        return values;
    for (const QString& part : value.split(QLatin1Char(',')))
        values.append(part.trimmed().toUInt(nullptr, 0));
    return values;
}

QRect frame(quint32 window)
{
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id(window)});
    const int x = field(info, QStringLiteral("Absolute upper-left X"));
    const int y = field(info, QStringLiteral("Absolute upper-left Y"));
    const int w = field(info, QStringLiteral("Width"));
    const int h = field(info, QStringLiteral("Height"));
    if (w <= 0 || h <= 0)
        return QRect();
    QRect rect(x, y, w, h);
    const QStringList extents = propertyValue(window, QStringLiteral("_NET_FRAME_EXTENTS")).split(QLatin1Char(','));
    if (extents.size() == 4) // left, right, top, bottom
        rect.adjust(-extents[0].trimmed().toInt(), -extents[2].trimmed().toInt(), extents[1].trimmed().toInt(),
                    extents[3].trimmed().toInt());
    return rect;
}

quint32 parent(quint32 window)
{
    const QString info =
        run(QStringLiteral("xwininfo"), {QStringLiteral("-children"), QStringLiteral("-id"), id(window)});
    static const QRegularExpression re(QStringLiteral("Parent window id: (0x[0-9a-fA-F]+)"));
    const QRegularExpressionMatch m = re.match(info);
    return m.hasMatch() ? m.captured(1).toUInt(nullptr, 16) : 0;
}

quint32 root()
{
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-root")});
    static const QRegularExpression re(QStringLiteral("Window id: (0x[0-9a-fA-F]+)"));
    const QRegularExpressionMatch m = re.match(info);
    return m.hasMatch() ? m.captured(1).toUInt(nullptr, 16) : 0;
}

} // namespace xwindows
