// The DLLs that Setup.exe uses beyond the system's KnownDLLs, bound when first used and
// only from the system folder (framework/LateImport.h says how and why).
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wininet.h>
#include <wintrust.h>

#include "LateImport.h"

// Common controls: the options tree's images, the controls' window classes.
MELVORA_LATE_IMPORT(Comctl32, ImageList_AddMasked, 12)
MELVORA_LATE_IMPORT(Comctl32, ImageList_Create, 20)
MELVORA_LATE_IMPORT(Comctl32, ImageList_Destroy, 4)
MELVORA_LATE_IMPORT(Comctl32, ImageList_GetImageCount, 4)
MELVORA_LATE_IMPORT(Comctl32, InitCommonControlsEx, 4)
// Accessibility: what the shortcut check boxes tell assistive technology.
MELVORA_LATE_IMPORT(Oleacc, CreateStdAccessibleObject, 16)
MELVORA_LATE_IMPORT(Oleacc, LresultFromObject, 12)
// Every request to the publisher's servers.
MELVORA_LATE_IMPORT(Wininet, HttpOpenRequestA, 32)
MELVORA_LATE_IMPORT(Wininet, HttpQueryInfoA, 20)
MELVORA_LATE_IMPORT(Wininet, HttpSendRequestA, 20)
MELVORA_LATE_IMPORT(Wininet, InternetCloseHandle, 4)
MELVORA_LATE_IMPORT(Wininet, InternetCombineUrlA, 20)
MELVORA_LATE_IMPORT(Wininet, InternetConnectA, 32)
MELVORA_LATE_IMPORT(Wininet, InternetCrackUrlA, 16)
MELVORA_LATE_IMPORT(Wininet, InternetErrorDlg, 20)
MELVORA_LATE_IMPORT(Wininet, InternetOpenA, 20)
MELVORA_LATE_IMPORT(Wininet, InternetQueryDataAvailable, 16)
MELVORA_LATE_IMPORT(Wininet, InternetQueryOptionA, 16)
MELVORA_LATE_IMPORT(Wininet, InternetReadFile, 16)
MELVORA_LATE_IMPORT(Wininet, InternetSetOptionA, 16)
MELVORA_LATE_IMPORT(Wininet, InternetSetStatusCallbackA, 8)
// The signer check of a build that names one.
MELVORA_LATE_IMPORT(Wintrust, WinVerifyTrust, 12)
MELVORA_LATE_IMPORT(Wintrust, WTHelperGetProvSignerFromChain, 16)
MELVORA_LATE_IMPORT(Wintrust, WTHelperProvDataFromStateData, 4)
MELVORA_LATE_IMPORT(Crypt32, CertRDNValueToStrW, 16)
MELVORA_LATE_IMPORT(Crypt32, CryptDecodeObjectEx, 32)
MELVORA_LATE_IMPORT(Crypt32, CryptHashPublicKeyInfo, 28)
