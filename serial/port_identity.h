#pragma once

#include <optional>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/port_probe.h"

// What identifies a port beyond its name, read from sysfs and the udev links without opening
// anything, so that a USB adapter can be found again under another ttyUSB number.
namespace serial {

struct PortIdentity {
    std::string path;      // the device as given, e.g. /dev/ttyUSB0
    std::string byIdPath;  // DEVDIR/serial/by-id/... leading to it; empty where udev made none
    // The USB device above the tty; all empty for a port that is no USB adapter.
    std::string manufacturer;  // e.g. "FTDI"
    std::string product;       // e.g. "FT232R USB UART"
    std::string serialNumber;  // e.g. "A10K3XYZ"; many adapters have none
    std::string vendorId;      // four hex digits, as sysfs writes them
    std::string productId;
    std::string usbPort;       // where it is plugged in, e.g. "1-1.2"
    std::string usbInterface;  // "configuration.interface", e.g. "1.0": one port of a multi-port
                               // adapter
    // When `path` is a symbolic link (a simulator's), the link's own inode: the same link still
    // there after its device went away may lead to a pseudo-terminal number used again by
    // another program, so only a link made anew counts as the device back.
    uint64_t linkInode = 0;

    bool IsUsb() const { return !vendorId.empty(); }
    // The same kind of adapter with the same serial number (empty on both sides counts as equal),
    // on the same interface.
    bool SameAdapter(const PortIdentity& other) const;
};

// The identity of `port` (a listed name such as "ttyUSB0", or a path; a path through links, e.g.
// a by-id name, is followed to the tty it leads to). Reads config.sysClassTty and
// config.devDir/serial/by-id only.
PortIdentity ReadPortIdentity(const std::string& port, const ProbeConfig& config);

// "FT232R USB UART (A10K3XYZ)": the model, the serial number in parentheses when there is one;
// empty for a port that is no USB adapter.
std::string DescribeAdapter(const PortIdentity& identity);

// "ttyUSB0 — FT232R USB UART (A10K3XYZ)" (an em dash), or the bare name without an adapter text.
std::string PortDisplayText(const std::string& name, const std::string& adapter);

// The current path of the device `identity` was read from: by its by-id link while that exists
// (not for an adapter without a serial number: twins share that name); for a USB adapter, else
// the tty whose adapter is the same (SameAdapter; of several, the one on the same USB port; without
// a serial number, only one on the same USB port), never the old path by its name alone; for any
// other port, `identity.path` while a character device is there. Nothing is opened.
std::optional<std::string> FindPortByIdentity(const PortIdentity& identity,
                                              const ProbeConfig& config);

// The folders in which the device coming back shows up: DEVDIR, DEVDIR/serial/by-id and the folders
// of the identity's paths, those that exist now. Watch them again after a wake-up: by-id may
// appear later.
std::vector<std::string> PortFolders(const PortIdentity& identity, const ProbeConfig& config);

}  // namespace serial
