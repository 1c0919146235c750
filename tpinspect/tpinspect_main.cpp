#include "platform/standard_output.hpp"
#include "tpinspect/inspection.hpp"

int main(int argc, char** argv) { return sys::with_standard_output(tpinspect::tpinspect_main(argc, argv), 255); }
