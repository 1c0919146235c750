#include "tpinspect/inspection.hpp"

int main(int argc, char** argv) { return tpinspect::tpinspect_main(argc, argv); }
