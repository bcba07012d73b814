#include "InstallSequence.h"

#include <shellapi.h>

#include "ComponentList.h"
#include "HttpDownloader.h"
#include "KernelHandle.h"
#include "PrivateFolder.h"
#include "ProductConstants.h"
#include "PublisherHosts.h"
#include "Registry.h"
#include "SetupLog.h"
#include "StatsClient.h"
#include "UrlRules.h"

namespace {

// One fixed file: reset the bar, name the file, download it.
class FixedFileFetcher {
public:
    FixedFileFetcher(InstallUi& ui, const CString& installDir) : m_ui(ui), m_installDir(installDir) {}

    bool Fetch(const char* status, bool invalidateLabel, const CString& url, const char* localName)
    {
        m_ui.ResetBar();
        m_ui.ShowStatus(status, invalidateLabel);
        const CString path = InstalledFilePath(m_installDir, localName);
        const bool arrived = m_downloader.Download(url, path, m_ui.NotifyWindow());
        if (arrived)
            SetupLog::Write("%s: installed as %s", localName, path.GetString());
        else
            SetupLog::Write("%s: did not arrive, not installed as %s%s%s", localName, path.GetString(),
                            m_downloader.FailureReason().IsEmpty() ? "" : ": ",
                            m_downloader.FailureReason().GetString());
        return arrived;
    }

private:
    InstallUi& m_ui;
    const CString& m_installDir;
    CHttpDownloader m_downloader;
};

void WriteUninstallEntry(const CString& installDir)
{
    const char* key = kUninstallKey;
    CString command;
    command.Format("\"%s\\%s\"", static_cast<const char*>(installDir), kUninstallCommandName);
    RegWriteValue(HKEY_LOCAL_MACHINE, key, "DisplayName", MELVORA_PRODUCT_NAME, 0, 1);
    RegWriteValue(HKEY_LOCAL_MACHINE, key, "UninstallString", command, 0, 1);
    RegWriteValue(HKEY_LOCAL_MACHINE, key, "NoModify", "", 1, 2);
    RegWriteValue(HKEY_LOCAL_MACHINE, key, "NoRepair", "", 1, 2);
    RegWriteValue(HKEY_LOCAL_MACHINE, key, "Publisher", kPublisherName, 0, 1);
}

// Installers are started with administrator rights. A build that names a signer checks
// every downloaded .exe and .dll; an installer of any other name (a script, a package)
// could pass no check, so such a build neither fetches nor starts it.
bool IsCheckable(const CString& installerPath)
{
    return MELVORA_DOWNLOAD_SIGNER[0] == L'\0' || IsProgramFileName(installerPath);
}

// The file name that ends a component's local path: its installer's name.
CString InstallerName(const ComponentEntry& entry)
{
    return entry.localPath.Mid(entry.localPath.ReverseFind('\\') + 1);
}

// The selected components whose installer did not arrive or could not be started. Each
// installer is fetched into a folder of the setup's own, never into the component's
// folder (which others may be able to write, and whose files are not the setup's to
// replace), and started from there while the downloader's handle keeps it as checked;
// it installs into its own folder as it always did.
int InstallComponents(const InstallTarget& target, InstallUi& ui)
{
    CHttpDownloader downloader;
    CPrivateFolder folder;
    int missing = 0;
    for (int i = 0; i < target.componentCount; ++i) {
        const ComponentEntry& entry = target.components[i];
        if (!ui.IsSelected(entry)) {
            SetupLog::Write("component \"%s\": not selected", entry.name.GetString());
            continue;
        }
        if (!IsCheckable(entry.localPath)) {
            SetupLog::Write("component \"%s\": not a program the signer check covers, not fetched",
                            entry.name.GetString());
            ++missing;
            continue;
        }
        ui.ResetBar();
        CString status;
        status.Format("%s 설치 중...", static_cast<const char*>(entry.name));
        ui.ShowStatus(status, true);
        const CString place = folder.NewSubfolder();
        if (place.IsEmpty()) {
            SetupLog::Write("component \"%s\": not installed, no private folder for its installer (error %lu)",
                            entry.name.GetString(), static_cast<unsigned long>(::GetLastError()));
            ++missing;
            continue;
        }
        const CString installer = place + InstallerName(entry);
        KernelHandle kept;
        if (!downloader.DownloadProgram(entry.url, installer, ui.NotifyWindow(), &kept)) {
            SetupLog::Write("component \"%s\": not installed, its installer did not arrive%s%s", entry.name.GetString(),
                            downloader.FailureReason().IsEmpty() ? "" : ": ", downloader.FailureReason().GetString());
            ++missing;
            continue;
        }
        // ShellExecuteA reports success with a value above 32.
        const bool started = reinterpret_cast<INT_PTR>(
                                 ::ShellExecuteA(nullptr, "open", installer, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
        kept.Close();
        SetupLog::Write("component \"%s\": %s %s", entry.name.GetString(), started ? "started" : "could not start",
                        installer.GetString());
        missing += started ? 0 : 1;
    }
    return missing;
}

}  // namespace

InstallOutcome RunInstallSequence(const InstallTarget& target, InstallUi& ui)
{
    InstallOutcome outcome;
    CStatsClient stats;
    const CString reply = stats.QueryVersions(kReportUser, kReportPassword);
    if (IsMissingAnswer(reply)) {
        SetupLog::Write("install: no version reply, nothing installed");
        return outcome;
    }
    CString playerVersion, updaterVersion;
    ParseVersionReply(reply, playerVersion, updaterVersion);
    if (!IsUsableVersion(playerVersion) || !IsUsableVersion(updaterVersion)) {
        SetupLog::Write("install: unusable versions \"%s\" and \"%s\", nothing installed", playerVersion.GetString(),
                        updaterVersion.GetString());
        return outcome;
    }
    SetupLog::Write("install: player version \"%s\", updater version \"%s\"", playerVersion.GetString(),
                    updaterVersion.GetString());

    const CString& dir = target.installDir;
    const CString& pid = target.partnerId;
    const CString base = DownloadBaseUrl(MELVORA_PRODUCT_ORIGIN);
    FixedFileFetcher files(ui, dir);
    int& missing = outcome.otherFilesMissing;

    missing += !files.Fetch("uninstall.exe 생성 중...", true, UninstallFileUrl(base, "Uninstall.exe"), kUninstallerExe);
    missing += !files.Fetch("uninstall.ini 생성 중...", false, UninstallFileUrl(base, "Uninstall.ini"), kUninstallerIni);
    WriteUninstallEntry(dir);

    outcome.playerInstalled = files.Fetch("MELVORA.exe 설치 중...", false,
                                          VersionedFileUrl(base, pid, playerVersion, kPlayerExe), kPlayerExe);
    // The player's path goes into Run unquoted first, and quoted once everything is there.
    RegWriteValue(HKEY_CURRENT_USER, kRunKey, kRunValueName, InstalledFilePath(dir, kPlayerExe), 0, 1);
    RegWriteValue(HKEY_CURRENT_USER, kProductKey, "exe_ver", playerVersion, 0, 1);

    missing += !files.Fetch("ZUZade.dll 설치 중...", false, VersionedFileUrl(base, pid, playerVersion, kHelperDll),
                            kHelperDll);
    if (files.Fetch("VIVoreder.exe 설치 중...", true, VersionedFileUrl(base, pid, updaterVersion, kUpdaterExe),
                    kUpdaterExe))
        RegWriteValue(HKEY_CURRENT_USER, kProductKey, "updater_ver", updaterVersion, 0, 1);
    else
        ++missing;
    if (files.Fetch("RAZezazi.exe 설치 중...", true, VersionedFileUrl(base, pid, playerVersion, kSideExe),
                    kSideExe))
        RegWriteValue(HKEY_CURRENT_USER, kProductKey, "dellog_ver", playerVersion, 0, 1);
    else
        ++missing;

    CString quoted;
    quoted.Format("\"%s\\%s\"", static_cast<const char*>(dir), kPlayerExe);
    RegWriteValue(HKEY_CURRENT_USER, kRunKey, kRunValueName, quoted, 0, 1);

    outcome.componentsMissing = InstallComponents(target, ui);
    return outcome;
}
