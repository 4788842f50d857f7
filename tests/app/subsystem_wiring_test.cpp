// The program's one installation of its seams, run as the process entry runs it: every hook,
// service and sink a lower floor calls must then hold a function, or it does nothing in the
// program however well its own tests pass.

#include <cstddef>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "airports/airports_scan.hpp"
#include "app/run_hooks.hpp"
#include "app/subsystem_wiring.hpp"
#include "links/realtraffic_server.hpp"
#include "traffic/airport_services.hpp"

namespace {

using namespace tamrix;

// Converts to any member type: counts the members of an aggregate by brace-initialising it.
struct AnyMember {
    template <class T> operator T() const;
};

template <class T, class... Members> constexpr std::size_t memberCount() {
    if constexpr (requires { T{std::declval<Members>()..., AnyMember{}}; })
        return memberCount<T, Members..., AnyMember>();
    else
        return sizeof...(Members);
}

template <class F> bool isSet(const std::function<F>& f) {
    return static_cast<bool>(f);
}
template <class P>
requires std::is_pointer_v<P>
bool isSet(P p) {
    return p != nullptr;
}

// The indexes (1-based, in declaration order) of the members left empty.
template <class T> std::vector<std::size_t> emptyMembers(const T& seams) {
    std::vector<std::size_t> empty;
    const auto check = [&](const auto&... member) {
        std::size_t index = 0;
        ((++index, isSet(member) ? void() : empty.push_back(index)), ...);
    };
    constexpr std::size_t n = memberCount<T>();
    static_assert(n <= 16, "extend the bindings below");
    // clang-format off
    if constexpr (n == 3) { const auto& [a, b, c] = seams; check(a, b, c); }
    else if constexpr (n == 7) { const auto& [a, b, c, d, e, f, g] = seams; check(a, b, c, d, e, f, g); }
    else if constexpr (n == 12) { const auto& [a, b, c, d, e, f, g, h, i, j, k, l] = seams; check(a, b, c, d, e, f, g, h, i, j, k, l); }
    else if constexpr (n == 16) { const auto& [a, b, c, d, e, f, g, h, i, j, k, l, m, o, p, q] = seams; check(a, b, c, d, e, f, g, h, i, j, k, l, m, o, p, q); }
    else static_assert(n == 0, "add a binding for this member count");
    // clang-format on
    return empty;
}

TEST(SubsystemWiring, TheProgramsInstallationLeavesNoSeamEmpty) {
    gf_resetRunHooks();
    gf_setAirportServices(AirportServices{});
    gf_airportScanWindow() = AirportScanWindow{};
    gf_setLiveAircraftRemover(nullptr);

    gf_installSubsystems();

    EXPECT_EQ(emptyMembers(gf_liveTrafficHooks()), std::vector<std::size_t>{}) << "LiveTrafficHooks";
    EXPECT_EQ(emptyMembers(gf_airportHooks()), std::vector<std::size_t>{}) << "AirportHooks";
    EXPECT_EQ(emptyMembers(gf_airportServices()), std::vector<std::size_t>{}) << "AirportServices";
    EXPECT_EQ(emptyMembers(gf_airportScanWindow()), std::vector<std::size_t>{}) << "AirportScanWindow";
    EXPECT_NE(gf_liveAircraftRemover(), nullptr) << "RealTraffic gone: nothing takes the live aircraft out";
}

} // namespace
