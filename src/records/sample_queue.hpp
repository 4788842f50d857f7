#pragma once
// The queue of position samples of one live aircraft, oldest first: a ring over one buffer that
// grows by doubling and never shrinks, so that a steady stream of samples costs no allocation.
// Offers the deque operations live traffic uses.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "records/traffic_head.hpp"

namespace tamrix {

class SampleQueue {
public:
    SampleQueue() = default;
    SampleQueue(const SampleQueue& other) { *this = other; }
    SampleQueue& operator=(const SampleQueue& other) {
        if (this == &other) return *this;
        clear();
        reserve(other.m_size);
        for (std::size_t i = 0; i < other.m_size; ++i) push_back(other[i]);
        return *this;
    }
    SampleQueue(SampleQueue&& other) noexcept { swap(other); }
    SampleQueue& operator=(SampleQueue&& other) noexcept {
        if (this != &other) {
            SampleQueue moved(std::move(other));
            swap(moved);
        }
        return *this;
    }
    ~SampleQueue() = default;

    void swap(SampleQueue& other) noexcept {
        std::swap(m_buffer, other.m_buffer);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_head, other.m_head);
        std::swap(m_size, other.m_size);
    }

    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    std::size_t capacity() const noexcept { return m_capacity; }

    PositionSample& operator[](std::size_t i) noexcept {
        assert(i < m_size);
        return m_buffer[(m_head + i) & (m_capacity - 1)];
    }
    const PositionSample& operator[](std::size_t i) const noexcept {
        assert(i < m_size);
        return m_buffer[(m_head + i) & (m_capacity - 1)];
    }
    PositionSample& front() noexcept { return (*this)[0]; }
    const PositionSample& front() const noexcept { return (*this)[0]; }
    PositionSample& back() noexcept { return (*this)[m_size - 1]; }
    const PositionSample& back() const noexcept { return (*this)[m_size - 1]; }

    // By value: the sample may be one of this queue's own (push_back(back())), which growing frees.
    void push_back(PositionSample sample) {
        if (m_size == m_capacity) grow();
        m_buffer[(m_head + m_size) & (m_capacity - 1)] = sample;
        ++m_size;
    }
    void push_front(PositionSample sample) {
        if (m_size == m_capacity) grow();
        m_head = (m_head + m_capacity - 1) & (m_capacity - 1);
        m_buffer[m_head] = sample;
        ++m_size;
    }
    void pop_front() noexcept {
        assert(m_size > 0);
        m_head = (m_head + 1) & (m_capacity - 1);
        --m_size;
    }
    void pop_back() noexcept {
        assert(m_size > 0);
        --m_size;
    }
    // Drops the n oldest samples (all when n is not below the size).
    void drop_front(std::size_t n) noexcept {
        if (n >= m_size) {
            clear();
            return;
        }
        m_head = (m_head + n) & (m_capacity - 1);
        m_size -= n;
    }
    // Removes the sample at index i, keeping the order of the others.
    void erase(std::size_t i) noexcept {
        assert(i < m_size);
        for (std::size_t j = i; j + 1 < m_size; ++j) (*this)[j] = (*this)[j + 1];
        --m_size;
    }
    void clear() noexcept {
        m_head = 0;
        m_size = 0;
    }
    // Room for at least n samples.
    void reserve(std::size_t n) {
        while (m_capacity < n) grow();
    }

private:
    void grow() {
        const std::size_t capacity = m_capacity == 0 ? 8 : m_capacity * 2;
        auto buffer = std::make_unique<PositionSample[]>(capacity);
        for (std::size_t i = 0; i < m_size; ++i) buffer[i] = (*this)[i];
        m_buffer = std::move(buffer);
        m_capacity = capacity;
        m_head = 0;
    }

    std::unique_ptr<PositionSample[]> m_buffer;
    std::size_t m_capacity = 0; // 0 or a power of two
    std::size_t m_head = 0;
    std::size_t m_size = 0;
};

} // namespace tamrix
