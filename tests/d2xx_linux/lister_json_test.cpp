// torvane-list --json over fake sysfs trees modelled on real hardware, through
// this libftd2xx.so (the one the lister loads by default): every field of
// every row, the vendor's device information matched to the right row also
// where serials do not tell the devices apart.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/d2xx_linux/fake_sysfs.h"
#include "tests/d2xx_linux/shown_versions.h"

namespace {

using nlohmann::json;

struct PipeCloser {
    void operator()(FILE* f) const { pclose(f); }
};

json ListerJson() {
    const std::string command = std::string("env -u TORVANE_SIM '") + TORVANE_LIST_PROGRAM "' --json 2>/dev/null";
    std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    std::string out;
    char buffer[512];
    while (pipe && !std::feof(pipe.get()))
        if (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
    return json::parse(out, nullptr, false);
}

using shown_versions::KernelVersionShown;

// One expected row; the driver version is the running kernel's.
struct Row {
    int com;
    std::string description;
    std::string serial;
    std::string usbId;
    std::string chip;
    std::uint32_t location;
    json channel;
};

json Expected(const Row& row) {
    return {{"port", "COM" + std::to_string(row.com)},
            {"description", row.description},
            {"driver_version", KernelVersionShown()},
            {"serial", row.serial},
            {"com", row.com},
            {"device", "/dev/ttyUSB" + std::to_string(row.com - 33)},
            {"usb_id", row.usbId},
            {"chip", row.chip},
            {"location", row.location},
            {"channel", row.channel}};
}

struct Tree {
    const char* name;
    std::vector<fake_sysfs::UsbDevice> devices;
    std::vector<Row> rows;
};

std::vector<Tree> Trees() {
    using fake_sysfs::Ft2232h;
    using fake_sysfs::Ft232r;
    using fake_sysfs::Ft4232h;
    fake_sysfs::UsbDevice dual = Ft2232h("1-2", "", 0, 1);
    dual.serial.reset();
    fake_sysfs::UsbDevice copy = Ft232r("1-2", "A50285BI", 1);
    copy.product = "USB Serial";
    return {
        {"an FT232R", {Ft232r("1-1", "A5003MQZ", 3)},
         {{36, "FT232R USB UART", "A5003MQZ", "0403:6001", "FT232R", 0x111, nullptr}}},
        {"an FT2232H without a serial",
         {dual},
         {{33, "Dual RS232-HS", "A", "0403:6010", "FT2232H", 0x121, "A"},
          {34, "Dual RS232-HS", "B", "0403:6010", "FT2232H", 0x122, "B"}}},
        {"an FT4232H behind a hub",
         {Ft4232h("1-1.3", std::string("FT4Q"), 4)},
         {{37, "Quad RS232-HS", "FT4QA", "0403:6011", "FT4232H", 0x1131, "A"},
          {38, "Quad RS232-HS", "FT4QB", "0403:6011", "FT4232H", 0x1132, "B"},
          {39, "Quad RS232-HS", "FT4QC", "0403:6011", "FT4232H", 0x1133, "C"},
          {40, "Quad RS232-HS", "FT4QD", "0403:6011", "FT4232H", 0x1134, "D"}}},
        {"two FT232R clones sharing a serial",
         {Ft232r("1-1", "A50285BI", 0), copy},
         {{33, "FT232R USB UART", "A50285BI", "0403:6001", "FT232R", 0x111, nullptr},
          {34, "USB Serial", "A50285BI", "0403:6001", "FT232R", 0x121, nullptr}}},
    };
}

TEST(ListerJson, EveryFieldOfEveryRowOverRealHardwareTrees) {
    for (const Tree& t : Trees()) {
        SCOPED_TRACE(t.name);
        fake_sysfs::Tree tree;
        for (const fake_sysfs::UsbDevice& device : t.devices) tree.Add(device);
        json devices = json::array();
        for (const Row& row : t.rows) devices.push_back(Expected(row));
        const json expected = {
            {"format", 1},
            {"library_version", shown_versions::LibraryVersionShown()},
            {"devices", devices}};
        EXPECT_EQ(ListerJson(), expected);
    }
}

}  // namespace
