#include "platform/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {
// The frame may arrive late on a loaded machine: keep looking for 10 s at most.
constexpr int kPollMs = 20;
constexpr int kPollTicks = 500;
} // namespace

QPoint cornerFramePosition(const QRect& screen, const QSize& frame, ScreenCorner corner, int gap)
{
    const int x = screen.x() + screen.width() - frame.width();
    if (corner == ScreenCorner::TopRight)
        return {x, screen.y() + gap};
    return {x, screen.y() + screen.height() - frame.height() - gap};
}

CornerPlacement::CornerPlacement(QWidget* window, ScreenCorner corner, int gap)
    : QObject(window), m_window(window), m_corner(corner), m_gap(gap), m_poll(new QTimer(this))
{
    m_poll->setInterval(kPollMs);
    connect(m_poll, &QTimer::timeout, this, [this] {
        correct();
        if (--m_ticksLeft <= 0)
            m_poll->stop();
    });
    window->installEventFilter(this);
}

QPoint CornerPlacement::target() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    return cornerFramePosition(area, m_window->frameGeometry().size(), m_corner, m_gap);
}

bool CornerPlacement::isSettling() const
{
    return m_poll->isActive();
}

void CornerPlacement::place()
{
    m_window->move(target());
    m_ticksLeft = kPollTicks;
    m_poll->start();
    correct(); // ends at once when the place is already final
}

void CornerPlacement::correct()
{
    if (!m_window->isVisible()) {
        m_poll->stop();
        return;
    }
    const QRect frame = m_window->frameGeometry();
    const QPoint wanted = target();
    if (frame.topLeft() != wanted) {
        // Moved by the difference, so it lands right whether the toolkit places the
        // frame or the client area at the given point.
        m_window->move(m_window->pos() + (wanted - frame.topLeft()));
        return;
    }
    // In place with a frame drawn around it: the window manager is done. Only X11 draws
    // frames that come late; elsewhere the first right place is final.
    if (frame != m_window->geometry() || QGuiApplication::platformName() != QLatin1String("xcb"))
        m_poll->stop();
}

bool CornerPlacement::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && m_poll->isActive()) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            correct();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
