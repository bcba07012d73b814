#include "FinishActions.h"

#include <windows.h>
#include <shlwapi.h>

#include "ComponentList.h"
#include "DesktopShell.h"
#include "ProductConstants.h"
#include "SetupLog.h"
#include "Shortcuts.h"
#include "StatsClient.h"

void FinishInstall(const CString& installDir, const FinishChoices& choices)
{
    const CString player = InstalledFilePath(installDir, kPlayerExe);
    if (choices.shortcuts)
        CreateShortcuts(player, kShortcutFileName, choices.desktopShortcuts, choices.desktopShortcuts,
                        choices.startMenuShortcut);
    else
        SetupLog::Write("shortcuts: none (/NOSHORTCUTS)");

    CStatsClient stats;
    stats.SendInstallLog(kReportUser, kReportPassword);

    // The setup runs as administrator; the player, which shows web content, need not.
    if (!choices.startPlayer) {
        SetupLog::Write("player: not started (/NORUN)");
    } else if (::PathFileExistsA(player)) {
        SetupLog::Write("player: starting %s", player.GetString());
        OpenAsDesktopUser(player);
    } else {
        SetupLog::Write("player: %s is missing, not started", player.GetString());
    }
}
