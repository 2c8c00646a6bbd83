#include "values/WorkQueue.h"

namespace {

thread_local std::optional<WorkQueue::Clock::time_point> t_Submitted;

} // namespace

WorkQueue::WorkQueue(std::size_t capacity, unsigned workers)
    : m_Capacity(capacity == 0 ? 1 : capacity), m_WorkerCount(workers == 0 ? 1 : workers),
      m_State(std::make_shared<State>()) {}

WorkQueue::~WorkQueue() {
    Stop();
}

void WorkQueue::Stop() {
    std::vector<std::thread> workers;
    {
        const std::lock_guard lock(m_State->mutex);
        m_State->stopping = true;
        workers = std::move(m_Workers);
    }
    m_State->wake.notify_all();
    for (std::thread& worker : workers) {
        if (worker.get_id() == std::this_thread::get_id()) {
            // Ended from inside a job: this worker finishes the jobs left and ends by itself.
            worker.detach();
        } else {
            worker.join();
        }
    }
}

bool WorkQueue::Submit(std::function<void()> job) {
    {
        const std::lock_guard lock(m_State->mutex);
        if (m_State->stopping || m_State->jobs.size() >= m_Capacity) {
            return false;
        }
        m_State->jobs.push_back({std::move(job), Clock::now()});
        while (m_Workers.size() < m_WorkerCount) {
            m_Workers.emplace_back([state = m_State] { Run(state); });
        }
    }
    m_State->wake.notify_one();
    return true;
}

std::size_t WorkQueue::Waiting() const {
    const std::lock_guard lock(m_State->mutex);
    return m_State->jobs.size();
}

std::optional<WorkQueue::Clock::time_point> WorkQueue::CurrentJobSubmitted() {
    return t_Submitted;
}

// Runs jobs until the queue is stopped and empty.
void WorkQueue::Run(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->wake.wait(lock, [&state] { return state->stopping || !state->jobs.empty(); });
        if (state->jobs.empty()) {
            return;
        }
        Job job = std::move(state->jobs.front());
        state->jobs.pop_front();
        lock.unlock();
        t_Submitted = job.submitted;
        job.work();
        job.work = nullptr;
        t_Submitted.reset();
        lock.lock();
    }
}
