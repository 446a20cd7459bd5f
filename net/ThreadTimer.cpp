#include "net/AsyncSocket.h"
#include "net/ErrorBoundary.h"

#include <QTimer>

TThreadTimer::TThreadTimer(QObject* Owner) : QObject(Owner), m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer); // a time-out should not fire 5% late
    connect(m_timer, &QTimer::timeout, this, Guarded([this](auto&&...) { Tick(); }));
}

TThreadTimer::~TThreadTimer()
{
    m_enabled = false;
    m_timer->stop();
}

void TThreadTimer::SetEnabled(bool Value)
{
    if (Value == m_enabled)
        return;
    m_enabled = Value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(quint32 Value)
{
    if (Value == m_interval)
        return;
    m_interval = Value;
    UpdateTimer();
}

void TThreadTimer::SetOnTimer(TNotifyEvent Value)
{
    m_onTimer = std::move(Value);
    UpdateTimer();
}

bool TThreadTimer::IsArmed() const
{
    return m_timer->isActive();
}

int TThreadTimer::RemainingTime() const
{
    return m_timer->remainingTime();
}

void TThreadTimer::UpdateTimer()
{
    m_timer->stop();
    if (m_interval != 0 && m_enabled && m_onTimer)
        m_timer->start(int(qMin<quint32>(m_interval, INT_MAX)));
}

void TThreadTimer::Tick()
{
    if (m_onTimer)
        m_onTimer(this);
}
