// A planted Windows API call: the seam guard must report it in code that
// may reach Windows only through the library's OS layer.
#include <windows.h>

void* seam_guard_offender(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}
