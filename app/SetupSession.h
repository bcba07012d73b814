// The state that the wizard, the component reader and the install sequence share.
#pragma once

#include "CString.h"
#include "ComponentEntry.h"
#include "InstallSequence.h"

// The Program Files folder; filled by ComputeInstallFolder, empty until then.
extern char g_szProgramFilesDir[260];

// The wizard's pages, as nPage holds them.
enum WizardPage {
    PageWelcome = 1,
    PageTerms = 2,
    PageOptions = 3,
    PageFolder = 4,      // shown only when optional components are offered
    PageInstalling = 5,
    PageFinish = 6,
};

// The terms of use as the product web server sends them; empty when they cannot be had.
CString FetchTermsText();

struct SetupSession {
    int nPage = 0;                           // current wizard page, a WizardPage
    CString strInstallDir;                   // Program Files folder + "\MELVORA"
    CString strPartnerId;                    // from the program's file name
    ComponentEntry* pComponents = nullptr;   // kComponentCapacity records while the wizard runs
    int nComponentCount = 0;                 // filled records, from the front

    // Reads the partner id from the program's own file name and records it.
    void ReadPartnerId();
    // Takes the partner id given (the command line's /PID), or the file name's when none
    // is given, without recording it yet.
    void ChoosePartnerId(const CString& givenPartnerId);
    // Records strPartnerId as "pid" under HKEY_CURRENT_USER "Software\MELVORA".
    void RecordPartnerId();
    // Fills g_szProgramFilesDir and strInstallDir.
    void ComputeInstallFolder();
    // Fetches this partner's component list from the product web server and reads it.
    // Returns the list as the server sent it (empty when it is missing: a reply that is
    // empty, holds "404 Not Found" or comes with another status than 200).
    CString FetchComponentList();
    // Appends the accepted rows of a component list text to pComponents.
    void ParseComponentList(const CString& text);
    // What the install sequence works on: this session's folder, partner and components.
    InstallTarget Target() const;
};
