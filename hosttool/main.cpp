// fendrac: the reader's USB commands from a PC's command line.
#include "hosttool/command_table.hpp"

int main(int argc, char** argv) { return tool::run_command_line(argc, argv); }
