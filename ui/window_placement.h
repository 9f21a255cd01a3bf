#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>
#include <vector>

class QWidget;

namespace ui {

// Where a window of `frame` size goes beside `owner` on `screen` (all frame geometries): to the
// owner's right, top edges level, where the screen has room; else below it, left edges level;
// never over the owner, and over none of `taken` where a place without them exists. None when
// neither side has room: the window manager places it then.
std::optional<QPoint> PlaceBeside(const QRect& owner, QSize frame, const QRect& screen,
                                  const std::vector<QRect>& taken = {});

// Shows a tool window of `owner`: where the user left it earlier in this run of the program
// (also when it was made anew since), else beside the owner and the other visible tool windows
// `others`. Windows are told apart by their class.
void ShowBeside(QWidget* window, const QWidget* owner, const std::vector<const QWidget*>& others);

}  // namespace ui
