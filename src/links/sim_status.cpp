#include "links/sim_status.hpp"

#include <mutex>
#include <utility>

namespace tamrix {

std::atomic<bool> gSimRunningShown{false};

namespace {

struct Texts {
    std::mutex lock;
    std::string simulator;
    std::string userAc;
    std::string userStand;
};

Texts& texts() {
    static auto* t = new Texts;
    return *t;
}

void setText(std::string Texts::*field, std::string text) {
    auto& t = texts();
    std::lock_guard guard(t.lock);
    t.*field = std::move(text);
}

std::string textOf(std::string Texts::*field) {
    auto& t = texts();
    std::lock_guard guard(t.lock);
    return t.*field;
}

} // namespace

void gf_setSimulatorText(std::string text) {
    setText(&Texts::simulator, std::move(text));
}
std::string gf_simulatorText() {
    return textOf(&Texts::simulator);
}
void gf_setUserAcText(std::string text) {
    setText(&Texts::userAc, std::move(text));
}
std::string gf_userAcText() {
    return textOf(&Texts::userAc);
}
void gf_setUserStandText(std::string text) {
    setText(&Texts::userStand, std::move(text));
}
std::string gf_userStandText() {
    return textOf(&Texts::userStand);
}

void gf_resetSimStatusTexts() {
    auto& t = texts();
    {
        std::lock_guard guard(t.lock);
        t.simulator.clear();
        t.userAc.clear();
        t.userStand.clear();
    }
    gSimRunningShown.store(false);
}

} // namespace tamrix
