#include <sys/resource.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <csignal>
#include <fstream>
#include <sstream>

#include "device/pressure_log.h"
#include "main_window_fixture.h"
#include "ui/app_tab_ctrl.h"
#include "ui/eeprom_wait_dlg.h"
#include "ui/save_file_dialog.h"
#include "ui/zel_app.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The "%f" values of a log text or a read-out text, in order.
std::vector<std::string> Values(const std::string& text, bool tabbed) {
    std::vector<std::string> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (tabbed) {
            if (line.empty() || line[0] != '\t') continue;
            line.erase(0, 1);
        }
        if (!line.empty()) values.push_back(line);
    }
    return values;
}

TEST_F(MainWindow,
       The_start_up_chain_reaches_the_running_main_window_and_the_close_box_ends_with_0) {
    bool sawMain = false, missed = false;
    uitest::WhenModal(
        uitest::Titled("Velmarin Kestrovane (Zel) Demo Interface"),
        [&](QWidget* intro) {
            uitest::WhenModal(
                uitest::Titled("Open Communication Port"),
                [&](QWidget* w) {
                    auto* port = static_cast<CDialog*>(w);
                    uitest::WhenModal(
                        [](QWidget* m) { return qobject_cast<CMainDlg*>(m); },
                        [&](QWidget* m) {
                            auto& main = *static_cast<CMainDlg*>(m);
                            sawMain = true;
                            EXPECT_TRUE(g_mainDlgActive);
                            EXPECT_TRUE(main.Core().m_timer && main.Core().m_timer->IsRunning());
                            EXPECT_EQ(main.Item<QLabel>(res::kIdcPortLabel)->text().toStdString(),
                                      "COM Port : " + sim->PortPath());
                            EXPECT_EQ(main.m_tab->Current(), 0);
                            EXPECT_TRUE(main.CommandPage()->isVisible());
                            EXPECT_FALSE(main.EepromPage()->isVisible());
                            main.close();
                        },
                        &missed, 60000);
                    port->Item<QPushButton>(res::kIdcOpenPort)->click();
                    port->Item<QPushButton>(res::kIdOk)->click();
                },
                &missed);
            QTest::keyClick(intro, Qt::Key_Return);
        },
        &missed);
    CZelApp app;
    EXPECT_EQ(app.InitInstance(), 0);
    EXPECT_TRUE(sawMain);
    EXPECT_FALSE(missed);
    EXPECT_EQ(QCoreApplication::organizationName(), "Local AppWizard-Generated Applications");
    // The close sent the stop command once, after the read-out's "*02IN".
    EXPECT_EQ(CountFrames("*01IN"), 1);
    EXPECT_EQ(FramesReceived().back(), "*01IN");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindow, The_start_up_chain_runs_on_the_keyboard_alone) {
    // Each key goes where a user's key goes: to the widget with the focus, once the window that
    // just came up is active.
    auto press = [](Qt::Key key) {
        QWidget* modal = QApplication::activeModalWidget();
        uitest::SpinUntil([&] { return QApplication::activeWindow() == modal; });
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : modal, key);
    };
    bool sawMain = false, missed = false;
    uitest::WhenModal(
        uitest::Titled("Velmarin Kestrovane (Zel) Demo Interface"),
        [&](QWidget*) {
            uitest::WhenModal(
                uitest::Titled("Open Communication Port"),
                [&](QWidget* w) {
                    auto* port = static_cast<CDialog*>(w);
                    uitest::WhenModal([](QWidget* m) { return qobject_cast<CMainDlg*>(m); },
                                      [&](QWidget* m) {
                                          sawMain = true;
                                          m->close();
                                      },
                                      &missed, 60000);
                    QWidget* openPort = port->GetDlgItem(res::kIdcOpenPort);
                    for (int i = 0; i < 8 && QApplication::focusWidget() != openPort; ++i) {
                        press(Qt::Key_Tab);
                    }
                    ASSERT_EQ(QApplication::focusWidget(), openPort);
                    press(Qt::Key_Return);
                    EXPECT_EQ(QApplication::focusWidget(), port->GetDlgItem(res::kIdOk));
                    press(Qt::Key_Return);
                },
                &missed);
            press(Qt::Key_Return);
        },
        &missed);
    CZelApp app;
    EXPECT_EQ(app.InitInstance(), 0);
    EXPECT_TRUE(sawMain);
    EXPECT_FALSE(missed);
}

TEST_F(MainWindow, A_minimise_and_restore_keeps_the_page_that_was_chosen) {
    RunMain([&](CMainDlg& main) {
        QTabBar* bar = main.m_tab->TabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        ASSERT_TRUE(main.EepromPage()->isVisible());
        main.showMinimized();
        main.showNormal();
        EXPECT_EQ(main.m_tab->Current(), 1);
        EXPECT_EQ(bar->currentIndex(), 1);
        EXPECT_TRUE(main.EepromPage()->isVisible());
        EXPECT_FALSE(main.CommandPage()->isVisible());
    });
}

TEST_F(MainWindow, A_long_port_path_loses_its_middle_and_is_whole_in_the_tool_tip) {
    RunMain([&](CMainDlg& main) {
        const QString whole = QStringLiteral(
            "COM Port : /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5069RR4-if00-port0");
        main.SetPortLabel(whole.toStdString());
        main.UpdateData(false);
        auto* label = main.Item<QLabel>(res::kIdcPortLabel);
        const QString shown = label->text();
        EXPECT_TRUE(shown.startsWith(QStringLiteral("COM Port : /"))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(QStringLiteral("0"))) << shown.toStdString();
        EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
        EXPECT_EQ(label->toolTip(), whole);
    });
}

TEST_F(MainWindow,
       The_EEPROM_table_shows_the_simulator_image_and_the_coefficients_are_its_calibration) {
    // The wait notice stays up and painted through the read-out; timers still run then, the
    // user's input does not. Looked at every 20 ms while the transducer is being read.
    int looks = 0;
    bool noticeShown = true;
    QString noticeText;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        const size_t frames = sim->Frames().size();
        if (frames < 16 || frames > 240) return;
        ++looks;
        noticeShown = noticeShown && g_waitDlg && g_waitDlg->isVisible();
        if (g_waitDlg) {
            noticeText.clear();
            for (QLabel* l : g_waitDlg->findChildren<QLabel*>()) noticeText += l->text();
        }
    });
    look.start(20);
    RunMain([&](CMainDlg& main) {
        look.stop();
        EXPECT_GT(looks, 0);
        EXPECT_TRUE(noticeShown);
        EXPECT_EQ(noticeText, "Reading Zel EEPROM .....");
        EXPECT_FALSE(g_waitDlg->isVisible());
        QTableWidget* list = main.EepromPage()->m_list;
        ASSERT_EQ(list->rowCount(), 64);
        ASSERT_EQ(list->columnCount(), 6);
        EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "Description");
        EXPECT_EQ(list->columnWidth(1), 57);
        EXPECT_TRUE(list->showGrid());
        EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        const auto image = sim->Eeprom();
        char hex[8];
        for (int row = 0; row < 64; ++row) {
            for (int j = 0; j < 4; ++j) {
                std::snprintf(hex, sizeof hex, "%02X", image[4 * row + j]);
                EXPECT_EQ(list->item(row, 2 + j)->text().toStdString(), hex) << "row " << row;
            }
        }
        EXPECT_EQ(list->item(7, 0)->text(), "b1");
        EXPECT_EQ(list->item(3, 1)->text(), "0C");
        EXPECT_EQ(g_coefficients, sim::DefaultCoefficients());
    });
}

TEST_F(MainWindow, List_and_manual_commands_reach_the_wire_and_the_monitor_shows_echo_and_answer) {
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        sim->ClearRecords();
        emit page.m_commandCombo->activated(2);  // "C3-->Single Raw Pressure", as a user picks it
        ASSERT_TRUE(
            uitest::SpinUntil([&] { return Monitor(main).find("\nP") != std::string::npos; }));
        EXPECT_EQ(FramesReceived(), std::vector<std::string>{"*01C3"});
        EXPECT_EQ(Monitor(main).rfind(">>*01C3\n", 0), 0u);

        // The list goes back to C1 when it loses the focus, without sending anything.
        page.m_commandCombo->setCurrentIndex(3);
        page.m_commandCombo->setFocus();
        page.m_manualEdit->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(page.m_commandCombo->currentIndex(), 0);

        QTest::keyClicks(page.m_manualEdit, "  *01c1 ");
        QTest::keyClick(page.m_manualEdit, Qt::Key_Return);
        ASSERT_TRUE(uitest::SpinUntil([&] { return FramesReceived().size() == 2; }));
        EXPECT_EQ(FramesReceived().back(), "*01c1");
        EXPECT_NE(Monitor(main).find(">>*01c1\n"), std::string::npos);
        // The typed command stays in the box, selected, ready to be sent again.
        EXPECT_EQ(page.m_manualEdit->text(), "  *01c1 ");
        EXPECT_EQ(page.m_manualEdit->selectedText(), page.m_manualEdit->text());
        // Enter elsewhere on the page sends nothing and closes nothing: the next frame on the
        // wire is the C1 picked after it.
        QTest::keyClick(page.m_commandCombo, Qt::Key_Return);
        QTest::keyClick(page.m_readout, Qt::Key_Escape);
        emit page.m_commandCombo->activated(0);
        ASSERT_TRUE(uitest::SpinUntil([&] { return FramesReceived().size() >= 3; }));
        EXPECT_EQ(FramesReceived().size(), 3u);
        EXPECT_EQ(FramesReceived().back(), "*01C1");
        EXPECT_TRUE(main.isVisible());
        EXPECT_TRUE(page.isVisible());
    });
}

TEST_F(MainWindow, Run_and_Stop_log_every_reading_with_time_stamps_and_switch_the_controls) {
    const std::string logPath = (tempDir / "run.txt").string();
    auto previous =
        ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest& r, std::string* p) {
            EXPECT_EQ(r.title, "Select Log File");
            EXPECT_EQ(r.filter, "Text File (*.txt)");
            EXPECT_EQ(r.defaultSuffix, "txt");
            *p = logPath;
            return true;
        });
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        EXPECT_FALSE(page.m_timeStamp->isEnabled());
        page.m_logPressure->click();
        EXPECT_TRUE(page.m_timeStamp->isEnabled());
        EXPECT_TRUE(page.m_browse->isEnabled());
        page.m_browse->click();
        EXPECT_EQ(page.m_filePath->text().toStdString(), logPath);
        EXPECT_TRUE(page.m_filePath->isReadOnly());
        page.m_timeStamp->click();

        page.m_runButton->click();
        EXPECT_EQ(page.m_runButton->text(), "Stop");
        for (QWidget* w :
             {static_cast<QWidget*>(page.m_commandCombo), static_cast<QWidget*>(page.m_manualEdit),
              static_cast<QWidget*>(page.m_logPressure), static_cast<QWidget*>(page.m_timeStamp),
              static_cast<QWidget*>(page.m_browse)}) {
            EXPECT_FALSE(w->isEnabled());
        }
        // "Change Port Settings" does nothing while the acquisition runs.
        main.Item<QPushButton>(res::kIdcChangePort)->click();
        EXPECT_EQ(QApplication::activeModalWidget(), &main);

        ASSERT_TRUE(
            uitest::SpinUntil([&] { return Values(Readout(main), false).size() > 150; }, 10000));
        page.m_runButton->click();
        EXPECT_EQ(page.m_runButton->text(), "Run");
        EXPECT_TRUE(page.m_commandCombo->isEnabled());
        EXPECT_TRUE(page.m_timeStamp->isEnabled());
        EXPECT_FALSE(sim->Continuous());

        const std::string log = ReadFile(logPath);
        const auto logged = Values(log, true);
        const auto shown = Values(Readout(main), false);
        ASSERT_GE(logged.size(), shown.size());
        // The read-out keeps the newest lines; the log has all of them, the same texts.
        EXPECT_TRUE(std::equal(shown.begin(), shown.end(), logged.end() - shown.size()));
        std::istringstream lines(log);
        std::string first;
        std::getline(lines, first);
        EXPECT_EQ(first.size(), 9u);  // "hh:mm:ss\r"
        EXPECT_EQ(first[2], ':');
        EXPECT_NE(log.find("\r\n\t"), std::string::npos);
        for (const std::string& v : logged) {
            const double psi = std::strtod(v.c_str(), nullptr);
            EXPECT_GE(psi, sim::kPminPsi - 0.01);
            EXPECT_LE(psi, sim::kPmaxPsi + 0.01);
        }
    });
    ui::SetSaveFileFunction(previous);
}

TEST_F(MainWindow, Run_with_Log_Pressure_and_no_path_asks_for_one_and_starts_nothing) {
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        sim->ClearRecords();
        page.m_logPressure->click();
        page.m_runButton->click();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "Specify the file path for logging data");
        EXPECT_EQ(messages.shown[0].icon, ui::MessageIcon::Exclamation);
        EXPECT_EQ(messages.shown[0].caption, "Zel Demo Interface Software");
        EXPECT_EQ(page.m_runButton->text(), "Run");
        EXPECT_TRUE(FramesReceived().empty());
    });
}

TEST_F(MainWindow, A_log_file_that_cannot_be_opened_is_named_and_the_run_goes_on) {
    const std::string logPath = (tempDir / "no-such-dir" / "run.txt").string();
    auto previous =
        ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest&, std::string* p) {
            *p = logPath;
            return true;
        });
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        page.m_logPressure->click();
        page.m_browse->click();
        page.m_runButton->click();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].text.find(logPath), std::string::npos);
        EXPECT_NE(messages.shown[0].text.find("without a log"), std::string::npos);
        EXPECT_EQ(page.m_runButton->text(), "Stop");
        ASSERT_TRUE(uitest::SpinUntil([&] { return !Values(Readout(main), false).empty(); }));
        page.m_runButton->click();
    });
    ui::SetSaveFileFunction(previous);
}

TEST_F(MainWindow, Rows_the_read_out_could_not_confirm_are_named_once_after_the_wait_notice) {
    sim::Faults faults;
    faults.doubledBytes.set(0x11);
    faults.byteFaultsEveryRead = true;
    sim->SetFaults(faults);
    bool noticeGone = false;
    auto previous = ui::SetMessageBoxHandler([&](const ui::MessageBoxRequest& r) {
        messages.shown.push_back(r);
        noticeGone = g_waitDlg && !g_waitDlg->isVisible();
    });
    RunMain([&](CMainDlg&) {});
    ui::SetMessageBoxHandler(previous);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text.rfind("The EEPROM row a4 (10) could not be confirmed", 0), 0u)
        << messages.shown[0].text;
    EXPECT_TRUE(noticeGone);
}

// The file-size limit fails the tick's write as a full disk does.
TEST_F(MainWindow, A_log_write_that_fails_is_told_once_and_the_run_goes_on) {
    const std::string logPath = (tempDir / "limited.txt").string();
    auto previous =
        ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest&, std::string* p) {
            *p = logPath;
            return true;
        });
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 500;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);  // as CZelApp does at start-up
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        page.m_logPressure->click();
        page.m_browse->click();
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);  // SIGXFSZ is ignored by the program
        page.m_runButton->click();
        ASSERT_TRUE(uitest::SpinUntil([&] { return !messages.shown.empty(); }, 10000));
        ::setrlimit(RLIMIT_FSIZE, &old);
        const size_t shownAtFailure = Values(Readout(main), false).size();
        ASSERT_TRUE(uitest::SpinUntil(
            [&] { return Values(Readout(main), false).size() > shownAtFailure + 30; }, 10000));
        page.m_runButton->click();
    });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ui::SetSaveFileFunction(previous);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text.rfind(
                  "The log file " + logPath + " could not be written: File too large.", 0),
              0u)
        << messages.shown[0].text;
    const std::string log = ReadFile(logPath);
    EXPECT_LE(log.size(), 500u);
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
}

TEST_F(MainWindow, Cancelling_Browse_keeps_the_previous_path) {
    int calls = 0;
    auto previous =
        ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest&, std::string* p) {
            if (++calls == 1) {
                *p = "/tmp/first.txt";
                return true;
            }
            return false;
        });
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        page.m_logPressure->click();
        page.m_browse->click();
        page.m_browse->click();
        EXPECT_EQ(page.m_filePath->text(), "/tmp/first.txt");
        EXPECT_EQ(g_logPath, "/tmp/first.txt");
        // Unchecking leaves the Time Stamp check as it was.
        page.m_timeStamp->click();
        page.m_logPressure->click();
        EXPECT_FALSE(page.m_timeStamp->isEnabled());
        EXPECT_TRUE(page.m_timeStamp->isChecked());
        EXPECT_TRUE(g_timeStampChecked);
    });
    ui::SetSaveFileFunction(previous);
}

TEST_F(MainWindow, Copy_puts_the_selected_rows_on_the_clipboard_top_to_bottom) {
    RunMain([&](CMainDlg& main) {
        CEepromPage& page = *main.EepromPage();
        QTableWidget* list = page.m_list;
        QApplication::clipboard()->setText("before");
        QTest::keyClick(list, Qt::Key_C);
        EXPECT_EQ(QApplication::clipboard()->text(), "before");  // nothing selected: untouched

        list->selectRow(7);
        list->selectionModel()->select(list->model()->index(3, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        const auto image = sim->Eeprom();
        char expected[128];
        std::snprintf(expected, sizeof expected,
                      "a3\t0C\t%02X\t%02X\t%02X\t%02X\r\nb1\t1C\t%02X\t%02X\t%02X\t%02X\r\n",
                      image[12], image[13], image[14], image[15], image[28], image[29], image[30],
                      image[31]);
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);
        EXPECT_EQ(g_clipboardText, expected);
    });
}

TEST_F(MainWindow,
       The_context_menu_grays_Copy_and_Select_All_as_the_selection_says_and_A_selects_all) {
    RunMain([&](CMainDlg& main) {
        CEepromPage& page = *main.EepromPage();
        auto state = [&](int id) {
            std::unique_ptr<QMenu> menu(page.BuildContextMenu());
            for (QAction* a : menu->actions()) {
                if (a->data().toInt() == id) return a->isEnabled();
            }
            ADD_FAILURE() << "no item " << id;
            return false;
        };
        EXPECT_FALSE(state(res::kCmdCopy));
        EXPECT_TRUE(state(res::kCmdSelectAll));
        EXPECT_TRUE(state(res::kCmdUndo));
        QTest::keyClick(page.m_list, Qt::Key_A);
        EXPECT_EQ(page.m_list->selectionModel()->selectedRows().size(), 64);
        EXPECT_TRUE(state(res::kCmdCopy));
        EXPECT_FALSE(state(res::kCmdSelectAll));
        // Enter and Escape on the page do nothing.
        QTest::keyClick(page.m_list, Qt::Key_Return);
        QTest::keyClick(page.m_list, Qt::Key_Escape);
        EXPECT_TRUE(page.isVisible() || !main.CommandPage()->isHidden());
        EXPECT_TRUE(main.isVisible());
        // A request outside the list shows nothing: no popup appears.
        page.OnContextMenu(page.mapToGlobal(QPoint(page.width() - 2, 2)));
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    });
}

TEST_F(MainWindow, Enter_and_Escape_never_close_the_main_window_and_A_selects_the_monitor) {
    RunMain([&](CMainDlg& main) {
        emit main.CommandPage()->m_commandCombo->activated(0);
        ASSERT_TRUE(
            uitest::SpinUntil([&] { return Monitor(main).find("\nT") != std::string::npos; }));
        QTest::keyClick(main.m_monitor, Qt::Key_Return);
        QTest::keyClick(main.m_monitor, Qt::Key_Escape);
        EXPECT_TRUE(main.isVisible());
        QTest::keyClick(main.m_monitor, Qt::Key_A);
        EXPECT_EQ(main.m_monitor->textCursor().selectedText().size(),
                  main.m_monitor->toPlainText().size());
        // Help items reach the application object by routing.
        CZelApp app;
        bool aboutShown = false;
        uitest::WhenModal(uitest::Titled("About Zel Demo Interface"), [&](QWidget* w) {
            aboutShown = true;
            static_cast<CDialog*>(w)->EndDialog(0);
        });
        main.RouteCommand(res::kCmdAbout);
        EXPECT_TRUE(aboutShown);
        EXPECT_EQ(main.Item<QLabel>(res::kIdcBaudLabel)->text(), "Baud Rate : 115200");
        EXPECT_EQ(main.Item<QLabel>(res::kIdcParityLabel)->text(), "Parity : 8-NONE-1");
    });
}

TEST_F(MainWindow, Change_Port_Settings_while_stopped_opens_the_new_port_and_refreshes_the_label) {
    sim::Simulator other;
    ASSERT_TRUE(other.Start());
    ProbeOnly({sim->PortPath(), other.PortPath()});
    RunMain([&](CMainDlg& main) {
        bool missed = false;
        QStringList listed;
        int selected = -1;
        uitest::WhenModal(
            uitest::Titled("Open Communication Port"),
            [&](QWidget* w) {
                auto* port = static_cast<CDialog*>(w);
                auto* list = port->Item<QComboBox>(res::kIdcPortList);
                for (int i = 0; i < list->count(); ++i) listed << list->itemText(i);
                selected = list->currentIndex();
                list->setCurrentIndex(list->findText(QString::fromStdString(other.PortPath())));
                port->Item<QPushButton>(res::kIdcOpenPort)->click();
                port->Item<QPushButton>(res::kIdOk)->click();
            },
            &missed);
        main.Item<QPushButton>(res::kIdcChangePort)->click();
        EXPECT_FALSE(missed);
        // The port in use first and selected, then the others.
        EXPECT_EQ(listed, QStringList({QString::fromStdString(sim->PortPath()),
                                       QString::fromStdString(other.PortPath())}));
        EXPECT_EQ(selected, 0);
        EXPECT_EQ(main.Item<QLabel>(res::kIdcPortLabel)->text().toStdString(),
                  "COM Port : " + other.PortPath());
        // The monitor is blank until its next update; the new port answers there.
        EXPECT_TRUE(main.m_monitor->toPlainText().isEmpty());
        other.ClearRecords();
        emit main.CommandPage()->m_commandCombo->activated(0);
        ASSERT_TRUE(
            uitest::SpinUntil([&] { return Monitor(main).find("\nT") != std::string::npos; }));
        EXPECT_EQ(other.Frames().size(), 1u);
    });
}

TEST_F(MainWindow, A_port_that_vanishes_mid_run_ends_the_run_once_with_one_message) {
    const std::string logPath = (tempDir / "gone.txt").string();
    auto previous =
        ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest&, std::string* p) {
            *p = logPath;
            return true;
        });
    RunMain([&](CMainDlg& main) {
        CCommandPage& page = *main.CommandPage();
        page.m_logPressure->click();
        page.m_browse->click();
        page.m_runButton->click();
        ASSERT_TRUE(uitest::SpinUntil([&] { return Values(Readout(main), false).size() > 30; }));
        messages.choice = 1;  // "Stop waiting" for the port to come back
        sim->Stop();
        ASSERT_TRUE(uitest::SpinUntil([&] { return !messages.shown.empty(); }));
        EXPECT_FALSE(main.WaitingForPort());
        // Five ticks more on the gone port would each report it again.
        const uint64_t ticks = main.Core().m_timer->Ticks();
        ASSERT_TRUE(uitest::SpinUntil([&] { return main.Core().m_timer->Ticks() >= ticks + 5; }));
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].text.find("gone"), std::string::npos);
        EXPECT_NE(messages.shown[0].text.find("Change Port Settings"), std::string::npos);
        EXPECT_EQ(page.m_runButton->text(), "Run");
        EXPECT_FALSE(g_logActive);
        EXPECT_EQ(Values(ReadFile(logPath), true), Values(Readout(main), false));

        // Back on a new port through Change Port Settings.
        sim = std::make_unique<sim::Simulator>();
        ASSERT_TRUE(sim->Start());
        ProbeOnly({sim->PortPath()});
        bool missed = false;
        uitest::WhenModal(
            uitest::Titled("Open Communication Port"),
            [&](QWidget* w) {
                auto* port = static_cast<CDialog*>(w);
                port->Item<QPushButton>(res::kIdcOpenPort)->click();
                port->Item<QPushButton>(res::kIdOk)->click();
            },
            &missed);
        main.Item<QPushButton>(res::kIdcChangePort)->click();
        EXPECT_FALSE(missed);
        emit page.m_commandCombo->activated(0);
        ASSERT_TRUE(uitest::SpinUntil([&] { return sim->Frames().size() == 1; }));
        EXPECT_EQ(messages.shown.size(), 1u);
    });
    ui::SetSaveFileFunction(previous);
}

TEST_F(MainWindow, File_Exit_sends_IN_once_and_ends_the_program_with_0) {
    RunMain([&](CMainDlg& main) {
        sim->ClearRecords();
        main.RouteCommand(res::kCmdFileExit);
        EXPECT_FALSE(main.isVisible());
    });
    EXPECT_TRUE(CDialog::ProgramEnded());
    EXPECT_EQ(CDialog::ExitCode(), 0);
    ASSERT_TRUE(uitest::SpinUntil([&] { return !FramesReceived().empty(); }, 2000));
    EXPECT_EQ(FramesReceived(), std::vector<std::string>{"*01IN"});
    EXPECT_EQ(g_commandPage, nullptr);
}

// The adapter pulled and plugged in again: the run goes on by itself, the log goes on.
TEST_F(MainWindow, The_same_transducer_back_on_the_port_lets_the_run_and_the_log_go_on) {
    const std::string link = (tempDir / "zel-link").string(), logPath = (tempDir / "on.txt").string();
    const auto linkTo = [&link](const std::string& target) {
        const std::string temp = link + ".new";
        ASSERT_EQ(::symlink(target.c_str(), temp.c_str()), 0);
        ASSERT_EQ(std::rename(temp.c_str(), link.c_str()), 0);
    };
    linkTo(sim->PortPath());
    auto previous =
        ui::SetSaveFileFunction([&](QWidget*, const ui::SaveFileRequest&, std::string* p) {
            *p = logPath;
            return true;
        });
    RunMain(
        [&](CMainDlg& main) {
            CCommandPage& page = *main.CommandPage();
            page.m_logPressure->click();
            page.m_browse->click();
            page.m_runButton->click();
            ASSERT_TRUE(uitest::SpinUntil([&] { return Values(Readout(main), false).size() > 30; }));
            sim->Stop();
            ASSERT_TRUE(uitest::SpinUntil([&] { return main.WaitingForPort(); }));
            EXPECT_EQ(page.m_runButton->text(), "Run");
            const long before = main.Session()->Ledger().shown;
            sim = std::make_unique<sim::Simulator>();
            ASSERT_TRUE(sim->Start());
            linkTo(sim->PortPath());
            ASSERT_TRUE(uitest::SpinUntil(
                [&] { return main.Session()->Ledger().shown > before + 30; }, 30000));
            EXPECT_EQ(page.m_runButton->text(), "Stop");
            page.m_runButton->click();
            const device::RunLedger ledger = main.Session()->Ledger();
            EXPECT_EQ(ledger.gaps, 1);
            EXPECT_EQ(static_cast<long>(Values(ReadFile(logPath), true).size()), ledger.shown);
            ASSERT_EQ(messages.shown.size(), 2u);
            EXPECT_NE(messages.shown[0].text.find("Stop waiting"), std::string::npos);
            EXPECT_NE(messages.shown[1].text.find("with the same transducer: the run goes on"),
                      std::string::npos)
                << messages.shown[1].text;
        },
        link);
    ui::SetSaveFileFunction(previous);
}

}  // namespace

namespace {

// One rule with zelctl's: a port that is back with a transducer that does not answer ends the
// wait, says so once, and leaves the run stopped and the port closed.
TEST_F(MainWindow, A_silent_transducer_on_the_port_that_came_back_ends_the_wait) {
    const std::string link = (tempDir / "zel-link").string();
    const auto linkTo = [&link](const std::string& target) {
        const std::string temp = link + ".new";
        ASSERT_EQ(::symlink(target.c_str(), temp.c_str()), 0);
        ASSERT_EQ(std::rename(temp.c_str(), link.c_str()), 0);
    };
    linkTo(sim->PortPath());
    RunMain(
        [&](CMainDlg& main) {
            CCommandPage& page = *main.CommandPage();
            page.m_runButton->click();
            ASSERT_TRUE(uitest::SpinUntil([&] { return Values(Readout(main), false).size() > 30; }));
            sim->Stop();
            ASSERT_TRUE(uitest::SpinUntil([&] { return main.WaitingForPort(); }));
            sim::Options silent;
            silent.faults.silent = true;
            sim = std::make_unique<sim::Simulator>(silent);
            ASSERT_TRUE(sim->Start());
            linkTo(sim->PortPath());
            ASSERT_TRUE(uitest::SpinUntil([&] { return !main.WaitingForPort(); }, 30000));
            EXPECT_EQ(page.m_runButton->text(), "Run");
            ASSERT_EQ(messages.shown.size(), 2u);
            EXPECT_NE(messages.shown[1].text.find("did not answer"), std::string::npos)
                << messages.shown[1].text;
        },
        link);
}

}  // namespace
