#pragma once
// Runs a control's refresh so that it never nests: reading a stale query re-runs it, and
// the query's notice comes straight back to the control. A refresh asked for while one
// runs makes the running one go round again, at most three rounds in all.

#include <QScopeGuard>

#include <utility>

class RefreshGate
{
public:
    template <typename F> void run(F&& body)
    {
        if (m_running) {
            m_again = true;
            return;
        }
        m_running = true;
        const auto done = qScopeGuard([this] { m_running = false; });
        int rounds = 0;
        do {
            m_again = false;
            body();
        } while (m_again && ++rounds < 3);
    }

private:
    bool m_running = false;
    bool m_again = false;
};
