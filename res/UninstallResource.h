// Resource ids of the uninstaller.
#pragma once

#define IDI_UNINSTALL           128

// The question before anything is removed (Yes, No) and the outcome afterwards (OK).
#define IDD_UNINSTALL_CONFIRM   201
#define IDD_UNINSTALL_RESULT    202
#define IDC_UNINSTALL_TEXT      1100
