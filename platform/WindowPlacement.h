#pragma once
// Keeps a window's frame (title bar and border included) at a corner of the screen. The
// window manager adds the frame only after the window is mapped, and its size is not
// known before; so the place is set before showing, then set again whenever the window
// moves or changes size, until the frame has been seen where it belongs.

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

class QTimer;
class QWidget;

enum class ScreenCorner { BottomRight, TopRight };

// Top-left corner of a frame of `frame` size that touches the screen's right edge and
// lies `gap` pixels away from its bottom (BottomRight) or its top (TopRight) edge.
QPoint cornerFramePosition(const QRect& screen, const QSize& frame, ScreenCorner corner, int gap);

class CornerPlacement : public QObject
{
public:
    CornerPlacement(QWidget* window, ScreenCorner corner, int gap);

    // Moves the frame to its corner of the primary screen (the whole screen) and keeps it
    // there while the window manager frames the window. Call it on each showing.
    void place();

    // Where the frame belongs now, with the frame size known so far.
    QPoint target() const;
    // Whether a correction is still running.
    bool isSettling() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void correct();

    QWidget* m_window;
    ScreenCorner m_corner;
    int m_gap;
    QTimer* m_poll;
    int m_ticksLeft = 0;
};
