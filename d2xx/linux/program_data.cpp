#include "d2xx/linux/program_data.h"

#include <algorithm>
#include <cstring>

#include "d2xx/linux/ftdi_chips.h"

namespace ftdi_linux {
namespace {

constexpr std::uint8_t kSelfPoweredBit = 0x40;
constexpr std::uint8_t kRemoteWakeupBit = 0x20;

std::uint8_t Flag(bool value) { return value ? 1 : 0; }

void FillVersion0(const ChannelDescriptors& source, FT_PROGRAM_DATA& record) {
    record.VendorId = source.vendorId;
    record.ProductId = source.productId;
    CopyTerminated(record.Manufacturer, kManufacturerCapacity, source.manufacturer);
    // The descriptors do not carry the EEPROM's manufacturer id.
    CopyTerminated(record.ManufacturerId, kManufacturerIdCapacity, "");
    CopyTerminated(record.Description, kDescriptionCapacity, source.description);
    CopyTerminated(record.SerialNumber, kSerialNumberCapacity, source.serialNumber);
    record.MaxPower = source.maxPowerMa.value_or(0);
    record.PnP = 0;
    const std::uint8_t attributes = source.configAttributes.value_or(0);
    record.SelfPowered = Flag(attributes & kSelfPoweredBit);
    record.RemoteWakeup = Flag(attributes & kRemoteWakeupBit);
}

// Fields from Rev4 to BIsVCP: those of FT232B and FT2232C/D chips.
void FillVersion1(const ChannelDescriptors& source, Chip chip, FT_PROGRAM_DATA& record) {
    auto* first = &record.Rev4;
    auto* last = &record.BIsVCP;
    std::memset(first, 0, static_cast<std::size_t>(reinterpret_cast<char*>(last + 1) - reinterpret_cast<char*>(first)));
    const std::uint16_t usbVersion = source.bcdUsb.value_or(0);
    if (chip == Chip::FT232B) {
        record.Rev4 = 1;
        record.SerNumEnable = Flag(source.hasSerialNumber);
        record.USBVersion = usbVersion;
    } else if (chip == Chip::FT2232CD) {
        record.Rev5 = 1;
        record.SerNumEnable5 = Flag(source.hasSerialNumber);
        record.USBVersion5 = usbVersion;
    }
}

// Fields from UseExtOsc to RIsD2XX: those of FT232R chips.
void FillVersion2(const ChannelDescriptors& source, Chip chip, FT_PROGRAM_DATA& record) {
    auto* first = &record.UseExtOsc;
    auto* last = &record.RIsD2XX;
    std::memset(first, 0, static_cast<std::size_t>(reinterpret_cast<char*>(last + 1) - reinterpret_cast<char*>(first)));
    if (chip == Chip::FT232R) record.SerNumEnableR = Flag(source.hasSerialNumber);
}

}  // namespace

void CopyTerminated(char* dst, std::size_t capacity, std::string_view text) {
    if (dst == nullptr || capacity == 0) return;
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(dst, text.data(), n);
    dst[n] = '\0';
}

void CopyListed(char* dst, std::size_t capacity, std::string_view text) {
    if (dst == nullptr || capacity == 0) return;
    const std::size_t n = std::min(text.size(), capacity);
    std::memcpy(dst, text.data(), n);
    if (n < capacity) dst[n] = '\0';
}

bool HasValidSignatures(const FT_PROGRAM_DATA& record) {
    return record.Signature1 == 0x00000000u && record.Signature2 == 0xFFFFFFFFu;
}

void FillProgramData(const ChannelDescriptors& source, FT_PROGRAM_DATA& record) {
    const Chip chip = IdentifyChip(source.productId, source.bcdDevice);
    FillVersion0(source, record);
    if (record.Version >= 1) FillVersion1(source, chip, record);
    if (record.Version >= 2) FillVersion2(source, chip, record);
}

}  // namespace ftdi_linux
