#include "res/dialog_templates.h"

#include "res/build_info.h"
#include "res/resource_ids.h"
#include "res/strings.h"

namespace res {
namespace {

using K = ControlKind;

constexpr uint32_t kStatusLabel = kStyleCenter | kStyleCenterImage | kStyleBorder;

const std::vector<DialogTemplate>& Templates() {
    static const std::vector<DialogTemplate> templates = {
        {kIddAbout,
         "About Zel Demo Interface",
         "MS Sans Serif",
         8,
         256,
         57,
         kDlgPopup | kDlgCaption | kDlgSysMenu | kDlgModalFrame | kDlgCenter,
         0,
         {
             {kIdStatic, K::Icon, "", 0, 11, 17, 20, 20},
             {kIdStatic, K::Static, "Velmarin Kestrovane(Zel) Demo Interface ", kStyleNoPrefix, 42,
              5, 206, 11},
             {kIdStatic, K::Static, std::string("Version  ") + kVersion, kStyleNoPrefix, 42, 16,
              125, 11},
             {kIdStatic, K::Static, kMakerNotice, 0, 42, 28, 119, 8},
             {kIdcAboutOk, K::PushButton, "OK", kStyleTabStop, 183, 41, 59, 14},
         }},
        // The port dialog's layout is ours: every control that its group boxes enclose lies
        // wholly inside them, which the enable rule of the boxes relies on.
        {kIddPort,
         "Open Communication Port",
         "MS Sans Serif",
         8,
         250,
         186,
         kDlgPopup | kDlgCaption | kDlgSysMenu | kDlgModalFrame | kDlgCenter,
         0,
         {
             {kIdcPropertiesBox, K::GroupBox, "Set Communication Port Properties", kStyleEnableBox,
              7, 4, 236, 126},
             {kIdStatic, K::Static, "Communication Port", 0, 16, 22, 68, 8},
             {kIdcPortList, K::ComboBox, "", kStyleVScroll | kStyleTabStop, 86, 20, 84, 80},
             {kIdcOpenPort, K::PushButton, "Open Port", kStyleTabStop, 178, 19, 56, 14},
             {kIdcBaudBox, K::GroupBox, "Baudrate", kStyleEnableBox, 16, 40, 150, 82},
             {kIdcBaudFirst + 0, K::RadioButton, "1200", kStyleGroup | kStyleTabStop, 26, 53, 52,
              10},
             {kIdcBaudFirst + 1, K::RadioButton, "2400", 0, 26, 66, 52, 10},
             {kIdcBaudFirst + 2, K::RadioButton, "4800", 0, 26, 79, 52, 10},
             {kIdcBaudFirst + 3, K::RadioButton, "9600", 0, 26, 92, 52, 10},
             {kIdcBaudFirst + 4, K::RadioButton, "14400", 0, 26, 105, 52, 10},
             {kIdcBaudFirst + 5, K::RadioButton, "19200", 0, 94, 53, 52, 10},
             {kIdcBaudFirst + 6, K::RadioButton, "28800", 0, 94, 66, 52, 10},
             {kIdcBaudFirst + 7, K::RadioButton, "38400", 0, 94, 79, 52, 10},
             {kIdcBaudFirst + 8, K::RadioButton, "57600", 0, 94, 92, 52, 10},
             {kIdcBaudFirst + 9, K::RadioButton, "115200", 0, 94, 105, 52, 10},
             {kIdcParityBox, K::GroupBox, "&Parity", kStyleEnableBox, 174, 40, 60, 82},
             {kIdcParityNone, K::RadioButton, "NONE", kStyleGroup | kStyleTabStop, 183, 53, 44, 10},
             {kIdcParityOdd, K::RadioButton, "ODD", 0, 183, 66, 44, 10},
             {kIdcParityEven, K::RadioButton, "EVEN", 0, 183, 79, 44, 10},
             {kIdOk, K::PushButton, "OK", kStyleDefault | kStyleTabStop | kStyleGroup, 7, 137, 56,
              14},
             {kIdcReset, K::PushButton, "Reset", kStyleTabStop, 97, 137, 56, 14},
             {kIdcPortExit, K::PushButton, "Exit", kStyleTabStop, 187, 137, 56, 14},
             {kIdcDeniedNotice, K::Static, "", 0, 7, 157, 236, 26},
         }},
        {kIddMain,
         "Velmarin Kestrovane (Zel) Demo Interface",
         "MS Sans Serif",
         8,
         447,
         284,
         kDlgPopup | kDlgCaption | kDlgSysMenu | kDlgMinimizeBox | kDlgCenter,
         kMenuMain,
         {
             {kIdStatic, K::GroupBox, "", 0, 7, 0, 275, 23},
             {kIdcPortLabel, K::Static, "COM Port : COM1", kStatusLabel, 16, 6, 80, 14},
             {kIdcBaudLabel, K::Static, "Baud Rate : 115200", kStatusLabel, 105, 6, 80, 14},
             {kIdcParityLabel, K::Static, "Parity : 8-NONE-1", kStatusLabel, 193, 6, 79, 14},
             {kIdcChangePort, K::PushButton, "Change Port Settings", kStyleTabStop, 293, 4, 81, 18},
             {kIdcBar, K::Bar, "", 0, 7, 26, 430, 6},
             {kIdcTab, K::TabControl, "Tab1", 0, 8, 40, 277, 241},
             {kIdcMonitorCaption, K::Static, "Command/Response Monitor", 0, 291, 39, 95, 8},
             {kIdcMonitor, K::Edit, "",
              kStyleMultiLine | kStyleVScroll | kStyleBorder | kStyleTabStop, 292, 52, 144, 228},
         }},
        {kIddCommandPage,
         "",
         "MS Sans Serif",
         8,
         276,
         227,
         kDlgChild,
         0,
         {
             {kIdcCommandList, K::ComboBox, "", kStyleVScroll | kStyleTabStop, 14, 17, 122, 81},
             {kIdcManualCommand, K::Edit, "", kStyleBorder | kStyleAutoHScroll | kStyleTabStop, 142,
              17, 117, 13},
             {kIdcCommandInquiryLabel, K::Static, "Command Inquiry", 0, 13, 8, 56, 8},
             {kIdcManualCommandLabel, K::Static, "Manual Command", 0, 142, 8, 58, 8},
             {kIdcRun, K::PushButton, "Run", kStyleTabStop, 199, 48, 59, 15},
             {kIdcLogPressure, K::CheckBox, "Log Pressure", 0, 199, 141, 59, 8},
             {kIdcTimeStamp, K::CheckBox, "Time Stamp", kStyleDisabled, 199, 154, 54, 14},
             {kIdcBrowse, K::PushButton, "Browse", kStyleDisabled | kStyleTabStop, 200, 200, 58,
              15},
             {kIdcFilePath, K::Edit, "", kStyleBorder | kStyleAutoHScroll | kStyleTabStop, 45, 200,
              139, 14},
             {kIdcFilePathLabel, K::Static, "File Path", kStyleDisabled, 13, 202, 32, 10},
             {kIdcReadingBox, K::GroupBox, "Calculated Pressure Reading in PSI", 0, 7, 37, 259,
              184},
             {kIdcReadout, K::Edit, "",
              kStyleMultiLine | kStyleBorder | kStyleVScroll | kStyleTabStop, 14, 48, 171, 144},
             // Empty until a run falls behind the transducer.
             {kIdcRunNote, K::Static, "", kStyleNoPrefix, 192, 68, 70, 68},
             {kIdStatic, K::GroupBox, "", 0, 7, 2, 260, 33},
         }},
        {kIddIntro,
         "Velmarin Kestrovane (Zel) Demo Interface",
         "Verdana",
         10,
         221,
         127,
         kDlgPopup | kDlgCaption | kDlgModalFrame | kDlgCenter,
         0,
         {
             {kIdcIntroText, K::Edit, "", kStyleMultiLine | kStyleReadOnly | kStyleBorder, 3, 4,
              214, 103},
             {kIdcIntroOk, K::PushButton, "OK", kStyleDefault | kStyleTabStop, 167, 110, 50, 14},
         }},
        {kIddEepromPage,
         "",
         "MS Sans Serif",
         8,
         282,
         229,
         kDlgChild,
         0,
         {
             {kIdcEepromList, K::ListView, "", kStyleBorder | kStyleTabStop | kStyleReport, 1, 8,
              265, 211},
         }},
        {kIddEepromWait,
         "",
         "Verdana",
         10,
         164,
         26,
         kDlgPopup | kDlgCaption | kDlgModalFrame | kDlgCenter | kDlgVisible,
         0,
         {
             {kIdStatic, K::Static, "Reading Zel EEPROM .....", kStyleCenter, 7, 9, 150, 10},
         }},
        // The text is ten lines; 77 units show 9.6 of them, so the edit is 10 units taller
        // (and the button and dialog lower) than the classic layout.
        {kIddLimitations,
         "Application Limitations",
         "Verdana",
         10,
         300,
         120,
         kDlgPopup | kDlgCaption | kDlgModalFrame | kDlgCenter,
         0,
         {
             {kIdcLimitationsText, K::Edit, "",
              kStyleMultiLine | kStyleReadOnly | kStyleAutoHScroll | kStyleBorder | kStyleTabStop,
              7, 7, 286, 87},
             {kIdOk, K::PushButton, "OK", kStyleDefault | kStyleTabStop, 243, 99, 50, 14},
         }},
    };
    return templates;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& t : Templates()) {
        if (t.id == id) return &t;
    }
    return nullptr;
}

}  // namespace res
