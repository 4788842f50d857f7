// Quorvel's process entry.
#include <string>
#include <vector>

#include "app/process_entry.hpp"
#include "platform/win32/close_signals.hpp"

#ifdef QUORVEL_WITH_FLTK
#include "platform/fltk/fltk_face.hpp"
#endif

int main(int argc, char** argv) {
    // "--help" and a start outside the program folder are answered before anything else: not
    // even the display is looked at.
    if (const auto answer = tamrix::gf_answerBeforeStart(std::vector<std::string>(argv, argv + argc))) return *answer;
    // Close requests are taken from here on, also while a display that does not answer is
    // waited for; every thread started later leaves them to the signal thread.
    platform::win32::startCloseSignalThread();
#ifdef QUORVEL_WITH_FLTK
    platform::fltk::installWhenDisplayed(); // the window is shown only when a display is there
#endif
    return tamrix::gf_quorvelMain(argc, argv);
}
