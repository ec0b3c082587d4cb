#pragma once
// Every handler that Qt calls is entered through guarded(): an error raised inside is
// caught at the handler's edge and shown in the standard error box; the program goes on.

#include "core/Error.h"
#include "platform/Seams.h"

#include <QObject>

#include <exception>
#include <utility>

template <typename F>
void guarded(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (const PennaroError& e) {
        seams::showError(e.message());
    } catch (const std::exception& e) {
        seams::showError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        seams::showError(QStringLiteral("Error inesperado"));
    }
}

// Same, returning whether f completed without an error.
template <typename F>
bool guardedOk(F&& f) noexcept
{
    bool ok = false;
    guarded([&] {
        std::forward<F>(f)();
        ok = true;
    });
    return ok;
}

// Connects a signal to a form's handler, entered through guarded().
template <typename Sender, typename Signal, typename Form>
void connectGuarded(Sender* sender, Signal signal, Form* form, void (Form::*handler)())
{
    QObject::connect(sender, signal, form, [form, handler] { guarded([&] { (form->*handler)(); }); });
}
