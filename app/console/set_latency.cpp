#include "app/console/set_latency.h"

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string_view>
#include <vector>

#include "app/console/port_details.h"
#include "app/window_options.h"
#include "d2xx/D2XXUnit.h"
#include "torvane/cp1250.h"

namespace torvane_list {
namespace {

using Json = nlohmann::ordered_json;

constexpr char kPrefix[] = "torvane-list: ";

// ASCII only, as port names are (and without the C library's locale tables).
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) { return Upper(x) == Upper(y); });
}

bool IsText(const Json& value, std::string_view text) { return value.is_string() && value.get<std::string>() == text; }

bool NamesConverter(const Json& converter, const std::string& port) {
    const Json& portCell = converter["port"];
    if (portCell.is_string() && SameIgnoringCase(portCell.get<std::string>(), port)) return true;
    return IsText(converter["device"], port) || IsText(converter["by_id"], port) || IsText(converter["by_path"], port);
}

// How messages name a converter: its port, else its device, else its serial,
// escaped as a cell is (a device's serial may hold a newline).
std::string Label(const Json& converter) {
    for (const char* key : {"port", "device"}) {
        const Json& name = converter[key];
        if (name.is_string() && name != "????") return app::EscapeCell(name.get<std::string>());
    }
    return "serial " + app::EscapeCell(converter["serial"].get<std::string>());
}

std::vector<Json> Matching(const Json& converters, const std::string& port) {
    std::vector<Json> found;
    for (const Json& converter : converters)
        if (NamesConverter(converter, port)) found.push_back(converter);
    if (!found.empty()) return found;
    for (const Json& converter : converters)
        if (IsText(converter["serial"], port)) found.push_back(converter);
    return found;
}

// Keeps the D2XX layer's status dialogs off while the converter is opened:
// a failure is reported here, in one message.
class QuietDevice {
public:
    QuietDevice() : shown_(d2xx::ShowDeviceErrors) { d2xx::ShowDeviceErrors = false; }
    ~QuietDevice() {
        d2xx::Close_USB_Device_Handle();
        d2xx::ShowDeviceErrors = shown_;
    }
    QuietDevice(const QuietDevice&) = delete;
    QuietDevice& operator=(const QuietDevice&) = delete;

private:
    bool shown_;
};

// Opens by location where the vendor's information list gave one (it tells
// copies sharing a serial apart), else by serial.
FT_STATUS Open(const Json& converter) {
    d2xx::Close_USB_Device_Handle();
    if (converter["location"].is_number_unsigned())
        return d2xx::Open_USB_Device_By_Location(converter["location"].get<std::uint32_t>());
    return d2xx::Open_USB_Device_By_Serial_Number(torvane::Utf8ToCp1250(converter["serial"].get<std::string>()));
}

// The rule line for this converter, where the system has udev: the chip's USB
// serial is the listed one without its channel letter.
void PrintPermanentRule(const Json& converter, int milliseconds, std::ostream& err) {
    std::string serial = converter["serial"].get<std::string>();
    int interface = 0;
    if (converter["channel"].is_string() && !serial.empty()) {
        interface = converter["channel"].get<std::string>()[0] - 'A';
        serial.pop_back();
    }
    const std::optional<std::string> rule = PermanentLatencyRule(serial, interface, milliseconds);
    if (!rule) return;
    err << kPrefix << "to set it at every plug-in, put this line in a file under /etc/udev/rules.d/:\n"
        << *rule << '\n';
}

int ReportNotSet(const Json& converter, FT_STATUS status, int milliseconds, std::ostream& err) {
    err << kPrefix << Label(converter) << ": ";
    if (status == FT_DEVICE_NOT_OPENED_FOR_WRITE) {
        err << "no permission to change the latency timer (run as root)\n";
        PrintPermanentRule(converter, milliseconds, err);
    } else if (status == FT_NOT_SUPPORTED) {
        err << "the latency timer cannot be set through this vendor library or driver\n";
    } else {
        err << "the latency timer was not set (status " << status << ")\n";
    }
    return kExitLatencyNotSet;
}

}  // namespace

int SetLatency(int milliseconds, const std::string& port, Output& out, std::ostream& err) {
    const std::vector<Json> found = Matching(ListedDevices(err), port);
    const std::string portOption = "--port " + app::EscapeCell(port);
    if (found.empty()) {
        err << kPrefix << portOption << ": no listed converter has this port, device or serial number\n";
        return kExitNoSuchPort;
    }
    if (found.size() > 1) {
        err << kPrefix << portOption << ": serial number shared by " << found.size() << " converters (";
        for (std::size_t i = 0; i < found.size(); ++i) err << (i > 0 ? ", " : "") << Label(found[i]);
        err << "); name one by its port or device\n";
        return kExitNoSuchPort;
    }
    const Json& converter = found.front();
    const QuietDevice quiet;
    if (const FT_STATUS opened = Open(converter); opened != FT_OK) {
        err << kPrefix << Label(converter) << ": the converter could not be opened (status " << opened
            << "; unplugged?); nothing was written\n";
        return kExitLatencyNotSet;
    }
    const FT_STATUS set = d2xx::SetFTLatencyTimer(static_cast<std::uint8_t>(milliseconds));
    if (set != FT_OK) return ReportNotSet(converter, set, milliseconds, err);
    const int error = out.Write(Label(converter) + ": latency timer set to " + std::to_string(milliseconds) +
                                " ms, in effect until the converter is plugged in again\n");
    app::ReportWriteError(err, "torvane-list", error);
    return error == 0 ? kExitClean : kExitOutputError;
}

}  // namespace torvane_list
