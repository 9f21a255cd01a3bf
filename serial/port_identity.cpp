#include "serial/port_identity.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/file_check.h"
#include "platform/tty_devices.h"
#include "serial/serial_port.h"

namespace fs = std::filesystem;

namespace serial {
namespace {

// A sysfs attribute without its line end; empty when missing.
std::string Attribute(const fs::path& dir, const char* name) {
    std::ifstream in(dir / name);
    std::string value;
    std::getline(in, value);
    while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
    return value;
}

bool IsCharacterDevice(const std::string& path) {
    const platform::NodeAccess access = platform::CheckNodeAccess(path);
    return access == platform::NodeAccess::Allowed || access == platform::NodeAccess::Denied;
}

// The tty that `path` stands for: its own name when sysfs knows it, else the names along its
// chain of links (a by-id link, a link of our own). Empty when none is a tty with hardware.
std::string TtyName(fs::path path, const std::string& sysClassTty) {
    std::error_code error;
    for (int hop = 0; hop < 16; ++hop) {
        const std::string name = path.filename().string();
        if (!name.empty() && fs::exists(fs::path(sysClassTty) / name / "device", error)) {
            return name;
        }
        if (!fs::is_symlink(path, error)) break;
        const fs::path target = fs::read_symlink(path, error);
        if (error) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return "";
}

// The USB device is the first directory above the tty's device that has idVendor; the one just
// below it is the interface ("1-1:1.0"). A tty of the system board meets /sys/devices first.
void ReadUsbDevice(const fs::path& sysTty, PortIdentity* identity) {
    std::error_code error;
    fs::path dir = fs::canonical(sysTty / "device", error);
    if (error) return;
    fs::path below;
    while (dir.has_relative_path() && dir.filename() != "devices") {
        if (fs::exists(dir / "idVendor", error)) {
            identity->vendorId = Attribute(dir, "idVendor");
            identity->productId = Attribute(dir, "idProduct");
            identity->manufacturer = Attribute(dir, "manufacturer");
            identity->product = Attribute(dir, "product");
            identity->serialNumber = Attribute(dir, "serial");
            identity->usbPort = dir.filename().string();
            const std::string interface = below.filename().string();
            if (const size_t colon = interface.find(':'); colon != std::string::npos) {
                identity->usbInterface = interface.substr(colon + 1);
            }
            return;
        }
        below = dir;
        dir = dir.parent_path();
    }
}

// The link under DEVDIR/serial/by-id that leads to the same node as `path`.
std::string ByIdLink(const std::string& path, const std::string& devDir) {
    std::error_code error;
    const fs::path node = fs::canonical(path, error);
    if (error) return "";
    std::vector<std::string> links;
    for (fs::directory_iterator it(fs::path(devDir) / "serial" / "by-id", error), end;
         !error && it != end; it.increment(error)) {
        std::error_code resolveError;
        if (fs::canonical(it->path(), resolveError) == node && !resolveError) {
            links.push_back(it->path().string());
        }
    }
    std::sort(links.begin(), links.end());
    return links.empty() ? "" : links.front();
}

}  // namespace

bool PortIdentity::SameAdapter(const PortIdentity& other) const {
    return vendorId == other.vendorId && productId == other.productId &&
           manufacturer == other.manufacturer && product == other.product &&
           serialNumber == other.serialNumber && usbInterface == other.usbInterface;
}

PortIdentity ReadPortIdentity(const std::string& port, const ProbeConfig& config) {
    PortIdentity identity;
    identity.path = CSerialPort::DevicePath(port);
    identity.byIdPath = ByIdLink(identity.path, config.devDir);
    identity.linkInode = platform::SymlinkInode(identity.path);
    const std::string name = TtyName(identity.path, config.sysClassTty);
    if (!name.empty()) ReadUsbDevice(fs::path(config.sysClassTty) / name, &identity);
    return identity;
}

std::string DescribeAdapter(const PortIdentity& identity) {
    if (!identity.IsUsb()) return "";
    std::string text = !identity.product.empty() ? identity.product
                       : !identity.manufacturer.empty()
                           ? identity.manufacturer
                           : identity.vendorId + ":" + identity.productId;
    if (!identity.serialNumber.empty()) text += " (" + identity.serialNumber + ")";
    return text;
}

std::string PortDisplayText(const std::string& name, const std::string& adapter) {
    return adapter.empty() ? name : name + " \xE2\x80\x94 " + adapter;  // U+2014 in UTF-8
}

std::optional<std::string> FindPortByIdentity(const PortIdentity& identity,
                                              const ProbeConfig& config) {
    // Twin adapters without a serial number share one by-id name: it leads to either.
    const bool byIdIsOwn = !identity.IsUsb() || !identity.serialNumber.empty();
    if (byIdIsOwn && !identity.byIdPath.empty() && IsCharacterDevice(identity.byIdPath)) {
        const std::string name = TtyName(identity.byIdPath, config.sysClassTty);
        const std::string node = config.devDir + "/" + name;
        return !name.empty() && IsCharacterDevice(node) ? node : identity.byIdPath;
    }
    if (!identity.IsUsb()) {
        const bool leftBehind =
            identity.linkInode != 0 && platform::SymlinkInode(identity.path) == identity.linkInode;
        if (!leftBehind && IsCharacterDevice(identity.path)) return identity.path;
        return std::nullopt;
    }
    // Never the old path by its name alone: after a re-enumeration it may be another adapter.
    std::vector<platform::TtyDevice> ttys = platform::ListTtyDevices(config.sysClassTty);
    std::sort(ttys.begin(), ttys.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    std::vector<PortIdentity> matches;
    for (const platform::TtyDevice& tty : ttys) {
        const std::string node = config.devDir + "/" + tty.name;
        if (tty.placeholder || !IsCharacterDevice(node)) continue;
        PortIdentity candidate = ReadPortIdentity(node, config);
        if (!candidate.IsUsb() || !candidate.SameAdapter(identity)) continue;
        // Without a serial number only the USB port tells twins apart.
        if (identity.serialNumber.empty() && candidate.usbPort != identity.usbPort) continue;
        matches.push_back(candidate);
    }
    if (matches.size() == 1) return matches.front().path;
    for (const PortIdentity& match : matches) {
        if (match.usbPort == identity.usbPort) return match.path;
    }
    return std::nullopt;
}

std::vector<std::string> PortFolders(const PortIdentity& identity, const ProbeConfig& config) {
    std::vector<std::string> folders;
    std::set<fs::path> seen;
    for (const fs::path& dir :
         {fs::path(config.devDir), fs::path(config.devDir) / "serial" / "by-id",
          fs::path(identity.path).parent_path(), fs::path(identity.byIdPath).parent_path()}) {
        std::error_code error;
        if (dir.empty() || !fs::is_directory(dir, error)) continue;
        if (seen.insert(fs::canonical(dir, error)).second) folders.push_back(dir.string());
    }
    return folders;
}

}  // namespace serial
