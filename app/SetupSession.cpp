#include "SetupSession.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "BuildScheme.h"
#include "ComponentList.h"
#include "FetchUrlText.h"
#include "FolderPath.h"
#include "PartnerId.h"
#include "ProgramPath.h"
#include "ProductConstants.h"
#include "PublisherHosts.h"
#include "Registry.h"
#include "SetupLog.h"

char g_szProgramFilesDir[260];

CString FetchTermsText()
{
    CString termsUrl;
    termsUrl.Format("%s", MELVORA_PRODUCT_ORIGIN "/Lisence/melvora_licence.txt");
    CString termsText;
    FetchUrlText(termsUrl, termsText);
    return termsText;
}

void SetupSession::ReadPartnerId()
{
    ChoosePartnerId(CString());
    RecordPartnerId();
}

void SetupSession::ChoosePartnerId(const CString& givenPartnerId)
{
    strPartnerId = givenPartnerId.IsEmpty() ? PartnerIdFromModulePath(OwnProgramPath()) : givenPartnerId;
    SetupLog::Write("partner id: \"%s\"", strPartnerId.GetString());
}

void SetupSession::RecordPartnerId()
{
    RegWriteValue(HKEY_CURRENT_USER, kProductKey, "pid", strPartnerId, 0, 1);
}

void SetupSession::ComputeInstallFolder()
{
    ::lstrcpynA(g_szProgramFilesDir, ProgramFilesFolder(), sizeof g_szProgramFilesDir);
    strInstallDir = InstallFolderIn(g_szProgramFilesDir);
}

CString SetupSession::FetchComponentList()
{
    CString text;
    unsigned long status = 0;
    FetchUrlText(ComponentListUrl(MELVORA_PRODUCT_ORIGIN, strPartnerId), text, &status);
    // A busy or failing server's page is no list either.
    if (IsMissingAnswer(text) || status != 200) {
        SetupLog::Write("components offered: none (no component list)");
        return CString();
    }
    ParseComponentList(text);
    SetupLog::Write("components offered: %d", nComponentCount);
    for (int i = 0; i < nComponentCount; ++i) {
        const ComponentEntry& entry = pComponents[i];
        SetupLog::Write("  \"%s\"%s", entry.name.GetString(), entry.IsMandatory() ? " (always installed)" : "");
    }
    return text;
}

InstallTarget SetupSession::Target() const
{
    InstallTarget target;
    target.installDir = strInstallDir;
    target.partnerId = strPartnerId;
    target.components = pComponents;
    target.componentCount = nComponentCount;
    return target;
}

void SetupSession::ParseComponentList(const CString& text)
{
    if (!pComponents)
        return;
    ParseComponentRows(text, g_szProgramFilesDir, [](const CString& path) { return ::PathFileExistsA(path) == 1; },
                       kBuildScheme, pComponents, nComponentCount);
}
