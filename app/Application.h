#pragma once
// The application object. Its notify() is the last safety net of the error
// boundary: an exception that slipped past a handler still reaches the
// general error handler instead of unwinding through Qt. It also sets up the
// memory allocator for a window that must not pause.
#include <QApplication>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
