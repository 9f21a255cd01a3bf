#include "ui/template_builder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTextDocument>

#include "ui/app_icon.h"
#include "ui/app_tab_ctrl.h"
#include "ui/enable_group_box.h"

namespace ui {
namespace {

using res::ControlKind;
using res::ControlTemplate;

bool Has(const ControlTemplate& c, uint32_t style) {
    return (c.style & style) != 0;
}

QWidget* MakeStatic(const ControlTemplate& c, QWidget* parent) {
    auto* label = new QLabel(QString::fromStdString(c.text), parent);
    label->setTextFormat(Qt::PlainText);
    Qt::Alignment align = Has(c, res::kStyleCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
    align |= Has(c, res::kStyleCenterImage) ? Qt::AlignVCenter : Qt::AlignTop;
    label->setAlignment(align);
    if (!Has(c, res::kStyleCenterImage)) label->setWordWrap(true);
    if (Has(c, res::kStyleBorder)) label->setFrameStyle(QFrame::Box | QFrame::Plain);
    return label;
}

QWidget* MakeEdit(const ControlTemplate& c, QWidget* parent) {
    if (Has(c, res::kStyleMultiLine)) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setReadOnly(Has(c, res::kStyleReadOnly));
        edit->setLineWrapMode(Has(c, res::kStyleAutoHScroll) ? QPlainTextEdit::NoWrap
                                                             : QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy(Has(c, res::kStyleVScroll) ? Qt::ScrollBarAlwaysOn
                                                                    : Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->document()->setDocumentMargin(2);
        if (!Has(c, res::kStyleBorder)) edit->setFrameStyle(QFrame::NoFrame);
        edit->setTabChangesFocus(true);
        return edit;
    }
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(Has(c, res::kStyleReadOnly));
    edit->setFrame(Has(c, res::kStyleBorder));
    return edit;
}

QWidget* MakeList(QWidget* parent) {
    // A report list: rows of text cells, no editing, the selection drawn only with the focus.
    auto* list = new QTableWidget(parent);
    list->setColumnCount(0);
    list->verticalHeader()->hide();
    list->verticalHeader()->setMinimumSectionSize(1);
    list->horizontalHeader()->setHighlightSections(false);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setStretchLastSection(false);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectItems);
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->setCornerButtonEnabled(false);
    return list;
}

QWidget* MakeControl(const ControlTemplate& c, QWidget* parent, const DialogUnits& units) {
    const QString text = QString::fromStdString(c.text);
    switch (c.kind) {
        case ControlKind::Static:
            return MakeStatic(c, parent);
        case ControlKind::Icon: {
            auto* label = new QLabel(parent);
            const QRect r = units.Rect(c.x, c.y, c.cx, c.cy);
            label->setPixmap(AppIcon().pixmap(std::min(r.width(), r.height())));
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::GroupBox: {
            QGroupBox* box = Has(c, res::kStyleEnableBox) ? new CEnableGroupBox(text, parent)
                                                          : new QGroupBox(text, parent);
            // Like the platform's group boxes: drawn behind and never hit by the mouse.
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            box->setFocusPolicy(Qt::NoFocus);
            return box;
        }
        case ControlKind::PushButton: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(false);
            button->setDefault(false);
            if (Has(c, res::kStyleDefault)) button->setProperty(kDefaultButtonProperty, true);
            return button;
        }
        case ControlKind::CheckBox:
            return new QCheckBox(text, parent);
        case ControlKind::RadioButton:
            return new QRadioButton(text, parent);
        case ControlKind::Edit:
            return MakeEdit(c, parent);
        case ControlKind::ComboBox: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            combo->setMaxVisibleItems(std::max(4, units.Y(c.cy) / std::max(1, units.baseY) - 1));
            return combo;
        }
        case ControlKind::ListView:
            return MakeList(parent);
        case ControlKind::TabControl:
            return new CAppTabCtrl(parent);
        case ControlKind::Bar: {
            auto* bar = new QFrame(parent);
            bar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            bar->setLineWidth(1);
            return bar;
        }
    }
    return new QWidget(parent);
}

}  // namespace

std::map<int, QWidget*> BuildControls(QWidget* client, const res::DialogTemplate& dialog,
                                      const DialogUnits& units) {
    std::map<int, QWidget*> byId;
    std::vector<QWidget*> boxes;
    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& c : dialog.controls) {
        QWidget* w = MakeControl(c, client, units);
        w->setProperty(kControlIdProperty, c.id);
        if (c.id != -1) w->setObjectName(QStringLiteral("idc_%1").arg(c.id));

        QRect r = units.Rect(c.x, c.y, c.cx, c.cy);
        if (c.kind == ControlKind::ComboBox) {
            // The template's height includes the dropped-down list.
            r.setHeight(std::min(r.height(), w->sizeHint().height()));
        }
        if (c.kind == ControlKind::Static && !Has(c, res::kStyleCenter | res::kStyleCenterImage) &&
            r.height() < 2 * units.baseY) {
            // A one-line label keeps its text on one line, as in the face it was drawn for.
            auto* label = static_cast<QLabel*>(w);
            label->setWordWrap(false);
            r.setWidth(std::max(r.width(), label->sizeHint().width()));
        }
        w->setGeometry(r);

        if (c.kind == ControlKind::RadioButton) {
            if (!radioGroup || Has(c, res::kStyleGroup)) {
                radioGroup = new QButtonGroup(client);
                radioGroup->setExclusive(true);
            }
            radioGroup->addButton(static_cast<QRadioButton*>(w));
        } else {
            radioGroup = nullptr;
        }
        if (c.kind == ControlKind::GroupBox) boxes.push_back(w);

        const bool focusable = c.kind != ControlKind::Static && c.kind != ControlKind::Icon &&
                               c.kind != ControlKind::GroupBox && c.kind != ControlKind::Bar;
        if (focusable && !Has(c, res::kStyleTabStop) && c.kind != ControlKind::RadioButton) {
            w->setFocusPolicy(Qt::ClickFocus);
        }
        if (Has(c, res::kStyleDisabled)) w->setEnabled(false);
        if (c.id != -1 && !byId.count(c.id)) byId[c.id] = w;
    }
    // Group boxes sit behind the controls they frame, whatever their template order.
    for (auto it = boxes.rbegin(); it != boxes.rend(); ++it) (*it)->lower();
    return byId;
}

QWidget* FindControl(const QWidget* root, int id) {
    if (!root) return nullptr;
    const QList<QWidget*> all = root->findChildren<QWidget*>();
    for (QWidget* w : all) {
        const QVariant v = w->property(kControlIdProperty);
        if (v.isValid() && v.toInt() == id) return w;
    }
    return nullptr;
}

}  // namespace ui
