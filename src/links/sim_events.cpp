#include "links/sim_events.hpp"

#include <mutex>

namespace tamrix {
namespace {

struct SimEventList {
    std::mutex lock; // the sim-event lock
    std::vector<SimEvent> events;
};

SimEventList& list() {
    static auto* s = new SimEventList;
    return *s;
}

} // namespace

void gf_postSimEvent(const SimEvent& event) {
    auto& s = list();
    std::lock_guard guard(s.lock);
    s.events.push_back(event);
}

void gf_drainSimEvents(const std::function<void(const std::vector<SimEvent>&)>& work) {
    auto& s = list();
    std::lock_guard guard(s.lock);
    struct Emptier {
        std::vector<SimEvent>& events;
        ~Emptier() { events.clear(); }
    } emptier{s.events};
    work(s.events);
}

void gf_reserveSimEvents(std::size_t count) {
    auto& s = list();
    std::lock_guard guard(s.lock);
    s.events.reserve(count);
}

void gf_clearSimEvents() {
    auto& s = list();
    std::lock_guard guard(s.lock);
    s.events.clear();
}

std::size_t gf_pendingSimEvents() {
    auto& s = list();
    std::lock_guard guard(s.lock);
    return s.events.size();
}

} // namespace tamrix
