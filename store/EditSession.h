#pragma once
// The program's one minute timer as the editing windows see it, and the edit session that
// keeps it off while a record is being edited.
//
// The main window owns the timer and attaches it here, so the data store and the editing
// windows switch it off and on without knowing the main window.

#include <QPointer>

class QTimer;

namespace engine {
class Dataset;
}

namespace MinuteTimer {

// The timer to switch; the main window attaches its own when it is made. Nothing is
// switched while none is attached (or once it is gone).
void attach(QTimer* timer);
// Switches the timer off.
void pause();
// Switches the timer on; a running timer keeps its count.
void resume();
// Whether the attached timer is running.
bool running();

} // namespace MinuteTimer

// Starting an edit of a record for an editor window. Made before the record is put into
// edit or insert state, it switches the minute timer off. If the edit cannot be started
// (an error before commit()), leaving the scope cancels the dataset's pending change and
// switches the timer on again, so nothing stays half-inserted nor the timer stopped.
// After commit() the editor owns the edit: its own buttons post or cancel it and switch
// the timer on.
class EditSession
{
public:
    enum class OnFailure {
        Cancel, // the session started this edit: undo it
        Keep,   // an editor already had this dataset in hand: leave it to that editor
    };

    explicit EditSession(engine::Dataset* dataset, OnFailure onFailure = OnFailure::Cancel);
    ~EditSession();
    EditSession(const EditSession&) = delete;
    EditSession& operator=(const EditSession&) = delete;

    void commit() { m_committed = true; }

private:
    QPointer<engine::Dataset> m_dataset;
    OnFailure m_onFailure;
    bool m_committed = false;
};
