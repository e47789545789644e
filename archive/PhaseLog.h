#pragma once

#include <QByteArray>
#include <chrono>

namespace stowline {

// One phase of a run, timed for the benchmarks: when STOWLINE_PHASE_LOG names a file, the phase
// appends "start end thread name" to it as it ends, in seconds since the program started. Without
// that variable it costs a clock reading.
class PhaseLog {
public:
    explicit PhaseLog(QByteArray name);
    ~PhaseLog();
    PhaseLog(const PhaseLog&) = delete;
    PhaseLog& operator=(const PhaseLog&) = delete;

private:
    QByteArray m_name;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace stowline
