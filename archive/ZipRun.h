#pragma once

#include <QString>
#include <atomic>
#include <chrono>

namespace stowline {

// A run's cancel: requested from any thread (the progress window's Cancel), read by the run and by
// its worker threads, which stop at the next slice or member.
class CancelToken {
public:
    void request() { m_requested.store(true); }
    bool requested() const { return m_requested.load(); }

private:
    std::atomic<bool> m_requested{false};
};

// What a compression or extraction run tells its owner, always on the thread that started it.
class ZipRunEvents {
public:
    virtual ~ZipRunEvents() = default;
    virtual void fileStarted(const QString& path) = 0;
    virtual void statistics(double wholeRunPercent, double currentFilePercent) = 0;
    // Lets the owner process its messages; true asks the run to stop.
    virtual bool cancelRequested() = 0;
};

enum class ZipRunOutcome { Completed, Cancelled };

// Times the questions for cancellation: often enough to answer within a tenth of a second, never
// more than twenty times a second.
class CancelPacer {
public:
    static constexpr std::chrono::milliseconds Interval{50};

    bool due() const { return std::chrono::steady_clock::now() - m_last >= Interval; }
    bool ask(ZipRunEvents& events) {
        m_last = std::chrono::steady_clock::now();
        return events.cancelRequested();
    }
    bool askIfDue(ZipRunEvents& events) { return due() && ask(events); }

private:
    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
};

inline double percentOf(quint64 part, quint64 whole) {
    return whole == 0 ? 100.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

} // namespace stowline
