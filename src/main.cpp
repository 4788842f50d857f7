// Quorvel's process entry.
#include "app/process_entry.hpp"

#ifdef QUORVEL_WITH_FLTK
#include "platform/fltk/fltk_face.hpp"
#endif

int main(int argc, char** argv) {
#ifdef QUORVEL_WITH_FLTK
    platform::fltk::installWhenDisplayed(); // the window is shown only when a display is there
#endif
    return tamrix::gf_quorvelMain(argc, argv);
}
