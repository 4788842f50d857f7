#pragma once
// A value that several threads read and write: every access holds the value's own lock, and
// reads hand out copies, so no caller ever sees a half-written value.

#include <mutex>
#include <utility>

namespace tamrix {

template <class T>
class Guarded {
public:
    Guarded() = default;
    explicit Guarded(T value) : m_value(std::move(value)) {}

    T get() const {
        std::lock_guard guard(m_lock);
        return m_value;
    }
    void set(T value) {
        std::lock_guard guard(m_lock);
        m_value = std::move(value);
    }
    // Runs `change` on the value under the lock; keep it short and never log inside it.
    template <class F>
    decltype(auto) update(F&& change) {
        std::lock_guard guard(m_lock);
        return std::forward<F>(change)(m_value);
    }

private:
    mutable std::mutex m_lock;
    T m_value{};
};

} // namespace tamrix
