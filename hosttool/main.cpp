#include "fendrac.h"

#include <cstdio>

int main()
{
    std::puts("usage: fendrac [--device DEVICE] [--json] [--lock] COMMAND [ARGUMENTS]");
    return 64;
}
