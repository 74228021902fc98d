// The Linux vendor-ABI library (d2xx/linux) over a fake sysfs tree of 1,000
// channels: 250 four-channel chips without serial numbers, the box that lists
// "A", "B", "C", "D" over and over, so that every row takes the by-location
// path. One round makes the library calls of one refresh of all 1,000 rows:
// count, then per row close, serial and location by index, open by location,
// EEPROM read, driver version and COM port; a second measure is the list alone
// (count and every row's serial). The baseline, interleaved with them
// in the same run, is a plain walk of the same tree: open every device
// directory and read the four attributes the list needs. Prints the medians of
// wall and process CPU time of both and their ratio.
#include <dirent.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "d2xx/ftd2xx_abi.h"
#include "tests/d2xx_linux/fake_sysfs.h"
#include "tests/d2xx_linux/program_data_record.h"

namespace {

constexpr int kChips = 250;
constexpr int kRounds = 7;

struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
};

double ProcessCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

template <typename Work>
Cost Measure(Work work) {
    const auto wall = std::chrono::steady_clock::now();
    const double cpu = ProcessCpuMs();
    work();
    return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count(),
            ProcessCpuMs() - cpu};
}

using d2xx_abi::ValueArgument;

// The library calls of one refresh of every row; the number of rows that filled.
int RefreshCalls() {
    std::uint32_t count = 0;
    if (FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) return 0;
    int filled = 0;
    FT_HANDLE handle = nullptr;
    for (std::uint32_t index = 0; index < count; ++index) {
        FT_Close(handle);
        char serial[16];
        std::uint32_t location = 0, version = 0;
        std::int32_t port = 0;
        program_data_record::Record eeprom;
        if (FT_ListDevices(ValueArgument(index), serial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER) == FT_OK &&
            FT_ListDevices(ValueArgument(index), &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION) == FT_OK &&
            FT_OpenEx(ValueArgument(location), FT_OPEN_BY_LOCATION, &handle) == FT_OK && FT_EE_Read(handle, &eeprom.data) == FT_OK &&
            FT_GetDriverVersion(handle, &version) == FT_OK && FT_GetComPortNumber(handle, &port) == FT_OK)
            ++filled;
    }
    FT_Close(handle);
    return filled;
}

// The list alone: the count and every row's serial; the number of rows listed.
int ListCalls() {
    std::uint32_t count = 0;
    if (FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) return 0;
    int listed = 0;
    for (std::uint32_t index = 0; index < count; ++index) {
        char serial[16];
        if (FT_ListDevices(ValueArgument(index), serial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER) == FT_OK) ++listed;
    }
    return listed;
}

void ReadAttribute(int dir, const char* name) {
    const int fd = openat(dir, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char buffer[256];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
    close(fd);
}

// The plain walk: every device directory opened, the list's four attributes read.
int PlainWalk(const std::string& root) {
    DIR* bus = opendir((root + "/bus/usb/devices").c_str());
    if (bus == nullptr) return 0;
    int devices = 0;
    while (const dirent* entry = readdir(bus)) {
        if (entry->d_name[0] == '.' || std::string(entry->d_name).find(':') != std::string::npos) continue;
        const int dir = openat(dirfd(bus), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) continue;
        for (const char* name : {"idVendor", "idProduct", "serial", "product"}) ReadAttribute(dir, name);
        close(dir);
        ++devices;
    }
    closedir(bus);
    return devices;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    fake_sysfs::Tree tree;
    for (int chip = 0; chip < kChips; ++chip)
        tree.Add(fake_sysfs::Ft4232h("1-" + std::to_string(chip / 10 + 1) + "." + std::to_string(chip % 10 + 1),
                                     std::nullopt, 4 * chip));
    std::vector<double> refreshWall, refreshCpu, listWall, listCpu, walkWall, walkCpu;
    int filled = 0, listed = 0, walked = 0;
    for (int round = 0; round < kRounds; ++round) {
        const Cost refresh = Measure([&] { filled = RefreshCalls(); });
        const Cost list = Measure([&] { listed = ListCalls(); });
        const Cost walk = Measure([&] { walked = PlainWalk(tree.Root().string()); });
        refreshWall.push_back(refresh.wallMs);
        refreshCpu.push_back(refresh.cpuMs);
        listWall.push_back(list.wallMs);
        listCpu.push_back(list.cpuMs);
        walkWall.push_back(walk.wallMs);
        walkCpu.push_back(walk.cpuMs);
    }
    if (filled != 4 * kChips || listed != 4 * kChips || walked != kChips) {
        std::fprintf(stderr, "sysfs_list_bench: %d and %d of %d rows, %d of %d devices walked\n", filled, listed,
                     4 * kChips, walked, kChips);
        return 1;
    }
    std::printf("%d channels (%d chips), medians of %d interleaved rounds\n", 4 * kChips, kChips, kRounds);
    std::printf("%-44s %10s %10s\n", "", "wall ms", "CPU ms");
    std::printf("%-44s %10.1f %10.1f\n", "refresh calls of every row (library)", Median(refreshWall),
                Median(refreshCpu));
    std::printf("%-44s %10.1f %10.1f\n", "count and serial of every row (library)", Median(listWall),
                Median(listCpu));
    std::printf("%-44s %10.1f %10.1f\n", "plain walk of the tree (baseline)", Median(walkWall), Median(walkCpu));
    std::printf("%-44s %10.1f %10.1f\n", "ratio refresh calls / baseline", Median(refreshWall) / Median(walkWall),
                Median(refreshCpu) / Median(walkCpu));
    std::printf("%-44s %10.1f %10.1f\n", "ratio list / baseline", Median(listWall) / Median(walkWall),
                Median(listCpu) / Median(walkCpu));
    return 0;
}
