#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Work that must not run on a caller's thread (a front end's I/O thread waiting on a PLC, or
// listing thousands of elements): worker threads, started with the first job, take jobs in the
// order given (one worker: one job at a time, in that order). The queue is bounded; a full
// queue refuses the job, so the caller can answer "busy" at once.
class WorkQueue {
public:
    using Clock = std::chrono::steady_clock;

    explicit WorkQueue(std::size_t capacity, unsigned workers = 1);
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;
    // Stop(), then gone.
    ~WorkQueue();

    // Takes no more jobs; runs the jobs still waiting and ends the workers. Idempotent.
    void Stop();

    // False when the queue is full; the job is not taken then.
    bool Submit(std::function<void()> job);
    std::size_t Capacity() const { return m_Capacity; }
    std::size_t Waiting() const;

    // When the job running on the calling thread was submitted; nothing outside a job.
    static std::optional<Clock::time_point> CurrentJobSubmitted();

private:
    struct Job {
        std::function<void()> work;
        Clock::time_point submitted;
    };
    // What the worker uses, kept alive by the worker itself: a job may hold the last owner of
    // the queue, and the queue then ends while its worker is still finishing that job.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Job> jobs;
        bool stopping = false;
    };

    static void Run(const std::shared_ptr<State>& state);

    const std::size_t m_Capacity;
    const unsigned m_WorkerCount;
    std::shared_ptr<State> m_State;
    std::vector<std::thread> m_Workers; // guarded by m_State->mutex until Stop()
};
