#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include "ui/message_box.h"
#include "ui/message_boxes.h"
#include "ui/save_file_dialog.h"
#include "ui_test_support.h"

namespace {

struct Shown {
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool owned = false;
};

// Shows one box through the platform hook and reads it back off the screen.
Shown ShowAndRead(std::function<void()> show) {
    Shown seen;
    bool missed = false;
    uitest::WhenModal(
        [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
        [&](QWidget* w) {
            auto* box = static_cast<QMessageBox*>(w);
            seen = {box->windowTitle(), box->text(), box->icon(), box->parentWidget() != nullptr};
            box->button(QMessageBox::Ok)->click();
        },
        &missed);
    show();
    EXPECT_FALSE(missed);
    return seen;
}

TEST(RealDialogs, Application_boxes_carry_the_application_title_and_system_boxes_their_own) {
    ui::InstallMessageBoxes();
    const Shown app = ShowAndRead(
        [] { ui::AppMessageBox("Error Opening COM Port", ui::MessageIcon::Error); });
    EXPECT_EQ(app.caption, "Zel Demo Interface Software");
    EXPECT_EQ(app.text, "Error Opening COM Port");
    EXPECT_EQ(app.icon, QMessageBox::Critical);

    const Shown system = ShowAndRead([] {
        ui::SystemMessageBox("SetCommState Error", "Com Port Error",
                                   ui::MessageIcon::Error);
    });
    EXPECT_EQ(system.caption, "Com Port Error");
    EXPECT_FALSE(system.owned);
    ui::SetMessageBoxHandler({});
}

TEST(RealDialogs, The_save_dialog_adds_txt_to_a_name_typed_without_an_extension) {
    QTemporaryDir dir;
    bool missed = false;
    uitest::WhenModal([](QWidget* w) { return qobject_cast<QFileDialog*>(w) != nullptr; },
                      [&](QWidget* w) {
                          auto* dialog = static_cast<QFileDialog*>(w);
                          EXPECT_EQ(dialog->windowTitle(), "Select Log File");
                          EXPECT_EQ(dialog->nameFilters(), QStringList{"Text File (*.txt)"});
                          dialog->setDirectory(dir.path());
                          dialog->findChild<QLineEdit*>("fileNameEdit")->setText("pressure");
                          QMetaObject::invokeMethod(dialog, "accept");
                      },
                      &missed);
    std::string path;
    ASSERT_TRUE(
        ui::RunSaveFileDialog(nullptr, {"Select Log File", "Text File (*.txt)", "txt"}, &path));
    EXPECT_FALSE(missed);
    EXPECT_EQ(QString::fromStdString(path), QDir(dir.path()).filePath("pressure.txt"));
}

}  // namespace
