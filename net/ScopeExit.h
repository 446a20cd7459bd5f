#pragma once
// Runs a callable when the scope ends, however it ends: the clean-up steps
// that an operation promises "in every case".
#include <utility>

template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : m_f(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { m_f(); }

private:
    F m_f;
};
