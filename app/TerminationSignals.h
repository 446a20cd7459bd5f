#pragma once
// SIGTERM (a logout, a shutdown, `kill`) and SIGHUP (the terminal went away)
// end the program the way the window's Close does, so that it says goodbye to
// servers and keeps what it saves at close, instead of dying on the spot.
//
// The handlers only write a byte to a socket pair; the event loop reads it and
// calls OnSignal on the GUI thread. The previous handlers come back on destruction.
#include <QObject>
#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

class TTerminationSignals : public QObject {
public:
    explicit TTerminationSignals(std::function<void(int signal)> OnSignal, QObject* parent = nullptr);
    ~TTerminationSignals() override;
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

private:
    void Deliver();

    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previousTerm {};
    struct sigaction m_previousHup {};
};
