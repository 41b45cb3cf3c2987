// A word that one thread writes and others read whole, once per pass. Ordering between such words
// is never relied on, so every access is a relaxed atomic one: no data race, no fence per frame.
#pragma once
#include <atomic>
#include <type_traits>

template <class T>
class RelaxedWord {
public:
    constexpr RelaxedWord(T value = T{}) noexcept : m_value(value) {}
    RelaxedWord(const RelaxedWord&) = delete;
    RelaxedWord& operator=(const RelaxedWord&) = delete;

    operator T() const noexcept { return load(); }
    RelaxedWord& operator=(T value) noexcept {
        m_value.store(value, std::memory_order_relaxed);
        return *this;
    }
    T load() const noexcept { return m_value.load(std::memory_order_relaxed); }
    // One step: `desired` only while the word still holds `expected`.
    bool CompareExchange(T expected, T desired) noexcept {
        return m_value.compare_exchange_strong(expected, desired, std::memory_order_relaxed);
    }
    T operator->() const noexcept
        requires std::is_pointer_v<T>
    {
        return load();
    }

private:
    std::atomic<T> m_value;
};
