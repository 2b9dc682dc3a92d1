// Every text the module shows in a message box, with its caption.
#pragma once

constexpr char kPluginName[] = "Calvorin";
constexpr char kErrorCaption[] = "Error";

constexpr char kHostTooOldText[] = "This requires Velmo 1.9 or above.";
constexpr char kNoTipsFileText[] = "No tips.rc file detected!\n\nClosing plug-in.";

constexpr char kReadFailedText[] = "Error caught or no tips";
constexpr char kReadFailedCaption[] = "Read File";
constexpr char kWriteFailedText[] = "Error caught";
constexpr char kWriteFailedCaption[] = "Write File";

constexpr char kNotMenuItemText[] = "Not a menu item.";
constexpr char kTipsNotWrittenText[] = "Failed to write new tips.rc file";
constexpr char kDialogFailedText[] = "Failed to create dialog.";

constexpr char kTipsChangedText[] =
    "Another program has changed the tips in tips.rc since they were last read or saved.\n\n"
    "Replace the tips in tips.rc with the ones in the manager?";
constexpr char kEditTipsCaption[] = "Edit Tips";

constexpr char kConfirmEditText[] = "Are you sure?";
constexpr char kEditTipCaption[] = "Edit Tip";
constexpr char kAddTipCaption[] = "Add Tip";
