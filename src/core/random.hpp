#pragma once
// Random choices of the livery matching. Every thread draws from its own Mersenne Twister, so no
// lock is needed. The index and shuffle helpers are random only while the RANDOM setting is on;
// otherwise they are deterministic.

#include <cstddef>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace tamrix {

// Installs the query of the RANDOM setting (the settings register it at start-up). Until then, and
// after gf_setRandomSwitch(nullptr), RANDOM counts as off.
void gf_setRandomSwitch(bool (*isOn)());
bool gf_randomIsOn();

// The calling thread's engine, seeded on its first use.
std::mt19937& gf_randomEngine();

// 0 while RANDOM is off or n < 2 (without drawing); else a uniform index 0 .. n - 1.
std::size_t gf_randomIndex(std::size_t n);
// Shuffles uniformly (forward Fisher-Yates) while RANDOM is on and there are 2 or more entries;
// else leaves them as they are.
template <class T> void gf_shuffle(std::vector<T>& values) {
    if (values.size() < 2 || !gf_randomIsOn()) return;
    auto& engine = gf_randomEngine();
    for (std::size_t i = 1; i < values.size(); ++i) {
        const std::size_t j = std::uniform_int_distribution<std::size_t>(0, i)(engine);
        std::swap(values[i], values[j]);
    }
}
void gf_shuffleIndices(std::vector<uint16_t>& indices);
// value + s * value * percent / 100 with s = +1 or -1 at equal chance; value itself when percent
// is not above 0. Independent of RANDOM.
double gf_randomVariation(double value, double percent);

} // namespace tamrix
