#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The dialog templates as data: one table per dialog, each control with its id, kind, text,
// styles and rectangle in dialog units.
namespace res {

enum class ControlKind {
    Static,
    Icon,
    GroupBox,
    PushButton,
    CheckBox,
    RadioButton,
    Edit,
    ComboBox,
    ListView,
    TabControl,
    Bar,  // a plain horizontal bar
};

// Control styles.
enum : uint32_t {
    kStyleBorder = 1u << 0,
    kStyleMultiLine = 1u << 1,
    kStyleReadOnly = 1u << 2,
    kStyleAutoHScroll = 1u << 3,
    kStyleVScroll = 1u << 4,
    kStyleTabStop = 1u << 5,
    kStyleDisabled = 1u << 6,
    kStyleGroup = 1u << 7,        // starts a radio group
    kStyleCenter = 1u << 8,       // text centred across
    kStyleCenterImage = 1u << 9,  // text centred down
    kStyleNoPrefix = 1u << 10,    // "&" shown as is
    kStyleDefault = 1u << 11,     // the default push button
    kStyleEnableBox = 1u << 12,   // a group box that passes its enabled state on
    kStyleReport = 1u << 13,      // list view in report mode
    kStyleSingleSel = 1u << 14,
};

// Dialog styles.
enum : uint32_t {
    kDlgCaption = 1u << 0,
    kDlgSysMenu = 1u << 1,
    kDlgModalFrame = 1u << 2,
    kDlgMinimizeBox = 1u << 3,
    kDlgCenter = 1u << 4,
    kDlgPopup = 1u << 5,
    kDlgChild = 1u << 6,  // no caption or border: a panel
    kDlgVisible = 1u << 7,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    std::string text;
    uint32_t style;
    int x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
    int id;
    std::string title;
    std::string fontFace;
    int fontPoints;
    int cx, cy;  // dialog units, client area
    uint32_t style;
    int menuId;  // 0: none
    std::vector<ControlTemplate> controls;
};

// Null for an unknown id.
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace res
