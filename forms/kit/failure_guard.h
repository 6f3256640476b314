#pragma once

#include <concepts>
#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace vornel {

// Every handler of the program runs inside this guard. A failure that escapes a handler is
// reported once, in a message box titled "Vornel" that names it, and the program then ends with
// a non-zero status: the running event loops are left, and no guarded handler runs any more.
namespace failure_guard {

// Reports a failure that escaped a handler, and starts ending the program.
void reportUncaught(const std::string& what);

// True once a failure has been reported; start-up code checks it before entering the event loop.
bool ending();

// Replaces how the failure is shown (a message box by default); for tests.
using Reporter = std::function<void(const std::string& what)>;
void setReporter(Reporter reporter);
// Forgets a reported failure and restores the message box; for tests.
void reset();

}  // namespace failure_guard

template <typename F>
void runGuarded(F&& handler) noexcept {
    if (failure_guard::ending()) {
        return;
    }
    try {
        std::forward<F>(handler)();
    } catch (const std::exception& failure) {
        failure_guard::reportUncaught(failure.what());
    } catch (...) {
        failure_guard::reportUncaught("an unknown failure");
    }
}

// Wraps a handler so that it runs inside the guard; for connecting to signals and callbacks.
template <typename F>
auto guarded(F handler) {
    return [handler = std::move(handler)](
        auto&&... args) requires std::invocable<const F&, decltype(args)...> {
        runGuarded([&] { handler(std::forward<decltype(args)>(args)...); });
    };
}

}  // namespace vornel
