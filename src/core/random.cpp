#include "core/random.hpp"

#include <atomic>
#include <chrono>
#include <cstring>
#include <utility>

#include <sys/types.h>
#include <unistd.h>

namespace tamrix {
namespace {

std::atomic<bool (*)()> gRandomSwitch{nullptr};

// 64-bit FNV-1a over the thread id's four bytes; the low half goes into the seed, so that threads
// started in the same clock tick still differ.
uint32_t threadIdHash() {
    const auto tid = static_cast<uint32_t>(::gettid());
    unsigned char bytes[4];
    std::memcpy(bytes, &tid, sizeof bytes);
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char b : bytes) {
        hash ^= b;
        hash *= 1099511628211ull;
    }
    return static_cast<uint32_t>(hash);
}

uint32_t deviceValue() {
    try {
        std::random_device device;
        return device();
    } catch (const std::exception&) {
        return 0; // no entropy source: the clock and thread id still vary the seed
    }
}

std::mt19937 makeEngine() {
    const auto ns = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    std::seed_seq seed{deviceValue(), static_cast<uint32_t>(ns), static_cast<uint32_t>(ns >> 32),
                       threadIdHash()};
    return std::mt19937(seed);
}

} // namespace

void gf_setRandomSwitch(bool (*isOn)()) {
    gRandomSwitch.store(isOn);
}

bool gf_randomIsOn() {
    const auto isOn = gRandomSwitch.load();
    return isOn != nullptr && isOn();
}

std::mt19937& gf_randomEngine() {
    thread_local std::mt19937 engine = makeEngine();
    return engine;
}

std::size_t gf_randomIndex(std::size_t n) {
    if (n < 2 || !gf_randomIsOn()) return 0;
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(gf_randomEngine());
}

void gf_shuffleIndices(std::vector<uint16_t>& indices) {
    gf_shuffle(indices);
}

double gf_randomVariation(double value, double percent) {
    if (!(percent > 0)) return value;
    const double sign = (gf_randomEngine()() & 1u) == 0 ? 1.0 : -1.0;
    return value + sign * value * percent / 100;
}

} // namespace tamrix
