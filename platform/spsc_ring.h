// A bounded single-producer, single-consumer ring on atomics: one thread pushes, one other thread
// pops, neither ever locks, allocates or blocks. The audio callback and the MIDI callback take
// their input through it.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>

namespace tunemill {

// Holds up to Capacity - 1 items (one slot stays empty to tell full from empty).
template <typename T, size_t Capacity> class SpscRing {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                  "the capacity must be a power of two");

  public:
    static constexpr size_t capacity() { return Capacity - 1; }

    // Producer side. False when the ring is full (the item is not taken).
    bool push(const T& item) {
        const size_t write = write_.load(std::memory_order_relaxed);
        const size_t next = (write + 1) & (Capacity - 1);
        if (next == read_.load(std::memory_order_acquire)) return false;
        slots_[write] = item;
        write_.store(next, std::memory_order_release);
        return true;
    }

    // Consumer side. Empty when nothing is pending.
    std::optional<T> pop() {
        const size_t read = read_.load(std::memory_order_relaxed);
        if (read == write_.load(std::memory_order_acquire)) return std::nullopt;
        T item = slots_[read];
        read_.store((read + 1) & (Capacity - 1), std::memory_order_release);
        return item;
    }

    // Items pending; exact on either side's own thread, a snapshot elsewhere.
    size_t size() const {
        const size_t write = write_.load(std::memory_order_acquire);
        const size_t read = read_.load(std::memory_order_acquire);
        return (write - read) & (Capacity - 1);
    }
    bool empty() const { return size() == 0; }

  private:
    std::array<T, Capacity> slots_{};
    alignas(64) std::atomic<size_t> write_{0};
    alignas(64) std::atomic<size_t> read_{0};
};

} // namespace tunemill
