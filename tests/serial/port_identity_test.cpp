#include "serial/port_identity.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "platform/pseudo_terminal.h"

namespace fs = std::filesystem;
using serial::FindPortByIdentity;
using serial::ReadPortIdentity;

namespace {

// A /dev and a /sys laid out as Linux does: /sys/class/tty/NAME links into /sys/devices, where
// a USB adapter's tty sits below its interface (1-1:1.0) and its device (1-1). The device nodes
// lead to pseudo-terminals.
struct FakeSystem {
    fs::path root = fs::temp_directory_path() / ("zel-identity-" + std::to_string(::getpid()));
    fs::path hub = root / "sys/devices/pci0000:00/0000:00:14.0/usb1";
    std::vector<std::unique_ptr<platform::PseudoTerminal>> ptys;

    FakeSystem() {
        fs::remove_all(root);
        fs::create_directories(root / "sys/class/tty");
        fs::create_directories(root / "dev/serial/by-id");
        Attributes(hub, {{"idVendor", "1d6b"}, {"idProduct", "0002"}});  // the root hub
    }
    ~FakeSystem() { fs::remove_all(root); }
    serial::ProbeConfig Config() const {
        serial::ProbeConfig config;
        config.devDir = (root / "dev").string();
        config.sysClassTty = (root / "sys/class/tty").string();
        return config;
    }
    std::string Node(const std::string& name) const { return (root / "dev" / name).string(); }
    static void Attributes(const fs::path& dir, const std::map<std::string, std::string>& values) {
        fs::create_directories(dir);
        for (const auto& [name, value] : values) std::ofstream(dir / name) << value << "\n";
    }
    // The tty `name` whose device is `device` (a directory under /sys/devices), and its node.
    void Tty(const std::string& name, const fs::path& device) {
        const fs::path classDir = device / "tty" / name;
        fs::create_directories(classDir);
        fs::create_symlink(fs::relative(device, classDir), classDir / "device");
        fs::create_symlink(fs::relative(classDir, root / "sys/class/tty"),
                           root / "sys/class/tty" / name);
        ptys.push_back(std::make_unique<platform::PseudoTerminal>());
        EXPECT_TRUE(ptys.back()->Open(false));
        fs::create_symlink(ptys.back()->SlavePath(), root / "dev" / name);
    }
    void Usb(const std::string& name, const std::string& port,
             const std::map<std::string, std::string>& attributes) {
        Attributes(hub / port, attributes);
        Tty(name, hub / port / (port + ":1.0"));
    }
    void ById(const std::string& link, const std::string& name) {
        fs::create_symlink("../../" + name, root / "dev/serial/by-id" / link);
    }
    void Unplug(const std::string& name, const std::string& port) {
        fs::remove_all(hub / port);
        for (const fs::path& dir : {root / "sys/class/tty", root / "dev"}) fs::remove(dir / name);
        for (const auto& link : fs::directory_iterator(root / "dev/serial/by-id")) {
            if (!fs::exists(link.path())) fs::remove(link.path());
        }
    }
};

const std::map<std::string, std::string> kFtdi = {{"idVendor", "0403"},
                                                  {"idProduct", "6001"},
                                                  {"manufacturer", "FTDI"},
                                                  {"product", "FT232R USB UART"},
                                                  {"serial", "A10K3XYZ"}};
const std::map<std::string, std::string> kBridge = {
    {"idVendor", "10c4"}, {"idProduct", "ea60"}, {"product", "CP2102 USB to UART Bridge"}};

}  // namespace

TEST(PortIdentity, Names_usb_adapters_by_model_and_serial_number_and_other_ports_by_name) {
    FakeSystem system;
    system.Usb("ttyUSB0", "1-1", kFtdi);
    system.ById("usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0", "ttyUSB0");
    system.Usb("ttyUSB1", "1-2", kBridge);
    system.Tty("ttyS1", system.root / "sys/devices/platform/serial8250");
    const std::string byId =
        system.Node("serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0");
    struct Case {
        std::string port, adapter, byId, usbPort;
    } const cases[] = {
        {system.Node("ttyUSB0"), "FT232R USB UART (A10K3XYZ)", byId, "1-1"},
        {byId, "FT232R USB UART (A10K3XYZ)", byId, "1-1"},
        {system.Node("ttyUSB1"), "CP2102 USB to UART Bridge", "", "1-2"},
        {system.Node("ttyS1"), "", "", ""},
    };
    for (const Case& c : cases) {
        const serial::PortIdentity identity = ReadPortIdentity(c.port, system.Config());
        EXPECT_EQ(serial::DescribeAdapter(identity), c.adapter) << c.port;
        EXPECT_EQ(identity.byIdPath, c.byId) << c.port;
        EXPECT_EQ(identity.usbPort, c.usbPort) << c.port;
    }
    EXPECT_EQ(serial::PortDisplayText("ttyUSB0", "FT232R USB UART (A10K3XYZ)"),
              "ttyUSB0 \u2014 FT232R USB UART (A10K3XYZ)");
    EXPECT_EQ(serial::PortDisplayText("ttyS1", ""), "ttyS1");

    const serial::ProbeResult probed = serial::ProbePorts(system.Config());
    EXPECT_EQ(probed.adapters, (std::vector<std::string>{"", "FT232R USB UART (A10K3XYZ)",
                                                         "CP2102 USB to UART Bridge"}));
}

TEST(PortIdentity, Finds_the_adapter_again_under_another_number_and_never_another_in_its_place) {
    FakeSystem system;
    system.Usb("ttyUSB0", "1-1", kFtdi);
    system.ById("usb-FTDI_A10K3XYZ", "ttyUSB0");
    const serial::PortIdentity remembered =
        ReadPortIdentity(system.Node("ttyUSB0"), system.Config());
    EXPECT_EQ(FindPortByIdentity(remembered, system.Config()), system.Node("ttyUSB0"));

    system.Unplug("ttyUSB0", "1-1");
    std::map<std::string, std::string> other = kFtdi;
    other["serial"] = "B77QQ1";
    system.Usb("ttyUSB0", "1-3", other);  // another adapter takes the old number
    EXPECT_EQ(FindPortByIdentity(remembered, system.Config()), std::nullopt);

    system.Usb("ttyUSB1", "1-1", kFtdi);  // before udev has made the by-id link
    EXPECT_EQ(FindPortByIdentity(remembered, system.Config()), system.Node("ttyUSB1"));
    system.ById("usb-FTDI_A10K3XYZ", "ttyUSB1");
    EXPECT_EQ(FindPortByIdentity(remembered, system.Config()), system.Node("ttyUSB1"));
}

TEST(PortIdentity, Tells_twin_adapters_without_serial_number_apart_by_their_usb_port) {
    FakeSystem system;
    system.Usb("ttyUSB0", "1-1", kBridge);
    system.Usb("ttyUSB1", "1-2", kBridge);
    const serial::PortIdentity remembered =
        ReadPortIdentity(system.Node("ttyUSB1"), system.Config());
    system.Unplug("ttyUSB1", "1-2");
    EXPECT_EQ(FindPortByIdentity(remembered, system.Config()), std::nullopt);
    system.Usb("ttyUSB2", "1-2", kBridge);
    EXPECT_EQ(FindPortByIdentity(remembered, system.Config()), system.Node("ttyUSB2"));
}

TEST(PortIdentity, Finds_a_port_that_is_no_adapter_by_its_path_while_a_device_is_there) {
    FakeSystem system;
    platform::PseudoTerminal pty;
    ASSERT_TRUE(pty.Open(false));
    const std::string link = (system.root / "ttyZEL0").string();
    fs::create_symlink(pty.SlavePath(), link);
    const serial::PortIdentity remembered = ReadPortIdentity(link, system.Config());
    EXPECT_FALSE(remembered.IsUsb());
    EXPECT_EQ(FindPortByIdentity(remembered, system.Config()), link);
    pty.Close();
    EXPECT_EQ(FindPortByIdentity(remembered, system.Config()), std::nullopt);
}
