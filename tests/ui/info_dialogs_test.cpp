#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "res/resource_ids.h"
#include "ui/about_dlg.h"
#include "ui/intro_dlg.h"
#include "ui/limitations_dlg.h"
#include "ui/port_dlg.h"
#include "ui/shell_open.h"
#include "ui/zel_app.h"
#include "ui_test_support.h"

namespace {

const std::string kIntroText =
    "\r\n This is a demonstration software application to showcase \r\n the features and "
    "functionality of the Velmarin Zel.\r\n This Program is not designed to be the end-users "
    "only data \r\n acquisition application.\r\n\r\n For successful operation of this "
    "application user must have\r\n a Zel transducer mounted on a demo board and connected "
    "\r\n to a PC Serial COM Port\r\n\r\n Copyright (C) 2005 Velmarin";

const std::string kLimitationsText =
    "\r\n1. Communication with the Zel Demo Board Interface is at 115200 baud NONE Parity \r\n"
    "    (N-8-1) only.\r\n"
    "2. Manual WT commands to EEPROM locations 0x00 to 0xB6 will be ignored.\r\n"
    "3. Calculated Pressure Readings in PSI are displayed at a rate of ~150/sec.\r\n"
    "4. While a C4 continuous command is executing, single commands may not be visible \r\n"
    "    in the Command/Response Monitor.\r\n"
    "5. EEPROM Tab contents are updated at the start ofthe application.\r\n"
    "    Any user-changes to the EEPROM will not be visibleuntil the application \r\n"
    "    is restarted.\r\n";

class InfoDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        CDialog::ResetProgramEnd();
        CPortDlg::SetProbeFunction(
            [](const serial::ProbeConfig&) { return serial::ProbeResult{}; });
    }
    void TearDown() override {
        CPortDlg::SetProbeFunction({});
        CDialog::ResetProgramEnd();
    }
};

std::string EditText(CDialog& d, int id) {
    return d.Item<QPlainTextEdit>(id)->toPlainText().toStdString();
}

std::string WithLf(std::string s) {
    for (size_t p; (p = s.find("\r\n")) != std::string::npos;) s.replace(p, 2, "\n");
    return s;
}

TEST_F(InfoDialogs, The_introduction_text_is_built_at_creation_exactly) {
    CIntroDlg intro;
    EXPECT_TRUE(intro.m_text.empty());
    bool missed = false;
    uitest::WhenModal([&](QWidget* w) { return w == &intro; },
                      [&](QWidget*) {
                          EXPECT_EQ(intro.m_text, kIntroText);
                          EXPECT_EQ(EditText(intro, res::kIdcIntroText), WithLf(kIntroText));
                          EXPECT_TRUE(intro.Item<QPlainTextEdit>(res::kIdcIntroText)->isReadOnly());
                          intro.EndDialog(0);
                      },
                      &missed);
    intro.DoModal();
    EXPECT_FALSE(missed);
}

TEST_F(InfoDialogs, Enter_in_the_introduction_runs_the_port_dialog_inside_its_handler) {
    CIntroDlg intro;
    bool portShown = false, missed = false;
    uitest::WhenModal([&](QWidget* w) { return w == &intro; },
                      [&](QWidget*) {
                          uitest::WhenModal(
                              uitest::Titled("Open Communication Port"),
                              [&](QWidget* port) {
                                  portShown = true;
                                  EXPECT_FALSE(intro.isVisible());
                                  static_cast<CDialog*>(port)->EndDialog(0);
                              },
                              &missed);
                          QTest::keyClick(intro.GetDlgItem(res::kIdcIntroOk), Qt::Key_Return);
                      },
                      &missed);
    EXPECT_EQ(intro.DoModal(), res::kIdOk);
    EXPECT_TRUE(portShown);
    EXPECT_FALSE(missed);
}

TEST_F(InfoDialogs, Escape_in_the_introduction_ends_it_without_any_other_window) {
    CIntroDlg intro;
    int modalWindowsSeen = 0;
    uitest::WhenModal([&](QWidget* w) { return w == &intro; },
                      [&](QWidget*) {
                          QTest::keyClick(intro.GetDlgItem(res::kIdcIntroOk), Qt::Key_Escape);
                          modalWindowsSeen = QApplication::activeModalWidget() ? 1 : 0;
                      });
    EXPECT_EQ(intro.DoModal(), res::kIdCancel);
    EXPECT_EQ(modalWindowsSeen, 0);
}

TEST_F(InfoDialogs, The_introduction_and_limitations_dialogs_have_no_close_box) {
    CIntroDlg intro;
    CLimitationsDlg limitations;
    for (CDialog* d : {static_cast<CDialog*>(&intro), static_cast<CDialog*>(&limitations)}) {
        uitest::WhenModal([d](QWidget* w) { return w == d; },
                          [d](QWidget*) {
                              EXPECT_FALSE(d->windowFlags() & Qt::WindowCloseButtonHint);
                              EXPECT_FALSE(d->windowFlags() & Qt::WindowSystemMenuHint);
                              d->EndDialog(0);
                          });
        d->DoModal();
    }
}

TEST_F(InfoDialogs, The_limitations_text_is_joined_exactly_and_the_same_on_every_run) {
    for (int run = 0; run < 2; ++run) {
        CLimitationsDlg dialog;
        uitest::WhenModal([&](QWidget* w) { return w == &dialog; },
                          [&](QWidget*) {
                              EXPECT_EQ(dialog.m_text, kLimitationsText);
                              EXPECT_EQ(EditText(dialog, res::kIdcLimitationsText),
                                        WithLf(kLimitationsText));
                              QTest::keyClick(dialog.GetDlgItem(res::kIdOk), Qt::Key_Return);
                          });
        EXPECT_EQ(dialog.DoModal(), res::kIdOk);
    }
}

TEST_F(InfoDialogs, The_About_dialog_shows_name_version_and_notice_and_closes_on_Enter_or_Escape) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        CAboutDlg about;
        QStringList texts;
        uitest::WhenModal([&](QWidget* w) { return w == &about; },
                          [&](QWidget*) {
                              for (QLabel* l : about.findChildren<QLabel*>()) texts << l->text();
                              QTest::keyClick(about.GetDlgItem(res::kIdcAboutOk), key);
                          });
        const int result = about.DoModal();
        EXPECT_TRUE(texts.contains("Velmarin Kestrovane(Zel) Demo Interface "));
        EXPECT_TRUE(texts.contains("Version  " ZEL_PROJECT_VERSION));
        EXPECT_TRUE(texts.contains("Copyright (C) 2005 Velmarin"));
        // Enter on the focused OK button ends with OK; Escape cancels.
        EXPECT_EQ(result, key == Qt::Key_Escape ? res::kIdCancel : res::kIdOk);
    }
}

TEST_F(InfoDialogs, Help_Contents_opens_the_help_document_from_the_current_directory) {
    QTemporaryDir dir;
    QFile help(QDir(dir.path()).filePath("help.html"));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("<html></html>");
    help.close();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    std::vector<std::string> opened;
    auto old = ui::SetShellOpenFunction([&](const std::string& t) {
        opened.push_back(t);
        return false;  // a failure of the desktop's is not reported
    });
    CZelApp app;
    EXPECT_TRUE(app.OnCommand(res::kCmdHelpContents));
    EXPECT_TRUE(app.OnCommand(res::kCmdWebLink));
    ui::SetShellOpenFunction(old);
    QDir::setCurrent(previous);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(QFileInfo(QString::fromStdString(opened[0])).canonicalFilePath(),
              QFileInfo(help.fileName()).canonicalFilePath());
    EXPECT_EQ(opened[1].rfind("https://www.example.com/", 0), 0u);
}

TEST_F(InfoDialogs, The_help_document_ships_next_to_the_program) {
    EXPECT_TRUE(QFileInfo(QStringLiteral(ZEL_BIN_DIR "/help.html")).isFile());
}

TEST_F(InfoDialogs, The_installed_program_finds_the_help_document_in_share) {
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath("bin") && QDir(prefix.path()).mkpath("share/zel-demo"));
    QFile help(prefix.filePath("share/zel-demo/help.html"));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.close();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(prefix.path());  // no help.html here
    const std::string found = CZelApp::HelpDocumentPath(prefix.filePath("bin"));
    QDir::setCurrent(previous);
    EXPECT_EQ(QFileInfo(QString::fromStdString(found)).canonicalFilePath(),
              QFileInfo(help.fileName()).canonicalFilePath());
}

// A dialog whose key filter takes the X key.
class FilteringDialog : public CDialog {
public:
    FilteringDialog() : CDialog(res::kIddLimitations) {}
    bool PreTranslateKey(QWidget*, QKeyEvent* e) override {
        if (e->key() == Qt::Key_X) {
            ++filtered;
            return true;
        }
        return false;
    }
    int filtered = 0;
};

TEST_F(InfoDialogs, The_key_filter_sees_keys_before_the_focused_control) {
    FilteringDialog dialog;
    uitest::WhenModal([&](QWidget* w) { return w == &dialog; },
                      [&](QWidget*) {
                          auto* edit = dialog.Item<QPlainTextEdit>(res::kIdcLimitationsText);
                          edit->setReadOnly(false);
                          edit->clear();
                          QTest::keyClicks(edit, "axb");
                          EXPECT_EQ(edit->toPlainText(), "ab");
                          EXPECT_EQ(dialog.filtered, 1);
                          dialog.EndDialog(5);
                      });
    EXPECT_EQ(dialog.DoModal(), 5);
}

TEST_F(InfoDialogs, A_handler_may_run_another_dialog_modally_after_EndDialog) {
    CAboutDlg outer;
    bool innerShown = false;
    uitest::WhenModal([&](QWidget* w) { return w == &outer; },
                      [&](QWidget*) {
                          outer.EndDialog(7);
                          EXPECT_FALSE(outer.isVisible());
                          CLimitationsDlg inner;
                          uitest::WhenModal([&](QWidget* w) { return w == &inner; },
                                            [&](QWidget*) {
                                                innerShown = true;
                                                inner.EndDialog(0);
                                            });
                          inner.DoModal();
                      });
    EXPECT_EQ(outer.DoModal(), 7);
    EXPECT_TRUE(innerShown);
}

}  // namespace
