#include "serial/port_probe.h"

#include <sys/stat.h>

#include <fstream>
#include <utility>

#include "serial/serial_port.h"

namespace serial {
namespace {

std::vector<std::string> g_extraPorts;

// A ttyS node with no UART behind it opens fine and then fails every read and write. Its sysfs
// "type" is 0 (PORT_UNKNOWN).
bool IsPlaceholderUart(const std::string& sysClassTty, const std::string& name) {
    if (name.rfind("ttyS", 0) != 0) return false;
    std::ifstream type(sysClassTty + "/" + name + "/type");
    int value = -1;
    return type >> value && value == 0;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void ProbeOne(const std::string& listedName, ProbeResult* result) {
    CSerialPort probe;
    bool opened = probe.Open(listedName);
    platform::OpenError why = probe.LastOpenError();
    probe.Close();
    if (opened) {
        result->names.push_back(listedName);
    } else if (why == platform::OpenError::NoPermission) {
        result->denied.push_back({listedName, DescribeOpenError(why, listedName)});
    }
}

}  // namespace

const std::vector<std::string> kDeviceFamilies = {"ttyS",   "ttyUSB",   "ttyACM", "ttyAMA",
                                                  "rfcomm", "ttyXRUSB", "ttyGS",  "ttyTHS"};

void SetExtraPorts(std::vector<std::string> paths) {
    g_extraPorts = std::move(paths);
}

const std::vector<std::string>& ExtraPorts() {
    return g_extraPorts;
}

ProbeResult ProbePorts(const ProbeConfig& config) {
    ProbeResult result;
    for (const auto& path : config.extraPorts) ProbeOne(path, &result);
    const bool realDev = config.devDir == "/dev";
    for (const auto& family : kDeviceFamilies) {
        for (int n = 0; n <= 255; ++n) {
            std::string name = family + std::to_string(n);
            std::string path = config.devDir + "/" + name;
            if (!Exists(path) || IsPlaceholderUart(config.sysClassTty, name)) continue;
            ProbeOne(realDev ? name : path, &result);
        }
    }
    return result;
}

ProbeResult ProbePorts() {
    ProbeConfig config;
    config.extraPorts = g_extraPorts;
    return ProbePorts(config);
}

std::string DescribeOpenError(platform::OpenError error, const std::string& name,
                              const std::string& holder) {
    const std::string path = CSerialPort::DevicePath(name);
    switch (error) {
        case platform::OpenError::None:
            return path + " is open.";
        case platform::OpenError::NoSuchDevice:
            return path + " does not exist.";
        case platform::OpenError::NoPermission:
            return "You may not open " + path +
                   ": serial ports belong to the group \"dialout\". Add your user to it "
                   "(sudo adduser $USER dialout), then log out and in again.";
        case platform::OpenError::InUse:
            return path + " is in use by " + (holder.empty() ? "another program" : holder) + ".";
        case platform::OpenError::NotSerial:
            return path + " is not a serial device.";
        case platform::OpenError::Other:
            break;
    }
    return path + " could not be opened.";
}

}  // namespace serial
