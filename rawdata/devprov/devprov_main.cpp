#include "rawdata/devprov/devprov.hpp"

int main(int argc, char** argv) { return devprov::devprov_main(argc, argv); }
