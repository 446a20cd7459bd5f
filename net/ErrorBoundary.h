#pragma once
// Qt's frames are not exception-safe, so every place where Qt calls our code
// (slots, event overrides, notifier and timer callbacks) catches at that
// boundary and hands the exception to one application-wide handler.
#include <QString>
#include <exception>
#include <functional>
#include <utility>

using ExceptionHandler = std::function<void(std::exception_ptr)>;

// Installs the application-wide handler; returns the previous one.
ExceptionHandler SetExceptionHandler(ExceptionHandler handler);

// Passes an exception to the installed handler (or logs it when none is set).
void HandleException(std::exception_ptr error) noexcept;

// Text of an exception for an error box: the message of our own exceptions,
// what() of the others.
QString ExceptionText(std::exception_ptr error);

// Wraps a callable so that nothing it throws escapes into Qt.
template <class F>
auto Guarded(F f)
{
    return [f = std::move(f)](auto&&... args) mutable {
        try {
            f(std::forward<decltype(args)>(args)...);
        } catch (...) {
            HandleException(std::current_exception());
        }
    };
}
