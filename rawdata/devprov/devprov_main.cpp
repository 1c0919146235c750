#include "platform/standard_output.hpp"
#include "rawdata/devprov/devprov.hpp"

int main(int argc, char** argv) { return sys::with_standard_output(devprov::devprov_main(argc, argv), 255); }
