#pragma once
// Reads what the X server and the window manager hold about windows, through the
// standard X utilities (xprop, xwininfo): frames, stacking order, titles and allowed
// actions. For tests that run on a real display.

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

namespace xwindows {

// Output of a program run to its end (empty when it cannot run).
QString run(const QString& program, const QStringList& arguments);

// Client windows from bottom to top, as the window manager stacks them.
QList<quint32> stacking();
// The window's title as the window manager shows it (_NET_WM_NAME).
QString title(quint32 window);
// The window's class (WM_CLASS): instance and class names.
QStringList windowClass(quint32 window);
// Actions the window manager offers for the window (_NET_WM_ALLOWED_ACTIONS), atom names.
QStringList allowedActions(quint32 window);
// The window's Motif hints (_MOTIF_WM_HINTS): flags, functions, decorations, input mode,
// status; empty when not set.
QList<quint32> motifHints(quint32 window);
// The frame drawn around the window (title bar and borders included), in screen
// coordinates; the bare window when no frame extents are known. Invalid when unknown.
QRect frame(quint32 window);
// The window's parent in the X tree (0 when unknown).
quint32 parent(quint32 window);
// The root window.
quint32 root();

} // namespace xwindows
