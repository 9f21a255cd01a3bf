#include "serial/port_probe.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <filesystem>
#include <memory>
#include <set>
#include <tuple>
#include <utility>

#include "platform/tty_devices.h"
#include "serial/port_identity.h"
#include "serial/serial_port.h"

namespace serial {
namespace {

// The node a listed name leads to, so that one device is listed once under whatever name.
std::string Resolved(const std::string& name) {
    const std::string path = CSerialPort::DevicePath(name);
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    return error ? path : resolved.string();
}

// Families in their order, then the other names; within one, by number ("ttyUSB10" after
// "ttyUSB9").
auto ListingKey(const std::string& name) {
    const size_t digits = name.find_last_not_of("0123456789") + 1;
    const std::string prefix = name.substr(0, digits);
    long number = -1;
    if (digits < name.size()) {
        const char* end = name.data() + name.size();
        if (std::from_chars(name.data() + digits, end, number).ec != std::errc()) number = LONG_MAX;
    }
    const auto family = std::find(kDeviceFamilies.begin(), kDeviceFamilies.end(), prefix);
    return std::make_tuple(family - kDeviceFamilies.begin(), prefix, number, name);
}

void ProbeOne(const std::string& listedName, const ProbeConfig& config, ProbeResult* result) {
    CSerialPort probe(std::make_unique<platform::SerialDevice>(config.holders));
    const bool opened = probe.Open(listedName);
    const platform::OpenError why = probe.LastOpenError();
    if (opened) {
        result->names.push_back(listedName);
    } else if (why == platform::OpenError::NoPermission) {
        result->denied.push_back({listedName, DescribeOpenError(why, listedName)});
    } else if (why == platform::OpenError::InUse) {
        result->inUse.push_back(
            {listedName, DescribeOpenError(why, listedName, probe.LastOpenHolder())});
    }
    probe.Close();
}

}  // namespace

const std::vector<std::string> kDeviceFamilies = {"ttyS",   "ttyUSB",   "ttyACM", "ttyAMA",
                                                  "rfcomm", "ttyXRUSB", "ttyGS",  "ttyTHS"};

ProbeResult ProbePorts(const ProbeConfig& config) {
    ProbeResult result;
    std::set<std::string> listed;
    auto seen = [&listed](const std::string& name) {
        return !listed.insert(Resolved(name)).second;
    };
    if (!config.heldPort.empty()) {
        result.names.push_back(config.heldPort);
        seen(config.heldPort);
    }
    for (const auto& path : config.extraPorts) {
        if (!seen(path)) ProbeOne(path, config, &result);
    }

    // Opening a tty raises DTR and RTS and closing drops them, a pulse that resets many boards:
    // the devices found here are judged without being opened.
    std::vector<platform::TtyDevice> ttys = platform::ListTtyDevices(config.sysClassTty);
    std::sort(ttys.begin(), ttys.end(),
              [](const auto& a, const auto& b) { return ListingKey(a.name) < ListingKey(b.name); });
    platform::DeviceUsers users(config.holders);
    const bool realDev = config.devDir == "/dev";
    for (const platform::TtyDevice& tty : ttys) {
        if (tty.placeholder) continue;
        const std::string path = config.devDir + "/" + tty.name;
        const std::string name = realDev ? tty.name : path;
        const platform::NodeAccess access = platform::CheckNodeAccess(path);
        if (access == platform::NodeAccess::Missing ||
            access == platform::NodeAccess::NotCharacterDevice || seen(name)) {
            continue;
        }
        if (access == platform::NodeAccess::Denied) {
            result.denied.push_back(
                {name, DescribeOpenError(platform::OpenError::NoPermission, name)});
        } else if (auto holder = users.Holder(path, true)) {
            result.inUse.push_back({name, DescribeOpenError(platform::OpenError::InUse, name,
                                                            platform::DescribeHolder(*holder))});
        } else {
            result.names.push_back(name);
        }
    }
    for (const std::string& name : result.names) {
        result.adapters.push_back(DescribeAdapter(ReadPortIdentity(name, config)));
    }
    return result;
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
