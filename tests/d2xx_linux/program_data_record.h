#pragma once
// An EEPROM record as D2XXUnit prepares it for FT_EE_Read: both signatures,
// a structure version, and text buffers of the documented sizes, pre-filled
// with a sentinel so that every byte the library writes shows. Header-only, so
// that the tests, the sysfs bench and the sysfs fuzzer share it whatever they
// link.
#include <array>
#include <cstdint>

#include "d2xx/ftd2xx_abi.h"

namespace program_data_record {

inline constexpr char kSentinel = '#';

struct Record {
    std::array<char, 64> manufacturer{};
    std::array<char, 16> manufacturerId{};
    std::array<char, 64> description{};
    std::array<char, 16> serialNumber{};
    FT_PROGRAM_DATA data{};

    explicit Record(std::uint32_t version = 2) {
        manufacturer.fill(kSentinel);
        manufacturerId.fill(kSentinel);
        description.fill(kSentinel);
        serialNumber.fill(kSentinel);
        data.Signature1 = 0;
        data.Signature2 = 0xFFFFFFFFu;
        data.Version = version;
        data.Manufacturer = manufacturer.data();
        data.ManufacturerId = manufacturerId.data();
        data.Description = description.data();
        data.SerialNumber = serialNumber.data();
    }
    Record(const Record&) = delete;  // data points into this object's buffers
    Record& operator=(const Record&) = delete;
};

}  // namespace program_data_record
