#include "net/ErrorBoundary.h"
#include "net/Exception.h"
#include <QtGlobal>

namespace {
ExceptionHandler& installedHandler()
{
    static ExceptionHandler handler;
    return handler;
}
}

ExceptionHandler SetExceptionHandler(ExceptionHandler handler)
{
    return std::exchange(installedHandler(), std::move(handler));
}

QString ExceptionText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void HandleException(std::exception_ptr error) noexcept
{
    try {
        if (installedHandler())
            installedHandler()(error);
        else
            qWarning("Unhandled exception: %s", qUtf8Printable(ExceptionText(error)));
    } catch (...) {
        qWarning("The exception handler itself failed");
    }
}
