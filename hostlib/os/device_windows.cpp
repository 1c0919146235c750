// The device layer bound to the Windows API: volume handles, the storage
// driver's requests, and the device-open broker through COM.
#include "hostlib/os/host_device.hpp"
#include "hostlib/pass_through.hpp"

#include <windows.h>
#include <ntddscsi.h>
#include <oleauto.h>

#include <cstddef>
#include <cwchar>

namespace hostos {
namespace {

// The record handed to the driver is ours; it must be the driver's own
// layout, field for field.
using fendrac::ScsiPassThrough;
static_assert(sizeof(SCSI_PASS_THROUGH) == sizeof(ScsiPassThrough));
static_assert(offsetof(SCSI_PASS_THROUGH, ScsiStatus) == offsetof(ScsiPassThrough, ScsiStatus));
static_assert(offsetof(SCSI_PASS_THROUGH, PathId) == offsetof(ScsiPassThrough, PathId));
static_assert(offsetof(SCSI_PASS_THROUGH, TargetId) == offsetof(ScsiPassThrough, TargetId));
static_assert(offsetof(SCSI_PASS_THROUGH, Lun) == offsetof(ScsiPassThrough, Lun));
static_assert(offsetof(SCSI_PASS_THROUGH, CdbLength) == offsetof(ScsiPassThrough, CdbLength));
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoLength) == offsetof(ScsiPassThrough, SenseInfoLength));
static_assert(offsetof(SCSI_PASS_THROUGH, DataIn) == offsetof(ScsiPassThrough, DataIn));
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == offsetof(ScsiPassThrough, DataTransferLength));
static_assert(offsetof(SCSI_PASS_THROUGH, TimeOutValue) == offsetof(ScsiPassThrough, TimeOutValue));
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == offsetof(ScsiPassThrough, DataBufferOffset));
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == offsetof(ScsiPassThrough, SenseInfoOffset));
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == offsetof(ScsiPassThrough, Cdb));
static_assert(IOCTL_SCSI_PASS_THROUGH == kIoctlScsiPassThrough);

// The broker: an out-of-process COM server that opens a volume on the
// caller's behalf. Its method sits in vtable slot 7.
struct BrokerVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(void* self, REFIID, void**);
    ULONG(STDMETHODCALLTYPE* AddRef)(void* self);
    ULONG(STDMETHODCALLTYPE* Release)(void* self);
    void* slot3;
    void* slot4;
    void* slot5;
    void* slot6;
    HRESULT(STDMETHODCALLTYPE* OpenDevice)(void* self, BSTR path, DWORD process_id, HANDLE* handle);
};
struct Broker {
    const BrokerVtbl* vtbl;
};
static_assert(offsetof(BrokerVtbl, OpenDevice) == 7 * sizeof(void*));

// No broker is installed with the library; these name the one a system may
// register.
constexpr CLSID kBrokerClass = {0x5d3c9a71, 0x2b4e, 0x4f18, {0x9a, 0x61, 0x3e, 0x70, 0xc2, 0x15, 0x8d, 0x44}};
constexpr IID kBrokerInterface = {0x5d3c9a72, 0x2b4e, 0x4f18, {0x9a, 0x61, 0x3e, 0x70, 0xc2, 0x15, 0x8d, 0x44}};

}  // namespace

Handle open_volume(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

Handle open_volume_ansi(const char* path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       0, nullptr);
}

void close_volume(Handle handle) { CloseHandle(handle); }

bool device_io_control(Handle handle, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                       std::uint32_t out_size, std::uint32_t& returned)
{
    DWORD count = 0;
    const BOOL ok = DeviceIoControl(handle, code, in, in_size, out, out_size, &count, nullptr);
    returned = count;
    return ok != FALSE;
}

Handle broker_open(const wchar_t* path, std::uint32_t process_id)
{
    void* object = nullptr;
    if (FAILED(CoCreateInstance(kBrokerClass, nullptr, CLSCTX_LOCAL_SERVER, kBrokerInterface, &object)) ||
        object == nullptr)
        return INVALID_HANDLE_VALUE;
    auto* broker = static_cast<Broker*>(object);
    BSTR text = SysAllocStringLen(path, static_cast<UINT>(std::wcslen(path)));
    HANDLE handle = INVALID_HANDLE_VALUE;
    const HRESULT result = broker->vtbl->OpenDevice(broker, text, process_id, &handle);
    SysFreeString(text);
    broker->vtbl->Release(broker);
    return SUCCEEDED(result) ? handle : INVALID_HANDLE_VALUE;
}

}  // namespace hostos
