// A pause that ends early when something worth looking at has happened: the
// worker's waits for the companion and the producer end at the folder's next
// change instead of sleeping out their poll.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class WakeUp {
public:
    // Ends the current or the next pause.
    void Signal() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_signalled = true;
        }
        m_changed.notify_all();
    }
    // True, once, when signalled since the last pause or take.
    bool Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        const bool signalled = m_signalled;
        m_signalled = false;
        return signalled;
    }
    // Waits up to `ms`, or until signalled since the last pause ended.
    void Pause(uint32_t ms) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_signalled; });
        m_signalled = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled = false;
};

}  // namespace platform
