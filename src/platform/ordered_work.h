#pragma once

#include <QtGlobal>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

// Jobs handed out in order to worker threads, their results taken back in the same order by the
// thread that handed them out: the cards of an export made while the ones before are written.
//
// With no workers the work is done by take(), on the caller's thread. The caller bounds how far
// ahead it hands out jobs (see pending()), and with it the memory the results take. Destroying the
// object lets the jobs being worked on finish, drops the rest and waits for the workers.
template <typename Job, typename Result> class OrderedWork
{
public:
    // work runs on a worker thread with the job and the worker's number (0 .. workers-1), or on the
    // caller's thread as worker 0; it must not throw.
    using Work = std::function<Result(Job &job, int worker)>;

    // As many workers as the system lets start, up to workers.
    OrderedWork(int workers, Work work)
        : m_work(std::move(work))
    {
        try {
            for (int worker = 0; worker < workers; ++worker)
                m_threads.emplace_back([this, worker] { run(worker); });
        } catch (const std::system_error &) {
            // No more threads: those started do the work.
        }
    }

    ~OrderedWork()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        for (std::thread &thread : m_threads)
            thread.join();
    }

    OrderedWork(const OrderedWork &) = delete;
    OrderedWork &operator=(const OrderedWork &) = delete;

    // The workers a machine gives such work: one for each processor, up to most; none with one
    // processor, where the caller's thread does it as well as a worker would.
    static int workersFor(int most)
    {
        const int processors = int(std::thread::hardware_concurrency());
        return processors > 1 ? std::min(processors, most) : 0;
    }

    void submit(Job job)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_jobs.emplace_back(m_submitted++, std::move(job));
        }
        m_changed.notify_all();
    }

    // Jobs handed out whose results have not been taken.
    qsizetype pending() const { return m_submitted - m_taken; }

    // The result of the oldest job not taken yet, waiting for it to be made. Only with a job
    // pending.
    Result take()
    {
        std::unique_lock lock(m_mutex);
        Q_ASSERT(m_taken < m_submitted);
        if (m_threads.empty()) {
            std::pair<qsizetype, Job> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            ++m_taken;
            return m_work(job.second, 0);
        }
        m_changed.wait(lock, [&] { return m_results.count(m_taken) > 0; });
        const auto made = m_results.find(m_taken);
        Result result = std::move(made->second);
        m_results.erase(made);
        ++m_taken;
        return result;
    }

private:
    void run(int worker)
    {
        for (;;) {
            std::pair<qsizetype, Job> job;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stopping || !m_jobs.empty(); });
                if (m_stopping)
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            Result result = m_work(job.second, worker);
            {
                const std::lock_guard lock(m_mutex);
                m_results.emplace(job.first, std::move(result));
            }
            m_changed.notify_all();
        }
    }

    Work m_work;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<qsizetype, Job>> m_jobs; // handed out, not yet started
    std::map<qsizetype, Result> m_results; // made, not yet taken, by the order they were handed out
    qsizetype m_submitted = 0; // touched by the caller's thread alone, under the lock when shared
    qsizetype m_taken = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
