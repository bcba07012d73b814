// Reading uninstall.ini, the publisher's list of what the player makes beside the installed
// files and what the uninstaller should remove with them, and the rule that keeps every
// such entry inside the install folder or the product's own registry keys. Windows-free.
//
// The text is code page 949 (plain ASCII will do). Only its [Remove] sections count; a
// line there is a comment (";" or "#"), blank, or one of
//   File=<path inside the install folder>
//   Folder=<path inside the install folder>       the folder with all it holds
//   Key=HKCU\Software\MELVORA\<subkey>            or HKLM\Software\MELVORA[\<subkey>]
// Names are matched without regard to case, spaces around names and values are ignored.
#pragma once

#include <vector>

#include "CString.h"

// Larger files are not read at all; more entries make the file malformed.
const int kMaxUninstallIniBytes = 64 * 1024;
const int kMaxUninstallIniEntries = 256;

enum class RemovalKind { File, Folder, Key };
enum class RegistryRoot { CurrentUser, LocalMachine };

struct RemovalEntry {
    RemovalKind kind = RemovalKind::File;
    // File and Folder: the path below the install folder, "\" separated, as checked.
    // Key: the key path below the root, beginning with the product key "Software\MELVORA".
    CString path;
    RegistryRoot root = RegistryRoot::CurrentUser;   // Key only
};

// The entries of a well-formed text. A text that is malformed in any way (an unknown or
// broken line in [Remove], a zero byte, too long, too many entries) or that holds a single
// entry reaching outside the install folder or the product's keys yields false and no
// entries: the uninstaller then removes only what the setup itself installs.
bool ReadUninstallIni(const CString& text, std::vector<RemovalEntry>* entries);

// A path that names something strictly inside the install folder: relative, made of
// plain names joined by "\" (or "/", turned into "\" in *normalized"). Refused: an empty
// path or name, "." and "..", a drive, a leading "\" (absolute or UNC), ":" (also streams),
// wildcards and the other characters Windows forbids in names, control characters, names
// ending in "." or " " (which Windows would silently change), and device names (CON, NUL,
// COM1, ...), with or without an extension.
bool IsConfinedRelativePath(const CString& path, CString* normalized);

// A registry key inside the product's own keys: HKCU or HKLM (also spelled out as
// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE), then "Software\MELVORA" in any case, then any
// subkeys, each a non-empty name without control characters that is not "." or "..".
bool ParseProductKey(const CString& text, RegistryRoot* root, CString* subKey);
