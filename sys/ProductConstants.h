// Names the installer shares with the player, the publisher's servers and the system.
// Each lives here once; every part of the program that needs one includes this header.
#pragma once

// The product's name: its folder under Program Files, its Run value, its Uninstall entry.
#define MELVORA_PRODUCT_NAME "MELVORA"

// The player's program file, in the install folder and on the download server.
const char kPlayerExe[] = "MELVORA.exe";
// The product's own key under HKEY_CURRENT_USER: "pid", "serial" and the installed versions.
const char kProductKey[] = "Software\\" MELVORA_PRODUCT_NAME;
// The publisher as the Uninstall entry names it.
const char kPublisherName[] = "Orvanta co., Ltd.";
// The statistics and log servers' connection credentials (HTTP basic authentication).
const char kReportUser[] = "pebrook";
const char kReportPassword[] = "5816ce";
