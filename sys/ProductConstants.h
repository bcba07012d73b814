// Names the installer shares with the uninstaller, the player, the publisher's servers and
// the system. Each lives here once; every part of either program that needs one includes
// this header.
#pragma once

// The product's name: its folder under Program Files, its Run value, its Uninstall entry.
#define MELVORA_PRODUCT_NAME "MELVORA"

// Held by the setup program and the uninstaller while they run, in every session of the
// machine (sys/OneSetupGuard.h).
const char kOneSetupMutex[] = "Global\\" MELVORA_PRODUCT_NAME " Setup";

// The install folder: this name under the Program Files folder.
const char kInstallFolderName[] = MELVORA_PRODUCT_NAME;

// The files the setup puts into the install folder, as it names them there.
const char kPlayerExe[] = "MELVORA.exe";
const char kHelperDll[] = "ZUZade.dll";
const char kUpdaterExe[] = "VIVoreder.exe";
const char kSideExe[] = "RAZezazi.exe";
const char kUninstallerExe[] = "uninstall.exe";
const char kUninstallerIni[] = "uninstall.ini";
const char* const kInstalledFiles[] = {kPlayerExe, kHelperDll, kUpdaterExe, kSideExe, kUninstallerExe,
                                       kUninstallerIni};
// How the Uninstall entry's UninstallString names the uninstaller (the same file: Windows
// file names ignore case).
const char kUninstallCommandName[] = "Uninstall.exe";

// The shortcuts to the player: one file name, with its leading "\", in three places.
const char kShortcutFileName[] = "\\무료음악감상.lnk";
const char kShortcutDescription[] = "무료음악감상";
// Appended to the user's application data folder for Quick Launch.
const char kQuickLaunchFolder[] = "\\Microsoft\\Internet Explorer\\Quick Launch";
// Appended to the shared programs menu: the product's own start-menu folder.
const char kStartMenuFolder[] = "\\" MELVORA_PRODUCT_NAME;

// The product's own key under HKEY_CURRENT_USER: "pid", "serial" and the installed versions.
const char kProductKey[] = "Software\\" MELVORA_PRODUCT_NAME;
// HKEY_CURRENT_USER: the player starts with Windows through this value.
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValueName[] = MELVORA_PRODUCT_NAME;
// HKEY_LOCAL_MACHINE: the entry of "Apps & features".
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" MELVORA_PRODUCT_NAME;

// The publisher as the Uninstall entry names it.
const char kPublisherName[] = "Orvanta co., Ltd.";
// The statistics and log servers' connection credentials (HTTP basic authentication).
const char kReportUser[] = "pebrook";
const char kReportPassword[] = "5816ce";

// The setup's private folder for the component installers it downloads and starts: this
// name, the process id and a number, under the Windows temporary folder.
const char kPrivateFolderPrefix[] = MELVORA_PRODUCT_NAME "-setup-";
