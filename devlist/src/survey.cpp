// The registry port survey: FTDI port records from ENUM\FTDIBUS, the system's
// serial port map from HARDWARE\DeviceMap\SERIALCOMM, and the marks of the
// records whose port the map lists.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "devlist/registry.h"
#include "devlist/unit2.h"

namespace devlist {

std::array<USBDEVICE, kUsbDeviceRecords> USBDevices;

namespace {

constexpr int kSerialCommEntries = 255;
using SerialCommMap = std::array<std::string, kSerialCommEntries>;

std::vector<std::string> FtdiBusSubKeyNames(Registry& registry) {
    std::vector<std::string> names;
    const auto ftdibus = OpenKeyChain(registry, {{"ENUM", KeyAccess::Full}, {"FTDIBUS", KeyAccess::Read}});
    if (!ftdibus || !ftdibus->HasSubKeys()) return names;
    // A failure part way leaves the names gathered so far, which are still read.
    ftdibus->ListSubKeyNames(names);
    return names;
}

// Re-reads one record. A record whose key is missing keeps its old contents;
// one whose values fail to read keeps its old texts (never a mix of old and
// new) and is left unmarked.
void ReadPortRecord(Registry& registry, const std::string& subKeyName, USBDEVICE& record) {
    const auto key = OpenKeyChain(registry, {{"Enum", KeyAccess::Read},
                                             {"FTDIBUS", KeyAccess::Read},
                                             {subKeyName, KeyAccess::Read},
                                             {"0000", KeyAccess::Read}});
    if (!key) return;
    record.Present = 0;
    std::string classGuid = ReadRegistryString(*key, "ClassGUID");
    std::string friendlyName = ReadRegistryString(*key, "FriendlyName");
    std::string portName = ReadRegistryString(*key, "PortName");
    record.ClassGUID = std::move(classGuid);
    record.FriendlyName = std::move(friendlyName);
    record.PortName = std::move(portName);
}

void ReadPortRecords(Registry& registry) {
    try {
        const std::vector<std::string> names = FtdiBusSubKeyNames(registry);
        const std::size_t records = std::min<std::size_t>(names.size(), kUsbDeviceRecords);
        for (std::size_t k = 0; k < records; ++k) ReadPortRecord(registry, names[k], USBDevices[k]);
    } catch (const RegistryError&) {
        // A bad value ends this phase quietly; the port map is still read.
    }
}

SerialCommMap ReadSerialCommMap(Registry& registry) {
    SerialCommMap ports;
    for (int n = 0; n < kSerialCommEntries; ++n) {
        const auto serialComm = OpenKeyChain(
            registry, {{"HARDWARE\\DeviceMap", KeyAccess::Full}, {"SERIALCOMM", KeyAccess::Read}});
        // A wrongly typed or unreadable value is not caught: it ends the refresh.
        if (serialComm) ports[n] = ReadRegistryString(*serialComm, "COM" + std::to_string(n));
    }
    return ports;
}

void MarkListedPorts(const SerialCommMap& ports) {
    for (USBDEVICE& record : USBDevices) {
        if (record.PortName.empty()) continue;
        if (std::find(ports.begin(), ports.end(), record.PortName) != ports.end()) record.Present = 1;
    }
}

}  // namespace

void ScanRegistryPorts() {
    Registry& registry = InstalledRegistry();
    ReadPortRecords(registry);
    MarkListedPorts(ReadSerialCommMap(registry));
}

}  // namespace devlist
