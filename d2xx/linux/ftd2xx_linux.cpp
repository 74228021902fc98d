// The vendor's D2XX functions (the seven the device list calls, the two
// device-information ones and the latency timer pair) served from sysfs for the FTDI converters
// attached to this machine. The kernel's ftdi_sio driver keeps the devices: an
// "open" here holds the device's sysfs directories, never the USB device or its
// ttyUSB node. Handles are generation-tagged entries of a table, so a closed or
// made-up handle is refused with FT_INVALID_HANDLE instead of being followed.
#include <sys/utsname.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

#include "d2xx/c_boundary.h"
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
    ChannelDirs dirs;
    FT_HANDLE handle = nullptr;  // the handle that designates this entry

    bool SameChannelAs(const ListedChannel& listed) const {
        return deviceName == listed.deviceName && channel == listed.channel;
    }
};

using Handles = HandleTable<OpenChannel>;
using SharedList = std::shared_ptr<const std::vector<ListedChannel>>;
using d2xx_abi::ArgumentValue;

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

// A list a walk built, for the root it walked. A count walks the tree and
// keeps the list; the by-index calls and opens that follow (one refresh) use
// it instead of walking again for every row. FT_CreateDeviceInfoList keeps its
// own, so that it never changes what a refresh between its count and its rows
// sees.
struct KeptList {
    std::mutex lock;
    std::string root;
    SharedList channels;
};

KeptList& RefreshList() {
    static KeptList& kept = *new KeptList;  // never destroyed: callers may come at exit
    return kept;
}

KeptList& InfoList() {
    static KeptList& kept = *new KeptList;
    return kept;
}

FT_STATUS WalkAndKeep(KeptList& kept, const std::string& root, SharedList& out) {
    ChannelList walked = ListChannels(root);
    std::lock_guard guard(kept.lock);
    if (walked.status != FT_OK) {
        kept.channels.reset();
        return walked.status;
    }
    out = std::make_shared<const std::vector<ListedChannel>>(std::move(walked.channels));
    kept.root = root;
    kept.channels = out;
    return FT_OK;
}

// The kept list of this root, or a fresh walk (then kept) when there is none.
FT_STATUS KeptOrWalk(KeptList& kept, const std::string& root, SharedList& out) {
    {
        std::lock_guard guard(kept.lock);
        if (kept.channels && kept.root == root) {
            out = kept.channels;
            return FT_OK;
        }
    }
    return WalkAndKeep(kept, root, out);
}

// The caller's text, read no further than its terminator or max bytes.
std::string_view CallerText(const void* text, std::size_t max) {
    const char* chars = static_cast<const char*>(text);
    return std::string_view(chars, strnlen(chars, max));
}

// The live handle that holds a listed channel, null when none does. A held
// channel cannot be opened again, as with the vendor's library; a handle whose
// device has gone does not hold it.
FT_HANDLE HolderOf(const ListedChannel& listed) {
    const OpenChannel* open = OpenHandles().FindIf([&](const OpenChannel& entry) {
        return entry.SameChannelAs(listed) && DevicePresent(entry.dirs.deviceDir.Get());
    });
    return open ? open->handle : nullptr;
}

// Opens the first listed channel that matches and that no live handle holds,
// provided the device there is still the one the list describes: one that has
// gone or changed since is a failed open, never a reason to open another
// device in its place. `matched` tells whether any listed channel matched.
template <typename Matches>
FT_STATUS OpenListed(const std::string& root, const std::vector<ListedChannel>& channels, Matches matches,
                     FT_HANDLE* handle, bool& matched) {
    std::lock_guard guard(TableLock());
    bool busy = false;
    for (const ListedChannel& listed : channels) {
        if (!matches(listed)) continue;
        matched = true;
        if (HolderOf(listed) != nullptr) {
            busy = true;
            continue;
        }
        OpenedChannel opened = OpenListedChannel(root, listed);
        if (opened.status != FT_OK) return opened.status;
        const auto value =
            OpenHandles().Insert(OpenChannel{listed.deviceName, listed.channel, std::move(opened.dirs)});
        if (!value) return FT_INSUFFICIENT_RESOURCES;
        *handle = reinterpret_cast<FT_HANDLE>(*value);
        OpenHandles().Find(*value)->handle = *handle;
        return FT_OK;
    }
    return busy ? FT_DEVICE_NOT_OPENED : FT_DEVICE_NOT_FOUND;
}

// Opens from the refresh's kept list. Only a serial, description or location
// that list does not know at all (a device plugged since it was read) is
// looked for in a fresh walk, which is not kept: the rows the refresh has yet
// to list stay those it counted.
template <typename Matches>
FT_STATUS OpenFirstMatching(Matches matches, FT_HANDLE* handle) {
    const std::string root = SysfsRoot();
    SharedList channels;
    if (const FT_STATUS status = KeptOrWalk(RefreshList(), root, channels); status != FT_OK) return status;
    bool matched = false;
    const FT_STATUS status = OpenListed(root, *channels, matches, handle, matched);
    if (matched) return status;
    const ChannelList fresh = ListChannels(root);
    if (fresh.status != FT_OK) return fresh.status;
    return OpenListed(root, fresh.channels, matches, handle, matched);
}

FT_STATUS ListOne(std::uint32_t index, void* output, std::uint32_t what) {
    if (output == nullptr) return FT_INVALID_PARAMETER;
    SharedList channels;
    if (const FT_STATUS status = KeptOrWalk(RefreshList(), SysfsRoot(), channels); status != FT_OK) return status;
    if (index >= channels->size()) return FT_DEVICE_NOT_FOUND;
    const ListedChannel& listed = (*channels)[index];
    if (what == FT_OPEN_BY_LOCATION)
        *static_cast<std::uint32_t*>(output) = listed.location;
    else if (what == FT_OPEN_BY_SERIAL_NUMBER)
        CopyListed(static_cast<char*>(output), kListedSerialMax, listed.listedSerial);
    else
        CopyListed(static_cast<char*>(output), kListedDescriptionMax, listed.listedDescription);
    return FT_OK;
}

std::optional<std::uint32_t> KernelVersion() {
    utsname names{};
    if (uname(&names) != 0) return std::nullopt;
    return PackReleaseText(names.release);
}


// The functions' bodies; the exported C functions below run them through
// CatchAtBoundary.
FT_STATUS ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (arg1 == nullptr) return FT_INVALID_PARAMETER;
        SharedList channels;
        if (const FT_STATUS status = WalkAndKeep(RefreshList(), SysfsRoot(), channels); status != FT_OK)
            return status;
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(channels->size());
        return FT_OK;
    }
    if (flags & FT_LIST_BY_INDEX) {
        const std::uint32_t what = flags & ~FT_LIST_BY_INDEX;
        if (what != FT_OPEN_BY_SERIAL_NUMBER && what != FT_OPEN_BY_DESCRIPTION && what != FT_OPEN_BY_LOCATION)
            return FT_INVALID_PARAMETER;
        // The index travels in the pointer argument itself.
        return ListOne(ArgumentValue(arg1), arg2, what);
    }
    return FT_INVALID_PARAMETER;
}

FT_STATUS OpenEx(void* arg1, std::uint32_t flags, FT_HANDLE* handle) {
    if (handle == nullptr) return FT_INVALID_PARAMETER;
    if (flags == FT_OPEN_BY_LOCATION) {
        // The location travels in the pointer argument itself.
        const std::uint32_t wanted = ArgumentValue(arg1);
        return OpenFirstMatching([&](const ListedChannel& c) { return c.location == wanted; }, handle);
    }
    if (arg1 == nullptr) return FT_INVALID_PARAMETER;
    if (flags == FT_OPEN_BY_SERIAL_NUMBER) {
        // One byte past the longest listed serial: a longer text matches nothing.
        const std::string_view wanted = CallerText(arg1, kListedSerialMax + 1);
        return OpenFirstMatching([&](const ListedChannel& c) { return c.listedSerial == wanted; }, handle);
    }
    if (flags == FT_OPEN_BY_DESCRIPTION) {
        const std::string_view wanted = CallerText(arg1, kListedDescriptionMax + 1);
        return OpenFirstMatching(
            [&](const ListedChannel& c) { return c.listedDescription == wanted; }, handle);
    }
    return FT_INVALID_PARAMETER;
}

FT_STATUS Close(FT_HANDLE handle) {
    std::lock_guard guard(TableLock());
    return OpenHandles().Remove(reinterpret_cast<Handles::Handle>(handle)) ? FT_OK : FT_INVALID_HANDLE;
}

// A call on an open handle, under the table lock: an unknown handle is
// FT_INVALID_HANDLE, arguments that are not `valid` FT_INVALID_PARAMETER, a
// device that has gone FT_IO_ERROR; else body(open channel).
template <typename Body>
FT_STATUS OnOpenChannel(FT_HANDLE handle, bool valid, Body body) {
    std::lock_guard guard(TableLock());
    const OpenChannel* open = FindOpen(handle);
    if (open == nullptr) return FT_INVALID_HANDLE;
    if (!valid) return FT_INVALID_PARAMETER;
    if (!DevicePresent(open->dirs.deviceDir.Get())) return FT_IO_ERROR;
    return body(*open);
}

FT_STATUS EeRead(FT_HANDLE handle, FT_PROGRAM_DATA* data) {
    return OnOpenChannel(handle, data != nullptr && HasValidSignatures(*data), [&](const OpenChannel& open) {
        const auto descriptors = ReadChannelDescriptors(open.dirs.deviceDir.Get(), open.dirs.interfaceDir.Get());
        if (!descriptors) return FT_IO_ERROR;
        FillProgramData(*descriptors, *data);
        return FT_OK;
    });
}

FT_STATUS GetDriverVersion(FT_HANDLE handle, std::uint32_t* version) {
    return OnOpenChannel(handle, version != nullptr, [&](const OpenChannel&) {
        const auto packed = KernelVersion();
        if (!packed) return FT_OTHER_ERROR;
        *version = *packed;
        return FT_OK;
    });
}

FT_STATUS GetLibraryVersion(std::uint32_t* version) {
    if (version == nullptr) return FT_INVALID_PARAMETER;
    *version = PackReleaseText(TORVANE_FTDI_LINUX_VERSION).value_or(0);
    return FT_OK;
}

FT_STATUS GetComPortNumber(FT_HANDLE handle, std::int32_t* portNumber) {
    return OnOpenChannel(handle, portNumber != nullptr, [&](const OpenChannel& open) {
        *portNumber = ComPortForTtyUsb(BoundTtyUsb(open.dirs.interfaceDir.Get()));
        return FT_OK;
    });
}

FT_STATUS GetLatencyTimer(FT_HANDLE handle, std::uint8_t* milliseconds) {
    return OnOpenChannel(handle, milliseconds != nullptr, [&](const OpenChannel& open) {
        return ReadLatencyTimer(open.dirs.interfaceDir.Get(), *milliseconds);
    });
}

// 0 is refused: the chips' timer runs from 1 ms (the kernel would take 0 and the chip treat it as 1).
FT_STATUS SetLatencyTimer(FT_HANDLE handle, std::uint8_t milliseconds) {
    return OnOpenChannel(handle, milliseconds != 0, [&](const OpenChannel& open) {
        return WriteLatencyTimer(open.dirs.interfaceDir.Get(), milliseconds);
    });
}

FT_STATUS CreateDeviceInfoList(std::uint32_t* count) {
    if (count == nullptr) return FT_INVALID_PARAMETER;
    SharedList channels;
    if (const FT_STATUS status = WalkAndKeep(InfoList(), SysfsRoot(), channels); status != FT_OK) return status;
    *count = static_cast<std::uint32_t>(channels->size());
    return FT_OK;
}

FT_STATUS GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type, std::uint32_t* id,
                              std::uint32_t* location, void* serial, void* description, FT_HANDLE* handle) {
    if (!flags || !type || !id || !location || !serial || !description || !handle) return FT_INVALID_PARAMETER;
    SharedList channels;
    if (const FT_STATUS status = KeptOrWalk(InfoList(), SysfsRoot(), channels); status != FT_OK) return status;
    if (index >= channels->size()) return FT_DEVICE_NOT_FOUND;
    const ListedChannel& listed = (*channels)[index];
    std::lock_guard guard(TableLock());
    const FT_HANDLE holder = HolderOf(listed);
    *flags = (holder ? FT_FLAGS_OPENED : 0u) | (listed.highSpeed ? FT_FLAGS_HISPEED : 0u);
    *type = listed.type;
    *id = listed.usbId;
    *location = listed.location;
    CopyListed(static_cast<char*>(serial), kListedSerialMax, listed.listedSerial);
    CopyListed(static_cast<char*>(description), kListedDescriptionMax, listed.listedDescription);
    *handle = holder;
    return FT_OK;
}

}  // namespace
}  // namespace ftdi_linux

using d2xx_boundary::CatchAtBoundary;
using namespace ftdi_linux;

extern "C" {

FT_EXPORT FT_STATUS FT_CALL FT_ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    return CatchAtBoundary([&] { return ListDevices(arg1, arg2, flags); });
}

FT_EXPORT FT_STATUS FT_CALL FT_OpenEx(void* arg1, std::uint32_t flags, FT_HANDLE* handle) {
    return CatchAtBoundary([&] { return OpenEx(arg1, flags, handle); });
}

FT_EXPORT FT_STATUS FT_CALL FT_Close(FT_HANDLE handle) {
    return CatchAtBoundary([&] { return Close(handle); });
}

FT_EXPORT FT_STATUS FT_CALL FT_EE_Read(FT_HANDLE handle, FT_PROGRAM_DATA* data) {
    return CatchAtBoundary([&] { return EeRead(handle, data); });
}

FT_EXPORT FT_STATUS FT_CALL FT_GetDriverVersion(FT_HANDLE handle, std::uint32_t* version) {
    return CatchAtBoundary([&] { return GetDriverVersion(handle, version); });
}

FT_EXPORT FT_STATUS FT_CALL FT_GetLibraryVersion(std::uint32_t* version) {
    return CatchAtBoundary([&] { return GetLibraryVersion(version); });
}

FT_EXPORT FT_STATUS FT_CALL FT_GetComPortNumber(FT_HANDLE handle, std::int32_t* portNumber) {
    return CatchAtBoundary([&] { return GetComPortNumber(handle, portNumber); });
}

FT_EXPORT FT_STATUS FT_CALL FT_GetLatencyTimer(FT_HANDLE handle, std::uint8_t* milliseconds) {
    return CatchAtBoundary([&] { return GetLatencyTimer(handle, milliseconds); });
}

FT_EXPORT FT_STATUS FT_CALL FT_SetLatencyTimer(FT_HANDLE handle, std::uint8_t milliseconds) {
    return CatchAtBoundary([&] { return SetLatencyTimer(handle, milliseconds); });
}

FT_EXPORT FT_STATUS FT_CALL FT_CreateDeviceInfoList(std::uint32_t* numDevices) {
    return CatchAtBoundary([&] { return CreateDeviceInfoList(numDevices); });
}

FT_EXPORT FT_STATUS FT_CALL FT_GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type,
                                                   std::uint32_t* id, std::uint32_t* locId, void* serialNumber,
                                                   void* description, FT_HANDLE* handle) {
    return CatchAtBoundary([&] {
        return GetDeviceInfoDetail(index, flags, type, id, locId, serialNumber, description, handle);
    });
}

}  // extern "C"
