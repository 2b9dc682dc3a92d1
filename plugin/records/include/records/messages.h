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
constexpr char kOutOfMemoryText[] = "Not enough memory to make this change.";

// The questions asked before tips.rc is replaced, all with kEditTipsCaption.
constexpr char kTipsChangedText[] =
    "Another program has changed the tips in tips.rc since they were last read or saved.\n\n"
    "Replace them with your edited list?";
constexpr char kTipsUncheckedText[] =
    "tips.rc could not be read to check whether another program has changed its tips.\n\n"
    "Replace them with your edited list?";
// %s: kEveryTip while tips.rc cannot be read, else kTheTips with its count.
constexpr char kTipsUnreadAtStartText[] =
    "tips.rc could not be read when the plug-in started, so its tips are not in the list.\n\n"
    "Replacing tips.rc drops %s it holds. Replace them with your edited list?";
constexpr char kEveryTip[] = "every tip";
constexpr char kOneTip[] = "the 1 tip";
constexpr char kTheTips[] = "the %u tips";
// %s: the items below for the kinds of text the file holds, one under
// another; then kOneLine, or kLines with their count.
constexpr char kTipsNotShownText[] =
    "tips.rc holds text that the list does not show:\n%s\n\n"
    "Saving drops it: %s. Replace tips.rc with your edited list?";
constexpr char kOneLine[] = "1 line";
constexpr char kLines[] = "%u lines";
constexpr char kNotShownZeroByteItem[] = "- a zero byte";
constexpr char kNotShownLastLineItem[] = "- a last line without a line end";
constexpr char kNotShownLineEndsItem[] = "- line ends other than CR LF";
constexpr char kEditTipsCaption[] = "Edit Tips";

constexpr char kConfirmEditText[] = "Are you sure?";
constexpr char kEditTipCaption[] = "Edit Tip";
constexpr char kAddTipCaption[] = "Add Tip";
