#include "display/command_line.hpp"
#include "platform/standard_output.hpp"

// A result that could not be printed ends with the write's errno, as
// morvane's other failures do.
int main(int argc, char** argv)
{
    const int status = morvane::morvane_main(argc, argv);
    const int output_error = sys::flush_standard_output();
    return status == 0 ? output_error : status;
}
