// Files and folders reached by their own path, and nothing else.
//
// The setup and the uninstaller run with administrator rights, yet write, read and delete
// files in folders that the signed-in user's own programs control: the /LOG file's folder,
// the desktop and Quick Launch (the user's "User Shell Folders" name them). There a link
// at the file's name, a second name of another file (a hard link) or a junction on the
// way would lead them to a file that the user may not touch. So such a file is opened
// without following a link at its last name, and is used only when it is a plain file on
// disk with one name whose final path is the very path asked for; everything done to it
// afterwards (emptying, writing, reading, deleting) goes through that one handle.
#pragma once

#include <windows.h>

#include "CString.h"
#include "KernelHandle.h"

enum class DirectOpen {
    Opened,    // *pFile holds the file
    Missing,   // no such file (OPEN_EXISTING), or no such folder on the way
    Refused,   // a link, a folder, a device, a file with a second name, or one reached
               // through a link or junction on the way; a file this call made is deleted again
    Failed,    // could not be opened (in use, access denied, ...); GetLastError tells why
};

// Opens (creation OPEN_EXISTING) or opens or makes (OPEN_ALWAYS) the file at path, never
// emptying it, with `access` plus DELETE and FILE_READ_ATTRIBUTES, shared for reading.
DirectOpen OpenDirectFile(const CString& path, DWORD access, DWORD creation, KernelHandle* pFile);

// Whether the folder exists and is reached by its own path: a folder and no link, whose
// final path is the path given. A folder that is itself a link (or lies behind one) is not.
bool IsDirectFolder(const CString& path);

// Deletes the file of a handle that OpenDirectFile gave (a read-only one too, which then
// needs FILE_WRITE_ATTRIBUTES); it goes when the handle closes.
bool DeleteThroughHandle(HANDLE hFile);
// Makes the file hold exactly these bytes.
bool ReplaceContent(HANDLE hFile, const void* pData, DWORD cbData);
