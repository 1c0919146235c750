#include "display/command_line.hpp"

int main(int argc, char** argv) { return morvane::morvane_main(argc, argv); }
