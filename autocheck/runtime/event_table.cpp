#include "autocheck/runtime/event_table.h"

namespace tray_event {

using namespace tray_action;

const Entry kEntries[kCount] = {
    {"Event_Show_About", &ShowAbout},
    {"Event_Exit", &Exit},
    {"Event_Look_Check_Result", &LookCheckResult},
    {"Event_L_Button_D_Click", &OpenCheckPage},
    {"Event_Start_Check", &OpenCheckPage},
    {"Event_Cut_Off_Network", &CutOffNetwork},
    {"Event_Undo_Auto_Auth", &UndoAutoAuth},
    {"Event_Force_Exit", &ForceExit},
    {"Event Uninstall", &Uninstall},
    {"Event Request Mask", &RequestGuestCode},
    {"Event Open Navigation", &OpenNavigation},
    {"Event Open User Switch Html", &OpenUserSwitch},
    {"Event Change User Password", &ChangePassword},
    {"Event Software Use Apply For", &ApplyForSoftwareUse},
};

// Exit, the check result, the check, the double click and the about box
// come first, then the rest in wait order.
const int kCreationOrder[kCount] = {1, 2, 4, 3, 0, 5, 6, 7, 8, 9, 10, 11, 12, 13};

}  // namespace tray_event
