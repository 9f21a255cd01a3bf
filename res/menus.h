#pragma once

#include <string>
#include <vector>

// Menu resources: popups of items; an item with id 0 is a separator.
namespace res {

struct MenuItem {
    int id;
    std::string text;
};

struct MenuPopup {
    std::string text;
    std::vector<MenuItem> items;
};

struct MenuTemplate {
    int id;
    std::vector<MenuPopup> popups;
};

// Null for an unknown id.
const MenuTemplate* FindMenuTemplate(int id);

}  // namespace res
