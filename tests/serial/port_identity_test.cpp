#include "serial/port_identity.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <list>

#include "platform/pseudo_terminal.h"

namespace fs = std::filesystem;
using serial::FindPortByIdentity;
using serial::ReadPortIdentity;

namespace {

// /dev and /sys laid out as Linux does: /sys/class/tty/NAME links into /sys/devices, where a USB
// adapter's tty sits below its interface (1-1:1.0) and its device (1-1), below the root hub
// (usb1, which has idVendor too). Device nodes lead to pseudo-terminals.
struct FakeSystem {
    fs::path root = fs::temp_directory_path() / ("zel-identity-" + std::to_string(::getpid()));
    fs::path hub = root / "sys/devices/usb1", byId = root / "dev/serial/by-id";
    std::list<platform::PseudoTerminal> ptys;
    serial::ProbeConfig config;

    FakeSystem() {
        fs::remove_all(root);
        fs::create_directories(byId);
        fs::create_directories(root / "sys/class/tty");
        Usb("", "", "Root hub", "");
        config.devDir = (root / "dev").string();
        config.sysClassTty = (root / "sys/class/tty").string();
    }
    ~FakeSystem() { fs::remove_all(root); }
    std::string Node(const std::string& name) const { return config.devDir + "/" + name; }
    void Tty(const std::string& name, const fs::path& device) {
        const fs::path classDir = device / "tty" / name, classLink = root / "sys/class/tty" / name;
        fs::create_directories(classDir);
        fs::create_symlink(fs::relative(device, classDir), classDir / "device");
        fs::create_symlink(fs::relative(classDir, classLink.parent_path()), classLink);
        EXPECT_TRUE(ptys.emplace_back().Open(false));
        fs::create_symlink(ptys.back().SlavePath(), Node(name));
    }
    void Usb(const std::string& name, const std::string& port, const std::string& product,
             const std::string& serial) {
        const fs::path device = port.empty() ? hub : hub / port;
        fs::create_directories(device);
        std::ofstream(device / "idVendor") << "0403\n";
        std::ofstream(device / "idProduct") << "6001\n";
        std::ofstream(device / "product") << product << "\n";
        if (!serial.empty()) std::ofstream(device / "serial") << serial << "\n";
        if (!name.empty()) Tty(name, device / (port + ":1.0"));
    }
    void Unplug(const std::string& name, const std::string& port) {  // udev drops its links too
        for (const fs::path& p : {hub / port, root / "sys/class/tty" / name, fs::path(Node(name))})
            fs::remove_all(p);
        for (const auto& link : fs::directory_iterator(byId))
            if (!fs::exists(link.path())) fs::remove(link.path());
    }
};

}  // namespace

TEST(PortIdentity, Names_usb_adapters_by_model_and_serial_number_and_other_ports_by_name) {
    FakeSystem system;
    system.Usb("ttyUSB0", "1-1", "FT232R USB UART", "A10K3XYZ");
    const std::string byId = (system.byId / "usb-FTDI_A10K3XYZ-if00-port0").string();
    fs::create_symlink("../../ttyUSB0", byId);
    system.Usb("ttyUSB1", "1-2", "CP2102", "");
    system.Tty("ttyS1", system.root / "sys/devices/platform/serial8250");
    const struct {
        std::string port, adapter, byId, usbPort;
    } cases[] = {
        {system.Node("ttyUSB0"), "FT232R USB UART (A10K3XYZ)", byId, "1-1"},
        {byId, "FT232R USB UART (A10K3XYZ)", byId, "1-1"},
        {system.Node("ttyUSB1"), "CP2102", "", "1-2"},
        {system.Node("ttyS1"), "", "", ""},
    };
    for (const auto& c : cases) {
        const serial::PortIdentity identity = ReadPortIdentity(c.port, system.config);
        EXPECT_EQ(serial::DescribeAdapter(identity), c.adapter) << c.port;
        EXPECT_EQ(identity.byIdPath, c.byId) << c.port;
        EXPECT_EQ(identity.usbPort, c.usbPort) << c.port;
    }
    EXPECT_EQ(serial::PortDisplayText("ttyUSB0", cases[0].adapter),
              "ttyUSB0 \u2014 FT232R USB UART (A10K3XYZ)");
    EXPECT_EQ(serial::PortDisplayText("ttyS1", ""), "ttyS1");
    EXPECT_EQ(serial::ProbePorts(system.config).adapters,
              (std::vector<std::string>{"", cases[0].adapter, "CP2102"}));
}

TEST(PortIdentity, Finds_the_adapter_again_under_another_number_and_never_another_in_its_place) {
    FakeSystem system;
    system.Usb("ttyUSB0", "1-1", "FT232R", "A10K3XYZ");
    fs::create_symlink("../../ttyUSB0", system.byId / "usb-FTDI_A10K3XYZ");
    system.Usb("ttyUSB1", "1-2", "CP2102", "");
    system.Usb("ttyUSB2", "1-3", "CP2102", "");  // its twin, no serial number either
    const auto ftdi = ReadPortIdentity(system.Node("ttyUSB0"), system.config);
    const auto bridge = ReadPortIdentity(system.Node("ttyUSB2"), system.config);
    system.Unplug("ttyUSB0", "1-1");
    system.Unplug("ttyUSB2", "1-3");
    system.Usb("ttyUSB0", "1-4", "FT232R", "B77QQ1");  // another adapter takes the old number
    EXPECT_EQ(FindPortByIdentity(ftdi, system.config), std::nullopt);
    EXPECT_EQ(FindPortByIdentity(bridge, system.config), std::nullopt) << "not its twin";

    system.Usb("ttyUSB3", "1-1", "FT232R", "A10K3XYZ");  // before udev has made the by-id link
    EXPECT_EQ(FindPortByIdentity(ftdi, system.config), system.Node("ttyUSB3"));
    fs::create_symlink("../../ttyUSB3", system.byId / "usb-FTDI_A10K3XYZ");
    EXPECT_EQ(FindPortByIdentity(ftdi, system.config), system.Node("ttyUSB3"));
    system.Usb("ttyUSB4", "1-3", "CP2102", "");
    EXPECT_EQ(FindPortByIdentity(bridge, system.config), system.Node("ttyUSB4"));
}

TEST(PortIdentity, Finds_a_port_that_is_no_adapter_again_only_through_a_link_made_anew) {
    FakeSystem system;
    platform::PseudoTerminal pty;
    ASSERT_TRUE(pty.Open(false));
    // The pty's number, as a link the test can point elsewhere, behind a simulator's link.
    const std::string number = (system.root / "pts-number").string();
    const std::string link = (system.root / "ttyZEL0").string();
    fs::create_symlink(pty.SlavePath(), number);
    fs::create_symlink(number, link);
    const serial::PortIdentity remembered = ReadPortIdentity(link, system.config);
    pty.Close();
    EXPECT_EQ(FindPortByIdentity(remembered, system.config), std::nullopt);
    // The number used again by another program: the link left behind leads to a device again.
    platform::PseudoTerminal other;
    ASSERT_TRUE(other.Open(false));
    fs::remove(number);
    fs::create_symlink(other.SlavePath(), number);
    EXPECT_EQ(FindPortByIdentity(remembered, system.config), std::nullopt);
    // The simulator back, its link renamed into place.
    fs::create_symlink(number, link + ".new");
    fs::rename(link + ".new", link);
    EXPECT_EQ(FindPortByIdentity(remembered, system.config), link);
}
