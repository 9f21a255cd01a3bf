#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "device/device_state.h"
#include "device/tick.h"
#include "device/session_events.h"
#include "device_fixture.h"

namespace {

using device_test::DeviceTest;
using device_test::PtyLink;

class CommandTransport : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        Attach(&link.port);
    }
    PtyLink link;
};

TEST_F(CommandTransport, List_items_go_out_as_star_address_code_CR_after_their_echo) {
    const char* expected[] = {"*01C1\r", "*01C2\r", "*01C3\r", "*01C4\r", "*01IN\r"};
    std::string echoes;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(page.SendListCommand(i));
        EXPECT_EQ(link.HostSent(), expected[i]);
        echoes += ">>" + std::string(expected[i]) + "\n";
        EXPECT_EQ(g_lastEcho, ">>" + std::string(expected[i]) + "\n");
    }
    EXPECT_EQ(device::MonitorTextCopy(), echoes);
    EXPECT_EQ(monitor.Text(), echoes);
    EXPECT_EQ(monitor.ScrollCount(), 5);
    EXPECT_TRUE(page.m_command.empty());
}

TEST_F(CommandTransport, Reset_item_sends_the_fixed_frame_whatever_the_address) {
    dialog.m_deviceAddress = "07";
    ASSERT_TRUE(page.SendListCommand(5));
    EXPECT_EQ(link.HostSent(), "*01IN=RESET\r");
    EXPECT_EQ(device::MonitorTextCopy(), ">>*01IN=RESET\r\n");
    page.SendListCommand(0);
    EXPECT_EQ(link.HostSent(), "*07C1\r");
}

TEST_F(CommandTransport, No_selection_is_refused_and_sends_nothing) {
    g_continuousMode = true;
    EXPECT_FALSE(page.SendListCommand(-1));
    EXPECT_FALSE(page.SendListCommand(6));
    EXPECT_EQ(link.HostSent(), "");
    EXPECT_EQ(device::MonitorTextCopy(), "");
    EXPECT_TRUE(g_continuousMode);
}

TEST_F(CommandTransport, Single_commands_switch_the_tick_to_monitor_mode) {
    g_continuousMode = true;
    page.SendListCommand(2);
    EXPECT_FALSE(g_continuousMode);
    g_continuousMode = true;
    page.SetManualCommand("C3");
    page.SendManualCommand();
    EXPECT_FALSE(g_continuousMode);
}

TEST_F(CommandTransport, Manual_command_goes_out_trimmed_as_typed_plus_CR) {
    page.SetManualCommand("  \t*01wtb7=5 \r\n");
    EXPECT_EQ(page.m_manualCommand, "*01wtb7=5");
    page.SendManualCommand();
    EXPECT_EQ(link.HostSent(), "*01wtb7=5\r");
    EXPECT_EQ(device::MonitorTextCopy(), ">>*01wtb7=5\r\n");
}

TEST_F(CommandTransport, Empty_manual_command_sends_a_lone_CR) {
    page.SetManualCommand("   ");
    page.SendManualCommand();
    EXPECT_EQ(link.HostSent(), "\r");
    EXPECT_EQ(device::MonitorTextCopy(), ">>\r\n");
}

// A view that looks at the wire whenever the monitor changes.
class WireWatchingView : public device::TextView {
public:
    std::function<void()> onSet;
    void SetText(const std::string&) override { onSet(); }
    void ScrollToEnd() override {}
};

TEST_F(CommandTransport, Echo_reaches_the_monitor_before_the_command_is_written) {
    WireWatchingView view;
    std::string wireAtEcho = "unset";
    view.onSet = [&] { wireAtEcho = link.HostSent(); };
    g_monitorEdit = &view;
    page.SendListCommand(0);
    EXPECT_EQ(wireAtEcho, "");
    EXPECT_EQ(link.HostSent(), "*01C1\r");
}

TEST_F(CommandTransport, Collect_takes_at_most_512_bytes_a_read) {
    link.DeviceSends(std::string(600, 'x'));
    dialog.CollectResponse();
    EXPECT_EQ(device::ResponseTextCopy(), std::string(512, 'x'));
    dialog.CollectResponse();
    EXPECT_EQ(device::ResponseTextCopy(), std::string(88, 'x'));
    dialog.CollectResponse();
    EXPECT_EQ(device::ResponseTextCopy(), "");
}

TEST_F(CommandTransport, Collect_drops_what_follows_a_NUL_in_the_same_read) {
    link.DeviceSends(std::string("abc\0def\r", 8));
    dialog.CollectResponse();
    EXPECT_EQ(device::ResponseTextCopy(), "abc");
    dialog.CollectResponse();
    EXPECT_EQ(device::ResponseTextCopy(), "");
}

TEST_F(CommandTransport, Monitor_tick_shows_a_response_with_CR_made_CR_LF) {
    link.DeviceSends("abc\r");
    device::OnTick();
    EXPECT_EQ(device::MonitorTextCopy(), "abc\r\n");
    EXPECT_EQ(monitor.Text(), "abc\r\n");
    EXPECT_EQ(monitor.ScrollCount(), 1);
}

TEST_F(CommandTransport, Monitor_tick_without_bytes_changes_nothing) {
    page.SendListCommand(0);
    link.HostSent();
    const int sets = monitor.SetCount();
    device::OnTick();
    EXPECT_EQ(device::MonitorTextCopy(), ">>*01C1\r\n");
    EXPECT_EQ(monitor.SetCount(), sets);
}

TEST_F(CommandTransport, Tick_while_a_step_runs_does_nothing_not_even_collect) {
    link.DeviceSends("abc\r");
    g_tickReady = false;
    device::OnTick();
    EXPECT_EQ(device::MonitorTextCopy(), "");
    g_tickReady = true;
    device::OnTick();
    EXPECT_EQ(device::MonitorTextCopy(), "abc\r\n");
}

TEST_F(CommandTransport, Continuous_output_asked_from_the_list_shows_raw_in_the_monitor) {
    page.SendListCommand(3);
    link.HostSent();
    link.DeviceSends("#P00123\rP00456\r");
    device::OnTick();
    EXPECT_EQ(device::MonitorTextCopy(), ">>*01C4\r\n#P00123\r\nP00456\r\n");
    EXPECT_EQ(g_readoutText, "");
}

TEST_F(CommandTransport, A_vanished_port_is_reported_once_and_no_longer_read) {
    struct Events : device::SessionEvents {
        int gone = 0;
        void OnPortGone() override { ++gone; }
    } events;
    device::MainDialogCore watcher;
    watcher.m_events = &events;
    watcher.m_readPort = &link.port;
    g_mainDlg = &watcher;
    link.Unplug();
    for (int i = 0; i < 3; ++i) device::OnTick();
    EXPECT_EQ(events.gone, 1);
    EXPECT_TRUE(watcher.PortGone());
    EXPECT_FALSE(link.port.IsOpen());
    g_mainDlg = nullptr;
}

}  // namespace
