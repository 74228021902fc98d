// The vendor's seven D2XX functions served from sysfs for the FTDI converters
// attached to this machine. The kernel's ftdi_sio driver keeps the devices: an
// "open" here holds the device's sysfs directories, never the USB device or its
// ttyUSB node. Handles are generation-tagged entries of a table, so a closed or
// made-up handle is refused with FT_INVALID_HANDLE instead of being followed.
#include <sys/utsname.h>

#include <cstring>
#include <mutex>
#include <string_view>

#include "d2xx/ftd2xx_abi.h"
#include "d2xx/linux/ftdi_chips.h"
#include "d2xx/linux/handle_table.h"
#include "d2xx/linux/program_data.h"
#include "d2xx/linux/sysfs.h"
#include "d2xx/linux/version_packing.h"

#ifndef TORVANE_FTDI_LINUX_VERSION
#error "TORVANE_FTDI_LINUX_VERSION must name this library's version"
#endif

namespace ftdi_linux {
namespace {

struct OpenChannel {
    std::string deviceName;
    int channel = 0;
    UniqueFd deviceDir;
    UniqueFd interfaceDir;

    bool SameChannelAs(const ListedChannel& listed) const {
        return deviceName == listed.deviceName && channel == listed.channel;
    }
};

using Handles = HandleTable<OpenChannel>;

// Every call that touches the table holds this lock for its whole run.
std::mutex& TableLock() {
    static std::mutex lock;
    return lock;
}

Handles& OpenHandles() {
    static Handles table;
    return table;
}

OpenChannel* FindOpen(FT_HANDLE handle) {
    return OpenHandles().Find(reinterpret_cast<Handles::Handle>(handle));
}

// The caller's text, read no further than its terminator or max bytes.
std::string_view CallerText(const void* text, std::size_t max) {
    const char* chars = static_cast<const char*>(text);
    return std::string_view(chars, strnlen(chars, max));
}

// A channel open through a live handle cannot be opened again, as with the
// vendor's library; a handle whose device has gone does not hold it.
bool AlreadyOpen(const ListedChannel& listed) {
    return OpenHandles().FindIf([&](const OpenChannel& open) {
        return open.SameChannelAs(listed) && DevicePresent(open.deviceDir.Get());
    }) != nullptr;
}

template <typename Matches>
FT_STATUS OpenFirstMatching(Matches matches, FT_HANDLE* handle) {
    std::vector<ListedChannel> channels = ListChannels(SysfsRoot());
    std::lock_guard guard(TableLock());
    bool busy = false;
    for (ListedChannel& listed : channels) {
        if (!matches(listed)) continue;
        if (AlreadyOpen(listed)) {
            busy = true;
            continue;
        }
        const auto value = OpenHandles().Insert(OpenChannel{listed.deviceName, listed.channel,
                                                            std::move(listed.deviceDir),
                                                            std::move(listed.interfaceDir)});
        if (!value) return FT_INSUFFICIENT_RESOURCES;
        *handle = reinterpret_cast<FT_HANDLE>(*value);
        return FT_OK;
    }
    return busy ? FT_DEVICE_NOT_OPENED : FT_DEVICE_NOT_FOUND;
}

FT_STATUS ListOne(std::uint32_t index, char* buffer, std::uint32_t what) {
    if (buffer == nullptr) return FT_INVALID_PARAMETER;
    const std::vector<ListedChannel> channels = ListChannels(SysfsRoot());
    if (index >= channels.size()) return FT_DEVICE_NOT_FOUND;
    const ListedChannel& listed = channels[index];
    if (what == FT_OPEN_BY_SERIAL_NUMBER)
        CopyListed(buffer, kListedSerialMax, listed.listedSerial);
    else
        CopyListed(buffer, kListedDescriptionMax, listed.descriptors.description);
    return FT_OK;
}

std::optional<std::uint32_t> KernelVersion() {
    utsname names{};
    if (uname(&names) != 0) return std::nullopt;
    return PackReleaseText(names.release);
}

}  // namespace
}  // namespace ftdi_linux

using namespace ftdi_linux;

extern "C" {

FT_EXPORT FT_STATUS FT_CALL FT_ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (arg1 == nullptr) return FT_INVALID_PARAMETER;
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(ListChannels(SysfsRoot()).size());
        return FT_OK;
    }
    if (flags & FT_LIST_BY_INDEX) {
        const std::uint32_t what = flags & ~FT_LIST_BY_INDEX;
        if (what != FT_OPEN_BY_SERIAL_NUMBER && what != FT_OPEN_BY_DESCRIPTION) return FT_INVALID_PARAMETER;
        // The index travels in the pointer argument itself.
        const auto index = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(arg1));
        return ListOne(index, static_cast<char*>(arg2), what);
    }
    return FT_INVALID_PARAMETER;
}

FT_EXPORT FT_STATUS FT_CALL FT_OpenEx(void* arg1, std::uint32_t flags, FT_HANDLE* handle) {
    if (arg1 == nullptr || handle == nullptr) return FT_INVALID_PARAMETER;
    if (flags == FT_OPEN_BY_SERIAL_NUMBER) {
        // One byte past the longest listed serial: a longer text matches nothing.
        const std::string_view wanted = CallerText(arg1, kListedSerialMax + 1);
        return OpenFirstMatching([&](const ListedChannel& c) { return c.listedSerial == wanted; }, handle);
    }
    if (flags == FT_OPEN_BY_DESCRIPTION) {
        const std::string_view wanted = CallerText(arg1, kListedDescriptionMax + 1);
        return OpenFirstMatching(
            [&](const ListedChannel& c) {
                return std::string_view(c.descriptors.description).substr(0, kListedDescriptionMax) == wanted;
            },
            handle);
    }
    return FT_INVALID_PARAMETER;
}

FT_EXPORT FT_STATUS FT_CALL FT_Close(FT_HANDLE handle) {
    std::lock_guard guard(TableLock());
    return OpenHandles().Remove(reinterpret_cast<Handles::Handle>(handle)) ? FT_OK : FT_INVALID_HANDLE;
}

FT_EXPORT FT_STATUS FT_CALL FT_EE_Read(FT_HANDLE handle, FT_PROGRAM_DATA* data) {
    std::lock_guard guard(TableLock());
    OpenChannel* open = FindOpen(handle);
    if (open == nullptr) return FT_INVALID_HANDLE;
    if (data == nullptr || !HasValidSignatures(*data)) return FT_INVALID_PARAMETER;
    const auto descriptors = ReadChannelDescriptors(open->deviceDir.Get(), open->interfaceDir.Get());
    if (!descriptors) return FT_IO_ERROR;
    FillProgramData(*descriptors, *data);
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_CALL FT_GetDriverVersion(FT_HANDLE handle, std::uint32_t* version) {
    std::lock_guard guard(TableLock());
    OpenChannel* open = FindOpen(handle);
    if (open == nullptr) return FT_INVALID_HANDLE;
    if (version == nullptr) return FT_INVALID_PARAMETER;
    if (!DevicePresent(open->deviceDir.Get())) return FT_IO_ERROR;
    const auto packed = KernelVersion();
    if (!packed) return FT_OTHER_ERROR;
    *version = *packed;
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_CALL FT_GetLibraryVersion(std::uint32_t* version) {
    if (version == nullptr) return FT_INVALID_PARAMETER;
    *version = PackReleaseText(TORVANE_FTDI_LINUX_VERSION).value_or(0);
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_CALL FT_GetComPortNumber(FT_HANDLE handle, std::int32_t* portNumber) {
    std::lock_guard guard(TableLock());
    OpenChannel* open = FindOpen(handle);
    if (open == nullptr) return FT_INVALID_HANDLE;
    if (portNumber == nullptr) return FT_INVALID_PARAMETER;
    if (!DevicePresent(open->deviceDir.Get())) return FT_IO_ERROR;
    *portNumber = ComPortForTtyUsb(BoundTtyUsb(open->interfaceDir.Get()));
    return FT_OK;
}

}  // extern "C"
