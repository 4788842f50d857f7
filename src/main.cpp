// Quorvel's process entry.
#include "app/process_entry.hpp"

int main(int argc, char** argv) { return tamrix::gf_quorvelMain(argc, argv); }
