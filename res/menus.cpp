#include "res/menus.h"

#include "res/resource_ids.h"

namespace res {

const MenuTemplate* FindMenuTemplate(int id) {
    static const std::vector<MenuTemplate> menus = {
        {kMenuMain,
         {
             {"&File", {{kCmdFileExit, "Exit"}}},
             {"&View",
              {{kCmdPressurePlot, "Pressure Plot"},
               {kCmdOpenRecording, "Open Recording…"},
               {kCmdStatistics, "Statistics"}}},
             {"&Help",
              {
                  {kCmdHelpContents, "Contents"},
                  {kCmdWebLink, "Velmarin on the Web"},
                  {kCmdLimitations, "Application Limitations"},
                  {kCmdAbout, "&About Zel Demo Interface"},
              }},
             {"&Tools", {{kCmdVerification, "Verification Run…"}, {kCmdDatabase, "Database…"}}},
         }},
        {kMenuEepromContext,
         {
             {"",
              {
                  {kCmdUndo, "Undo"},
                  {0, ""},
                  {kCmdCut, "Cut"},
                  {kCmdCopy, "Copy"},
                  {kCmdPaste, "Paste"},
                  {kCmdDelete, "Delete"},
                  {0, ""},
                  {kCmdSelectAll, "Select All"},
              }},
         }},
    };
    for (const MenuTemplate& m : menus) {
        if (m.id == id) return &m;
    }
    return nullptr;
}

}  // namespace res
