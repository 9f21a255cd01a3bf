#pragma once

#include <QGroupBox>

// A group box that passes its enabled state on to the sibling controls lying wholly inside it:
// both corners of the sibling's rectangle must be inside the box's (left and top edges count as
// inside, right and bottom as outside). A box nested in another passes the state on in turn.
class CEnableGroupBox : public QGroupBox {
    Q_OBJECT
public:
    explicit CEnableGroupBox(const QString& title, QWidget* parent = nullptr);

    // Whether `r` lies wholly inside the box by the rule above.
    bool Encloses(const QRect& r) const;

protected:
    void changeEvent(QEvent* event) override;
};
