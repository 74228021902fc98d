// Fuzzes the simulated vendor library through its C interface with raw bytes:
// the first part of the input is written as a scenario file, bytes and all
// (zero bytes, broken UTF-8, trailing garbage), and loaded; the rest drives a
// sequence of the seven functions with arbitrary flags, indices, texts and
// handles. Checked: no crash or sanitizer report; a refused scenario leaves
// the failed state (every call FT_OTHER_ERROR, a fault text) and a loaded one
// none; every call adds exactly one line to the call log.
#include <fuzzer/FuzzedDataProvider.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "d2xx/ftd2xx_abi.h"
#include "d2xx/sim/sim_control.h"

namespace {

[[noreturn]] void Violation(const std::string& what) {
    std::fprintf(stderr, "scenario property violated: %s\n", what.c_str());
    std::abort();
}

const std::string& ScenarioPath() {
    static const std::string path = "/tmp/torvane-scenario-fuzz-" + std::to_string(getpid()) + ".json";
    static const bool removedAtExit = std::atexit([] { std::remove(ScenarioPath().c_str()); }) == 0;
    (void)removedAtExit;
    return path;
}

std::size_t LogLineCount() {
    std::size_t lines = 0;
    for (const char* c = TorvaneSim_CallLog(); *c; ++c) lines += *c == '\n';
    return lines;
}

using d2xx_abi::ValueArgument;

std::uint32_t Flags(FuzzedDataProvider& in) {
    static const std::uint32_t kShapes[] = {
        FT_LIST_NUMBER_ONLY, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION,
        FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER,
        FT_OPEN_BY_SERIAL_NUMBER, FT_OPEN_BY_DESCRIPTION, FT_OPEN_BY_LOCATION};
    return in.ConsumeBool() ? in.PickValueInArray(kShapes) : in.ConsumeIntegral<std::uint32_t>();
}

// One vendor call chosen by the input; its status.
FT_STATUS OneCall(FuzzedDataProvider& in, std::vector<FT_HANDLE>& handles) {
    // Room past every documented size: the "overrun" mode writes a 17th byte.
    char buffer[96] = {};
    char manufacturer[96], manufacturerId[96], description[96], serial[96];
    const auto handle = [&]() -> FT_HANDLE {
        if (!handles.empty() && in.ConsumeBool())
            return handles[in.ConsumeIntegralInRange<std::size_t>(0, handles.size() - 1)];
        return reinterpret_cast<FT_HANDLE>(static_cast<std::uintptr_t>(in.ConsumeIntegralInRange(0, 8)));
    };
    switch (in.ConsumeIntegralInRange(0, 6)) {
        case 0: {
            const std::uint32_t flags = Flags(in);
            void* first = flags & FT_LIST_BY_INDEX ? ValueArgument(in.ConsumeIntegralInRange(0, 300)) : buffer;
            return FT_ListDevices(first, in.ConsumeIntegralInRange(0, 7) ? buffer : nullptr, flags);
        }
        case 1: {
            const std::uint32_t flags = Flags(in);
            const std::string text = in.ConsumeRandomLengthString(40);
            std::memcpy(buffer, text.c_str(), text.size() + 1);
            FT_HANDLE opened = nullptr;
            void* first = flags == FT_OPEN_BY_LOCATION ? ValueArgument(in.ConsumeIntegral<std::uint32_t>()) : buffer;
            const FT_STATUS status = FT_OpenEx(first, flags, &opened);
            if (status == FT_OK) handles.push_back(opened);
            return status;
        }
        case 2: return FT_Close(handle());
        case 3: {
            FT_PROGRAM_DATA data{};
            data.Signature2 = in.ConsumeIntegralInRange(0, 7) ? 0xFFFFFFFFu : in.ConsumeIntegral<std::uint32_t>();
            data.Version = in.ConsumeIntegralInRange<std::uint32_t>(0, 3);
            data.Manufacturer = manufacturer;
            data.ManufacturerId = manufacturerId;
            data.Description = in.ConsumeIntegralInRange(0, 7) ? description : nullptr;
            data.SerialNumber = serial;
            return FT_EE_Read(handle(), &data);
        }
        case 4: {
            std::uint32_t version = 0;
            return FT_GetDriverVersion(handle(), in.ConsumeIntegralInRange(0, 7) ? &version : nullptr);
        }
        case 5: {
            std::uint32_t version = 0;
            return FT_GetLibraryVersion(&version);
        }
        default: {
            std::int32_t port = 0;
            return FT_GetComPortNumber(handle(), &port);
        }
    }
}

// Loads the scenario file with stderr (the fault's one line) sent to /dev/null
// for the span of the load, so that the fuzzer's own output stays readable.
bool QuietLoad() {
    static const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    if (devNull >= 0) dup2(devNull, STDERR_FILENO);
    const bool loaded = TorvaneSim_LoadScenarioFile(ScenarioPath().c_str()) == 0;
    std::fflush(stderr);
    if (saved >= 0) {
        dup2(saved, STDERR_FILENO);
        close(saved);
    }
    return loaded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string scenario = in.ConsumeRandomLengthString(4096);
    std::ofstream(ScenarioPath(), std::ios::binary | std::ios::trunc) << scenario;
    const bool loaded = QuietLoad();
    const bool hasFault = *TorvaneSim_LastError() != '\0';
    if (loaded == hasFault) Violation(loaded ? "a loaded scenario with a fault" : "a refused scenario without one");

    std::vector<FT_HANDLE> handles;
    std::size_t calls = 0;
    while (in.remaining_bytes() > 0 && calls < 64) {
        const FT_STATUS status = OneCall(in, handles);
        ++calls;
        if (!loaded && status != FT_OTHER_ERROR) Violation("the failed state answered " + std::to_string(status));
    }
    if (LogLineCount() != calls) Violation("the call log does not have one line per call");
    return 0;
}
