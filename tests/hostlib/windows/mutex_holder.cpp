// A second process for the tests: takes a named mutex, says so through the
// event READY, and holds it until the event RELEASE is set.
//     mutex_holder NAME READY RELEASE
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, argv[1]);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (mutex == nullptr || ready == nullptr || release == nullptr)
        return 3;
    if (WaitForSingleObject(mutex, 10000) != WAIT_OBJECT_0)
        return 4;
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    ReleaseMutex(mutex);
    return 0;
}
