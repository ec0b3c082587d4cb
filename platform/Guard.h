#pragma once
// Every handler that Qt calls is entered through guarded(): an error raised inside is
// caught at the handler's edge and shown in the standard error box; the program goes on.

#include "core/Error.h"
#include "platform/Seams.h"

#include <QObject>

#include <cstddef>
#include <exception>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

template <typename F> void guarded(F&& f) noexcept
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
template <typename F> bool guardedOk(F&& f) noexcept
{
    bool ok = false;
    guarded([&] {
        std::forward<F>(f)();
        ok = true;
    });
    return ok;
}

namespace guard_detail {

template <typename F, typename Tuple, std::size_t... I> constexpr bool takes(std::index_sequence<I...>)
{
    return std::is_invocable_v<F, std::tuple_element_t<I, Tuple>...>;
}

template <typename F, typename Tuple, std::size_t... I>
void invokeWith(F& f, const Tuple& args, std::index_sequence<I...>)
{
    std::invoke(f, std::get<I>(args)...);
}

// Calls f with the longest leading part of args it takes, as Qt's own connections do.
template <std::size_t N, typename F, typename Tuple> void invokeLeading(F& f, const Tuple& args)
{
    if constexpr (takes<F&, Tuple>(std::make_index_sequence<N>{}))
        invokeWith(f, args, std::make_index_sequence<N>{});
    else if constexpr (N > 0)
        invokeLeading<N - 1>(f, args);
    else
        static_assert(N > 0, "the handler takes no leading part of the signal's arguments");
}

} // namespace guard_detail

// The one way of connecting a signal to code that may raise: the handler is entered
// through guarded(). `handler` is a member function of `receiver`, or any callable; it
// takes a leading part of the signal's arguments. The connection ends with `receiver`.
template <typename Sender, typename Signal, typename Receiver, typename Handler>
QMetaObject::Connection connectGuarded(Sender* sender, Signal signal, Receiver* receiver, Handler handler)
{
    return QObject::connect(sender, signal, receiver, [receiver, handler](const auto&... args) {
        guarded([&] {
            if constexpr (std::is_member_function_pointer_v<Handler>) {
                const std::tuple<Receiver*, decltype(args)...> all(receiver, args...);
                guard_detail::invokeLeading<1 + sizeof...(args)>(handler, all);
            } else {
                const std::tuple<decltype(args)...> all(args...);
                guard_detail::invokeLeading<sizeof...(args)>(handler, all);
            }
        });
    });
}
