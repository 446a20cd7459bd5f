#pragma once
// Frees large containers on a worker thread: freeing a hundred thousand strings takes
// long enough to be felt as a stall of the window.
#include <future>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <type_traits>
#include <unistd.h>
#include <utility>

// Background work yields the processor to the GUI thread on a busy machine: late
// housekeeping is fine, a stalled window is not.
inline void LowerThisThreadsPriority()
{
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
}

class TDisposer {
public:
    TDisposer() = default;
    TDisposer(const TDisposer&) = delete;
    TDisposer& operator=(const TDisposer&) = delete;
    ~TDisposer() { Wait(); }

    // Takes the values over and frees them in the background. Only movable values with
    // thread-safe destruction (implicitly shared Qt texts, standard containers).
    template <class... T>
    void Dispose(T&&... values)
    {
        Wait();
        m_job = std::async(std::launch::async, [... taken = std::move(values)]() mutable {
            LowerThisThreadsPriority();
            // Emptied here: the task object itself is destroyed on the caller's thread.
            ((taken = std::remove_reference_t<decltype(taken)>()), ...);
        });
    }

private:
    void Wait()
    {
        if (m_job.valid())
            m_job.wait();
    }

    std::future<void> m_job;
};
