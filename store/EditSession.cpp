#include "store/EditSession.h"

#include "platform/Guard.h"
#include "store/engine/Dataset.h"

#include <QTimer>

namespace MinuteTimer {
namespace {

QPointer<QTimer>& attached()
{
    static QPointer<QTimer> timer;
    return timer;
}

} // namespace

void attach(QTimer* timer)
{
    attached() = timer;
}

void pause()
{
    if (QTimer* timer = attached())
        timer->stop();
}

void resume()
{
    QTimer* timer = attached();
    if (timer && !timer->isActive())
        timer->start();
}

bool running()
{
    QTimer* timer = attached();
    return timer && timer->isActive();
}

} // namespace MinuteTimer

EditSession::EditSession(engine::Dataset* dataset, OnFailure onFailure) : m_dataset(dataset), m_onFailure(onFailure)
{
    MinuteTimer::pause();
}

EditSession::~EditSession()
{
    if (m_committed || m_onFailure == OnFailure::Keep)
        return;
    // Runs while an error is on its way out: a failing cancel is shown, never raised.
    if (m_dataset)
        guarded([this] { m_dataset->cancel(); });
    MinuteTimer::resume();
}
