// Identifiers of the module's resources, menu commands and dialog controls.
#pragma once

#define IDI_PLUGIN 1

#define IDD_TIPS 101
#define IDD_TIP_EDIT 104

#define IDC_TIPS_LIST 1000
#define IDC_ADD_TIP 1001
#define IDC_REMOVE_TIPS 1002
#define IDC_EDIT_TIPS 1003
#define IDC_TIP_TEXT 1002

#define IDM_EDIT_TIPS 100
#define IDM_PROPERTIES 500
